#include "Engine/Reflection.h"

#include "Engine/Log.h"
#include "Engine/NativeState.h"
#include "Engine/ObjectValue.h"
#include "Engine/Scripting.h"

namespace Tessera3D {

template class CObjectValue<CVector2D>;
template class CObjectValue<CVector3D>;
template class CObjectValue<CMatrix4x4>;
template class CObjectValue<std::unique_ptr<CTextReader>>;

namespace Reflection {

bool IsInstanceOf(const CBaseObject* pObject, const ReflectedClass* pWanted) {
    if (!pObject) return false;
    if (!pWanted) return true;
    const ReflectedClass* pClass = pObject->GetReflectedClass();
    return pClass && pClass->IsA(pWanted);
}

CBaseObject* ToObject(const CArgument* pValue, const ReflectedClass* pWanted) {
    if (!pValue || !pValue->IsObject()) return nullptr;
    CBaseObject* pObject = pValue->ToObject();
    return IsInstanceOf(pObject, pWanted) ? pObject : nullptr;
}

CBaseObject* Construct(CScripting* pScripting, ReflectedClass* pClass) {
    if (!pClass || !pClass->m_Constructor.IsSet()) {
        SetError("Class is not constructable");
        return nullptr;
    }
    CArgumentArray arguments;
    CNativeState state(pScripting, nullptr, &arguments);
    if (!state.Call(pClass->m_Constructor.m_Function, pClass->m_Constructor.m_pUser)) return nullptr;
    CArgument* pResult = state.m_RVal.GetReturnArgument();
    if (!pResult) {
        SetError("Constructor didn't return anything");
        return nullptr;
    }
    if (!pResult->IsObject()) {
        SetError("Constructor didn't return object");
        return nullptr;
    }
    CBaseObject* pObject = pResult->ToObject();
    if (!pObject) {
        SetError("Constructor returned null");
        return nullptr;
    }
    pObject->AddRef();
    return pObject;
}

CArgument* ToArgument(CBaseObject* pObject, CScripting* pScripting) {
    if (!pObject) return new CArgument();
    if (pScripting) {
        // The class alone is not proof: a module may give any object one of these classes.
        if (IsInstanceOf(pObject, pScripting->GetMatrixClass())) {
            if (auto* pMatrix = dynamic_cast<CMatrix4x4Object*>(pObject)) return new CArgumentMatrix4x4(pMatrix->m_Value);
        }
        if (IsInstanceOf(pObject, pScripting->GetVector3DClass())) {
            if (auto* pVector = dynamic_cast<CVector3DObject*>(pObject)) return new CArgumentVector3D(pVector->m_Value);
        }
        if (IsInstanceOf(pObject, pScripting->GetVector2DClass())) {
            if (auto* pVector = dynamic_cast<CVector2DObject*>(pObject)) return new CArgumentVector2D(pVector->m_Value);
        }
    }
    return pObject->CreateArgument();
}

// Constructs an instance of the class and stores the value in it.
template <typename T>
static CBaseObject* MakeValueObject(CScripting* pScripting, ReflectedClass* pClass, const T& value) {
    CBaseObject* pObject = Construct(pScripting, pClass);
    if (!pObject) return nullptr;
    if (auto* pValueObject = dynamic_cast<CObjectValue<T>*>(pObject)) {
        pValueObject->m_Value = value;
        return pObject;
    }
    pObject->Release();
    SetError("Constructor didn't return object");
    return nullptr;
}

CBaseObject* CreateValueObject(CScripting* pScripting, const CArgument* pValue) {
    if (!pScripting || !pValue) return nullptr;
    if (pValue->IsVector2D()) {
        CVector2D value;
        pValue->ToVector2D(value);
        return MakeValueObject(pScripting, pScripting->GetVector2DClass(), value);
    }
    if (pValue->IsVector3D()) {
        CVector3D value;
        pValue->ToVector3D(value);
        return MakeValueObject(pScripting, pScripting->GetVector3DClass(), value);
    }
    if (pValue->IsMatrix4x4()) {
        CMatrix4x4 value;
        pValue->ToMatrix4x4(value);
        return MakeValueObject(pScripting, pScripting->GetMatrixClass(), value);
    }
    return nullptr;
}

bool ForwardToFunction(CNativeState* pState, int argumentCount, void* pUser) {
    auto* pFunction = static_cast<CFunction*>(pUser);
    if (!pFunction) return true;
    CArgumentArray arguments(pState->m_pArguments ? pState->m_pArguments->GetCount() : 0);
    if (pState->m_pArguments) {
        for (const Strong<CArgument>& pValue : *pState->m_pArguments) arguments.Add(pValue.Get());
    }
    CReturnValue results;
    pFunction->Call(arguments, &results);
    // The function's own failure is not this call's: its result (if any) is passed on regardless.
    if (CArgument* pResult = results.GetReturnArgument()) pState->m_RVal.Add(pResult);
    return true;
}

} // namespace Reflection
} // namespace Tessera3D
