#include "Engine/NativeState.h"

#include "Engine/Assert.h"
#include "Engine/Log.h"
#include "Engine/Reflection.h"
#include "Engine/ScriptStream.h"
#include "Engine/Scripting.h"

#include <cstdio>

namespace Tessera3D {

void ClearError() { SetError("%s", ""); }

CNativeState::CNativeState(CScripting* pScripting, CBaseObject* pCaller, CArgumentArray* pArguments, CBaseObject* pThis)
    : m_pScripting(pScripting), m_pCaller(pCaller), m_pArguments(pArguments), m_pThis(pThis) {}

bool CNativeState::Call(const ScriptFunction& function, void* pUser) {
    ClearError();
    m_bHasError = false;
    const bool bResult = function.Call(this, GetArgumentCount(), pUser);
    const CNativeState& State = *this;
    TESSERA_ASSERT(bResult != State.m_bHasError);
    return bResult;
}

CArgument* CNativeState::GetArgument(int index) const {
    if (!m_pArguments || index < 0) return nullptr;
    return m_pArguments->Get(static_cast<size_t>(index));
}

bool CNativeState::Refuse(const char* kind, int index) { return Error("Expected %s for argument %d", kind, index + 1); }

bool CNativeState::CheckBoolean(int index, bool& value) {
    CArgument* pArgument = GetArgument(index);
    if (!pArgument || !pArgument->IsBoolean()) return Refuse("boolean", index);
    value = pArgument->ToBoolean();
    return true;
}

template <typename T>
bool CNativeState::CheckNumberAs(int index, T& value, const char* kind) {
    CArgument* pArgument = GetArgument(index);
    if (!pArgument || !pArgument->IsNumber()) return Refuse(kind, index);
    return pArgument->ToNumber(value) || Refuse(kind, index);
}

bool CNativeState::CheckNumber(int index, uint8_t& value) {
    // Integers keep their low 8 bits; floats are truncated toward zero first.
    int64_t wide = 0;
    if (!CheckNumberAs(index, wide, "integer")) return false;
    value = static_cast<uint8_t>(static_cast<uint64_t>(wide));
    return true;
}
bool CNativeState::CheckNumber(int index, int32_t& value) { return CheckNumberAs(index, value, "integer"); }
bool CNativeState::CheckNumber(int index, uint32_t& value) { return CheckNumberAs(index, value, "integer"); }
bool CNativeState::CheckNumber(int index, int64_t& value) { return CheckNumberAs(index, value, "integer"); }
bool CNativeState::CheckNumber(int index, uint64_t& value) { return CheckNumberAs(index, value, "integer"); }
bool CNativeState::CheckNumber(int index, float& value) { return CheckNumberAs(index, value, "number"); }
bool CNativeState::CheckNumber(int index, double& value) { return CheckNumberAs(index, value, "number"); }

const char* CNativeState::CheckString(int index, size_t* pLength) {
    CArgument* pArgument = GetArgument(index);
    if (!pArgument || !pArgument->IsString()) {
        Refuse("string", index);
        return nullptr;
    }
    return pArgument->ToString(pLength);
}

// An array of exactly count numbers, as floats in order.
static bool ReadNumberArray(const CArgument* pArgument, float* pValues, size_t count) {
    if (!pArgument->IsArray()) return false;
    const auto* pArray = static_cast<const CArgumentArray*>(pArgument);
    if (pArray->GetCount() != count) return false;
    for (size_t i = 0; i < count; ++i) {
        const CArgument* pElement = pArray->Get(i);
        if (!pElement || !pElement->IsNumber() || !pElement->ToNumber(pValues[i])) return false;
    }
    return true;
}

bool CNativeState::CheckVector2D(int index, CVector2D& value) {
    CArgument* pArgument = GetArgument(index);
    if (pArgument && pArgument->IsVector2D()) return pArgument->ToVector2D(value) || Refuse("Vector2D", index);
    float components[2];
    if (!pArgument || !ReadNumberArray(pArgument, components, 2)) return Refuse("Vector2D", index);
    value = CVector2D(components[0], components[1]);
    return true;
}

bool CNativeState::CheckVector3D(int index, CVector3D& value) {
    CArgument* pArgument = GetArgument(index);
    if (pArgument && pArgument->IsVector3D()) return pArgument->ToVector3D(value) || Refuse("Vector3D", index);
    float components[3];
    if (!pArgument || !ReadNumberArray(pArgument, components, 3)) return Refuse("Vector3D", index);
    value = CVector3D(components[0], components[1], components[2]);
    return true;
}

bool CNativeState::CheckMatrix4x4(int index, CMatrix4x4& value) {
    CArgument* pArgument = GetArgument(index);
    if (!pArgument || !pArgument->IsMatrix4x4() || !pArgument->ToMatrix4x4(value)) return Refuse("Matrix4x4", index);
    return true;
}

bool CNativeState::CheckClass(ReflectedClass* pWanted, int index, bool bAllowNull, CBaseObject** ppObject) {
    *ppObject = nullptr;
    CArgument* pArgument = GetArgument(index);
    const char* name = pWanted ? pWanted->GetName() : "Instance";
    if (!pArgument) return Refuse(name, index);
    if (pArgument->IsNull()) return bAllowNull || Refuse(name, index);
    if (!pArgument->IsObject()) return Refuse(name, index);
    CBaseObject* pObject = pArgument->ToObject();
    // An object value that holds nothing counts as null.
    if (!pObject) return bAllowNull || Refuse(name, index);
    if (!Reflection::IsInstanceOf(pObject, pWanted)) return Refuse(name, index);
    *ppObject = pObject;
    return true;
}

CBaseObject* CNativeState::CheckReferenceable(int index) {
    CArgument* pArgument = GetArgument(index);
    CBaseObject* pObject = pArgument && pArgument->IsObject() ? pArgument->ToObject() : nullptr;
    if (!pObject) Refuse("Instance", index);
    return pObject;
}

CFunction* CNativeState::CheckFunction(int index) {
    CArgument* pArgument = GetArgument(index);
    CFunction* pFunction = pArgument && pArgument->IsFunction() ? pArgument->ToFunction() : nullptr;
    if (!pFunction) Refuse("Function", index);
    return pFunction;
}

Stream* CNativeState::CheckStream(int index) {
    ReflectedClass* pStreamClass = m_pScripting ? m_pScripting->GetStreamClass() : nullptr;
    CArgument* pArgument = GetArgument(index);
    CBaseObject* pObject = pStreamClass ? Reflection::ToObject(pArgument, pStreamClass) : nullptr;
    // Another object can be given the class by a module; only our own stream objects hold a stream.
    auto* pScriptStream = dynamic_cast<CScriptStream*>(pObject);
    if (!pScriptStream) {
        Refuse("Stream", index);
        return nullptr;
    }
    if (pScriptStream->IsClosed()) {
        Error("Stream closed");
        return nullptr;
    }
    return pScriptStream->GetStream();
}

bool CNativeState::GetThis(ReflectedClass* pWanted, CBaseObject** ppObject) {
    *ppObject = nullptr;
    CBaseObject* pThis = m_pThis.Get();
    if (!pThis) return Error("'this' is null");
    if (pWanted && !Reflection::IsInstanceOf(pThis, pWanted)) return Error("%s expected for 'this'", pWanted->GetName());
    *ppObject = pThis;
    return true;
}

bool CNativeState::ErrorV(const char* format, va_list args) {
    char text[4096];
    vsnprintf(text, sizeof(text), format, args);
    SetError("%s", text);
    m_bHasError = true;
    return false;
}

bool CNativeState::Error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    ErrorV(format, args);
    va_end(args);
    return false;
}

bool CNativeState::ReturnStream(Stream* pStream) {
    if (!pStream) {
        m_RVal.AddNull();
        return true;
    }
    ReflectedClass* pStreamClass = m_pScripting ? m_pScripting->GetStreamClass() : nullptr;
    if (!pStreamClass) return false;
    Strong<CScriptStream> pObject = MakeStrong<CScriptStream>(pStreamClass, pStream);
    m_RVal.AddObject(pObject.Get());
    return true;
}

} // namespace Tessera3D
