// The script functions of the namespace "reflection" and the class "Function".
#include "BuiltinAPI.h"

#include "Engine/Log.h"
#include "Engine/Reflection.h"
#include "Engine/Scripting.h"

#include <string>

namespace Tessera3D {

// The argument's object, or the error "Expected Object for argument n".
static CBaseObject* CheckObject(CNativeState* pState, int index) {
    CArgument* pArgument = pState->GetArgument(index);
    CBaseObject* pObject = pArgument && pArgument->IsObject() ? pArgument->ToObject() : nullptr;
    if (!pObject) pState->Error("Expected %s for argument %d", "Object", index + 1);
    return pObject;
}

// Runs a hook with 'this' set; its failure leaves its own error text.
static bool CallHook(CNativeState* pState, const ReflectedHook& hook, CBaseObject* pThis, CArgumentArray* pArguments,
                     CReturnValue& results) {
    CNativeState inner(pState->m_pScripting, pState->m_pCaller, pArguments, pThis);
    const bool bResult = inner.Call(hook.m_Function, hook.m_pUser);
    inner.m_RVal.Move(&results);
    return bResult;
}

static bool Clone(CNativeState* pState, int argumentCount, void* pUser) {
    CBaseObject* pObject = CheckObject(pState, 0);
    if (!pObject) return false;
    ReflectedClass* pClass = pObject->GetReflectedClass();
    if (!pClass) return pState->Error("Class not part of reflection");
    if (!pClass->m_Clone.IsSet()) return pState->Error("Class is not cloneable");
    CArgumentArray arguments;
    CReturnValue results;
    if (!CallHook(pState, pClass->m_Clone, pObject, &arguments, results)) return PassError(pState);
    CArgument* pResult = results.GetReturnArgument();
    if (!pResult || !pResult->IsObject() || !pResult->ToObject()) return pState->Error("Clone didn't return anything");
    pState->m_RVal.Add(pResult);
    return true;
}

static bool Move(CNativeState* pState, int argumentCount, void* pUser) {
    CBaseObject* pTarget = CheckObject(pState, 0);
    if (!pTarget) return false;
    CBaseObject* pSource = CheckObject(pState, 1);
    if (!pSource) return false;
    if (pTarget == pSource) return pState->Error("Cannot move to same place");
    ReflectedClass* pClass = pTarget->GetReflectedClass();
    if (!pClass) return pState->Error("Class not part of reflection");
    if (!pClass->m_Move.IsSet()) return pState->Error("Class is not movable");
    CArgumentArray arguments(1);
    arguments.Add(pState->GetArgument(1));
    CReturnValue results;
    if (!CallHook(pState, pClass->m_Move, pTarget, &arguments, results)) return PassError(pState);
    pState->m_RVal.AddBoolean(true);
    return true;
}

static bool ToString(CNativeState* pState, int argumentCount, void* pUser) {
    CBaseObject* pObject = CheckObject(pState, 0);
    if (!pObject) return false;
    ReflectedClass* pClass = pObject->GetReflectedClass();
    if (!pClass) return pState->Error("Class not part of reflection");
    if (!pClass->m_ToString.IsSet()) return pState->Error("Class doesn't implement ToString");
    CArgumentArray arguments;
    CReturnValue results;
    if (!CallHook(pState, pClass->m_ToString, pObject, &arguments, results)) return PassError(pState);
    CArgument* pResult = results.GetReturnArgument();
    if (!pResult) return pState->Error("ToString didn't return anything");
    if (!pResult->IsString()) return pState->Error("ToString didn't return a string");
    size_t length = 0;
    const char* text = pResult->ToString(&length);
    pState->m_RVal.AddString(text, length);
    return true;
}

static bool CreateFunction(CNativeState* pState, int argumentCount, void* pUser) {
    CFunction* pFunction = pState->CheckFunction(0);
    if (!pFunction) return false;
    // The function becomes an instance of "Function" unless its kind reports a class of its own.
    if (!pFunction->GetReflectedClass()) pFunction->SetReflectedClass(pState->m_pScripting->GetFunctionClass());
    pState->m_RVal.AddObject(pFunction);
    return true;
}

static bool Call(CNativeState* pState, int argumentCount, void* pUser) {
    CBaseObject* pObject = nullptr;
    if (!pState->CheckClass(pState->m_pScripting->GetFunctionClass(), 0, false, &pObject)) return false;
    auto* pFunction = dynamic_cast<CFunction*>(pObject);
    if (!pFunction) return pState->Error("Expected %s for argument %d", "Function", 1);
    Strong<CFunction> pKeep(pFunction);
    CArgumentArray arguments(argumentCount > 1 ? argumentCount - 1 : 0);
    for (int i = 1; i < argumentCount; ++i) arguments.Add(pState->GetArgument(i));
    CReturnValue results;
    // The call succeeds even when the function reports failure.
    pFunction->Call(arguments, &results);
    if (CArgument* pResult = results.GetReturnArgument()) pState->m_RVal.Add(pResult);
    return true;
}

ReflectedClass* RegisterReflectionFunctions(ReflectedNamespace* pReflection) {
    pReflection->RegisterFunction("clone", "x", Clone, nullptr);
    pReflection->RegisterFunction("move", "xx", Move, nullptr);
    pReflection->RegisterFunction("tostring", "x", ToString, nullptr);
    pReflection->RegisterFunction("createFunction", "c", CreateFunction, nullptr);
    pReflection->RegisterFunction("call", "x", Call, nullptr);
    return pReflection->NewClass("Function", nullptr);
}

} // namespace Tessera3D
