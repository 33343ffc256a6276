#pragma once
// Calls reflected functions the way a language binding does, without a language: arguments are
// script values, the result is the first returned value or the error text.
#include "Engine/ArgumentArray.h"
#include "Engine/Log.h"
#include "Engine/NativeState.h"
#include "Engine/Scripting.h"

#include <initializer_list>
#include <string>

namespace NativeCall {

using namespace Tessera3D;

struct tResult {
    bool m_bOk = false;
    std::string m_Error;
    Strong<CArgument> m_pValue; // the first result, or nothing

    bool HasValue() const { return static_cast<bool>(m_pValue); }
    int32_t Int() const {
        int32_t value = 0;
        if (m_pValue && m_pValue->IsNumber()) m_pValue->ToNumber(value);
        return value;
    }
    int64_t Long() const {
        int64_t value = 0;
        if (m_pValue && m_pValue->IsNumber()) m_pValue->ToNumber(value);
        return value;
    }
    double Number() const {
        double value = 0;
        if (m_pValue && m_pValue->IsNumber()) m_pValue->ToNumber(value);
        return value;
    }
    std::string String() const {
        size_t length = 0;
        const char* text = m_pValue && m_pValue->IsString() ? m_pValue->ToString(&length) : nullptr;
        return text ? std::string(text, length) : std::string("<not a string>");
    }
    CVector2D Vector2D() const {
        CVector2D value;
        if (m_pValue && m_pValue->IsVector2D()) m_pValue->ToVector2D(value);
        return value;
    }
    CVector3D Vector3D() const {
        CVector3D value;
        if (m_pValue && m_pValue->IsVector3D()) m_pValue->ToVector3D(value);
        return value;
    }
    CBaseObject* Object() const { return m_pValue && m_pValue->IsObject() ? m_pValue->ToObject() : nullptr; }
};

// Argument makers: each returns a new value whose reference the argument list takes over.
inline CArgument* Null() { return new CArgument(); }
inline CArgument* Bool(bool value) { return new CArgumentBoolean(value); }
inline CArgument* Int(int32_t value) { return new CArgumentInteger(value); }
inline CArgument* Long(int64_t value) { return new CArgumentLongInteger(value); }
inline CArgument* Float(float value) { return new CArgumentFloat(value); }
inline CArgument* Double(double value) { return new CArgumentDouble(value); }
inline CArgument* Str(const char* text) { return new CArgumentString(text); }
inline CArgument* Vec2(float x, float y) { return new CArgumentVector2D(CVector2D(x, y)); }
inline CArgument* Vec3(float x, float y, float z) { return new CArgumentVector3D(CVector3D(x, y, z)); }
inline CArgument* Matrix(const CMatrix4x4& m) { return new CArgumentMatrix4x4(m); }
inline CArgument* Obj(CBaseObject* pObject) { return new CArgumentObject(pObject); }
inline CArgument* Bytes(const std::string& data) {
    return new CArgumentBytes(reinterpret_cast<const uint8_t*>(data.data()), data.size());
}
inline CArgument* Array(std::initializer_list<CArgument*> values) {
    auto* pArray = new CArgumentArray();
    for (CArgument* pValue : values) pArray->Append(pValue);
    return pArray;
}

// Runs the function through CNativeState::Call with a fresh argument list.
inline tResult Call(CScripting* pHost, const ScriptFunction& function, void* pUser, std::initializer_list<CArgument*> args,
                    CBaseObject* pThis = nullptr) {
    CArgumentArray arguments;
    for (CArgument* pValue : args) arguments.Append(pValue);
    CNativeState state(pHost, nullptr, &arguments, pThis);
    tResult result;
    result.m_bOk = state.Call(function, pUser);
    result.m_Error = result.m_bOk ? "" : GetLastError();
    if (result.m_bOk) result.m_pValue = state.m_RVal.GetReturnArgument();
    return result;
}

inline tResult Call(CScripting* pHost, const ReflectedFunction* pFunction, std::initializer_list<CArgument*> args,
                    CBaseObject* pThis = nullptr) {
    return Call(pHost, pFunction->m_Function, pFunction->m_pUser, args, pThis);
}

// Property accessors: the getter without arguments, the setter with the value.
inline tResult Get(CScripting* pHost, const ReflectedProperty* pProperty, CBaseObject* pThis = nullptr) {
    return Call(pHost, pProperty->m_Getter, pProperty->m_pUser, {}, pThis);
}
inline tResult Set(CScripting* pHost, const ReflectedProperty* pProperty, CArgument* pValue, CBaseObject* pThis = nullptr) {
    return Call(pHost, pProperty->m_Setter, pProperty->m_pUser, {pValue}, pThis);
}

} // namespace NativeCall
