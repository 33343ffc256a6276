// The script functions of commands.
#include "Scripting/CommandHandlers.h"

#include "Engine/NativeState.h"
#include "Engine/ReflectedNamespace.h"

namespace Tessera3D {

namespace {

CCommandHandlers* Registry(void* pUser) { return static_cast<CCommandHandlers*>(pUser); }

// addCommandHandler(name, function[, replace]): replace only takes over a name the caller owns.
bool ScriptAddCommandHandler(CNativeState* pState, int argumentCount, void* pUser) {
    const char* name = pState->CheckString(0);
    if (!name) return false;
    CFunction* pFunction = pState->CheckFunction(1);
    if (!pFunction) return false;
    bool replace = false;
    if (argumentCount > 2 && !pState->CheckBoolean(2, replace)) return false;
    pState->m_RVal.AddBoolean(Registry(pUser)->AddScriptCommandHandler(name, pFunction, pState->m_pCaller, replace));
    return true;
}

bool ScriptRemoveCommandHandler(CNativeState* pState, int argumentCount, void* pUser) {
    const char* name = pState->CheckString(0);
    if (!name) return false;
    pState->m_RVal.AddBoolean(Registry(pUser)->RemoveCommandHandler(name, pState->m_pCaller));
    return true;
}

bool ScriptHasCommandHandler(CNativeState* pState, int argumentCount, void* pUser) {
    const char* name = pState->CheckString(0);
    if (!name) return false;
    pState->m_RVal.AddBoolean(Registry(pUser)->HasCommandHandler(name));
    return true;
}

bool ScriptConsoleCommand(CNativeState* pState, int argumentCount, void* pUser) {
    const char* text = pState->CheckString(0);
    if (!text) return false;
    CCommandHandlers* pCommands = Registry(pUser);
    pState->m_RVal.AddBoolean(pCommands->ConsoleCommand(text, nullptr, pCommands->IsPrivileged(pState->m_pCaller)));
    return true;
}

} // namespace

void CCommandHandlers::RegisterFunctions(ReflectedNamespace* pGlobal) {
    pGlobal->RegisterFunction("addCommandHandler", "sc|b", ScriptAddCommandHandler, this);
    pGlobal->RegisterFunction("removeCommandHandler", "s", ScriptRemoveCommandHandler, this);
    pGlobal->RegisterFunction("hasCommandHandler", "s", ScriptHasCommandHandler, this);
    pGlobal->RegisterFunction("consoleCommand", "s", ScriptConsoleCommand, this);
}

} // namespace Tessera3D
