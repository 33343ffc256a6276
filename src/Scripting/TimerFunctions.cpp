// The script functions of timers and the class Timer.
#include "Scripting/TimerHandlers.h"

#include "Engine/NativeState.h"
#include "Engine/ReflectedNamespace.h"

namespace Tessera3D {
namespace TimerHandlers {

namespace {

CTimerHandlers* Registry(void* pUser) { return static_cast<CTimerHandlers*>(pUser); }

// The new timer, or null when the table is full.
bool ReturnTimer(CNativeState* pState, CScriptTimer* pTimer) {
    if (pTimer) pState->m_RVal.AddObject(pTimer);
    else pState->m_RVal.AddNull();
    return true;
}

// setTimeout / setInterval(function, delay in milliseconds, values...)
bool CreateDelayed(CNativeState* pState, int argumentCount, void* pUser, int32_t runs) {
    CFunction* pFunction = pState->CheckFunction(0);
    if (!pFunction) return false;
    uint32_t delay = 0;
    if (!pState->CheckNumber(1, delay)) return false;
    return ReturnTimer(pState, Registry(pUser)->CreateTimer(pFunction, delay / 1000.0, runs, pState->m_pCaller,
                                                            pState->m_pArguments, 2));
}

bool SetTimeout(CNativeState* pState, int argumentCount, void* pUser) {
    return CreateDelayed(pState, argumentCount, pUser, 1);
}

bool SetInterval(CNativeState* pState, int argumentCount, void* pUser) {
    return CreateDelayed(pState, argumentCount, pUser, 0);
}

// setImmediate(function, values...): runs in the next timer pass.
bool SetImmediate(CNativeState* pState, int argumentCount, void* pUser) {
    CFunction* pFunction = pState->CheckFunction(0);
    if (!pFunction) return false;
    return ReturnTimer(pState, Registry(pUser)->CreateTimer(pFunction, 0.0, 1, pState->m_pCaller, pState->m_pArguments, 1));
}

bool ClearTimer(CNativeState* pState, int argumentCount, void* pUser) {
    ReflectedClass* pClass = Registry(pUser)->GetTimerClass();
    CBaseObject* pObject = nullptr;
    if (!pState->CheckClass(pClass, 0, false, &pObject)) return false;
    auto* pTimer = dynamic_cast<CScriptTimer*>(pObject);
    if (!pTimer) return pState->Error("Expected %s for argument %d", pClass->GetName(), 1);
    pState->m_RVal.AddBoolean(Registry(pUser)->RemoveTimer(pTimer));
    return true;
}

} // namespace

void CTimerHandlers::RegisterFunctions(ReflectedNamespace* pGlobal) {
    SetTimerClass(pGlobal->NewClass("Timer", nullptr));
    pGlobal->RegisterFunction("setTimeout", "ci*", SetTimeout, this);
    pGlobal->RegisterFunction("setInterval", "ci*", SetInterval, this);
    pGlobal->RegisterFunction("setImmediate", "c*", SetImmediate, this);
    pGlobal->RegisterFunction("clearTimeout", "x", ClearTimer, this);
    pGlobal->RegisterFunction("clearInterval", "x", ClearTimer, this);
    pGlobal->RegisterFunction("clearImmediate", "x", ClearTimer, this);
}

} // namespace TimerHandlers
} // namespace Tessera3D
