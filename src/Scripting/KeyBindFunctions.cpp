// The script functions of key binds and the class KeyEvent.
#include "Scripting/KeyBinds.h"

#include "Engine/NativeState.h"
#include "Engine/ReflectedNamespace.h"

namespace Tessera3D {

namespace {

CKeyBinds* Registry(void* pUser) { return static_cast<CKeyBinds*>(pUser); }

// bindKey(keyCode, keyState, function[, repeat])
bool ScriptBindKey(CNativeState* pState, int argumentCount, void* pUser) {
    uint32_t keyCode = 0;
    if (!pState->CheckNumber(0, keyCode)) return false;
    int32_t keyState = 0;
    if (!pState->CheckNumber(1, keyState)) return false;
    CFunction* pFunction = pState->CheckFunction(2);
    if (!pFunction) return false;
    bool repeat = false;
    if (argumentCount > 3 && !pState->CheckBoolean(3, repeat)) return false;
    Registry(pUser)->BindKey(keyCode, keyState, pFunction, repeat, pState->m_pCaller);
    pState->m_RVal.AddBoolean(true);
    return true;
}

bool ScriptUnbindKey(CNativeState* pState, int argumentCount, void* pUser) {
    uint32_t keyCode = 0;
    if (!pState->CheckNumber(0, keyCode)) return false;
    pState->m_RVal.AddBoolean(Registry(pUser)->UnbindKey(keyCode, pState->m_pCaller));
    return true;
}

bool ScriptUnbindAllKeys(CNativeState* pState, int argumentCount, void* pUser) {
    Registry(pUser)->UnbindAllKeys(pState->m_pCaller);
    return true;
}

CKeyEvent* GetEvent(CNativeState* pState, void* pUser) {
    ReflectedClass* pClass = Registry(pUser)->GetKeyEventClass();
    CBaseObject* pObject = nullptr;
    if (!pState->GetThis(pClass, &pObject)) return nullptr;
    auto* pEvent = dynamic_cast<CKeyEvent*>(pObject);
    if (!pEvent) pState->Error("%s expected for 'this'", pClass->GetName());
    return pEvent;
}

bool GetKeyCode(CNativeState* pState, int, void* pUser) {
    CKeyEvent* pEvent = GetEvent(pState, pUser);
    if (!pEvent) return false;
    pState->m_RVal.AddNumber(pEvent->m_KeyCode);
    return true;
}

bool GetScanCode(CNativeState* pState, int, void* pUser) {
    CKeyEvent* pEvent = GetEvent(pState, pUser);
    if (!pEvent) return false;
    pState->m_RVal.AddNumber(pEvent->m_ScanCode);
    return true;
}

bool GetMod(CNativeState* pState, int, void* pUser) {
    CKeyEvent* pEvent = GetEvent(pState, pUser);
    if (!pEvent) return false;
    pState->m_RVal.AddNumber(static_cast<int32_t>(pEvent->m_ModState));
    return true;
}

bool GetRepeat(CNativeState* pState, int, void* pUser) {
    CKeyEvent* pEvent = GetEvent(pState, pUser);
    if (!pEvent) return false;
    pState->m_RVal.AddNumber(pEvent->m_RepeatCount);
    return true;
}

bool GetDown(CNativeState* pState, int, void* pUser) {
    CKeyEvent* pEvent = GetEvent(pState, pUser);
    if (!pEvent) return false;
    pState->m_RVal.AddBoolean(pEvent->m_bDown);
    return true;
}

bool PreventDefault(CNativeState* pState, int, void* pUser) {
    CKeyEvent* pEvent = GetEvent(pState, pUser);
    if (!pEvent) return false;
    pEvent->m_bDefaultPrevented = true;
    return true;
}

bool IsDefaultPrevented(CNativeState* pState, int, void* pUser) {
    CKeyEvent* pEvent = GetEvent(pState, pUser);
    if (!pEvent) return false;
    pState->m_RVal.AddBoolean(pEvent->m_bDefaultPrevented);
    return true;
}

} // namespace

void CKeyBinds::RegisterFunctions(ReflectedNamespace* pGlobal) {
    pGlobal->RegisterFunction("bindKey", "iic", ScriptBindKey, this);
    pGlobal->RegisterFunction("unbindKey", "i", ScriptUnbindKey, this);
    pGlobal->RegisterFunction("unbindAllKeys", "", ScriptUnbindAllKeys, this);

    ReflectedClass* pClass = pGlobal->NewClass("KeyEvent", nullptr);
    pClass->AddProperty(this, "keyCode", ARGUMENT_INTEGER, GetKeyCode, nullptr);
    pClass->AddProperty(this, "scanCode", ARGUMENT_INTEGER, GetScanCode, nullptr);
    pClass->AddProperty(this, "mod", ARGUMENT_INTEGER, GetMod, nullptr);
    pClass->AddProperty(this, "repeat", ARGUMENT_INTEGER, GetRepeat, nullptr);
    pClass->AddProperty(this, "down", ARGUMENT_BOOLEAN, GetDown, nullptr);
    pClass->RegisterFunction("preventDefault", "t", PreventDefault, this);
    pClass->RegisterFunction("isDefaultPrevented", "t", IsDefaultPrevented, this);
    SetKeyEventClass(pClass);
}

} // namespace Tessera3D
