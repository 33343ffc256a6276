#include "Engine/NativeState.h"
#include "Engine/ScriptFunction.h"

#include <cstring>

namespace Tessera3D {

static ModuleCallAdapter g_pfnModuleCallAdapter = nullptr;

void SetModuleCallAdapter(ModuleCallAdapter pfnAdapter) { g_pfnModuleCallAdapter = pfnAdapter; }
ModuleCallAdapter GetModuleCallAdapter() { return g_pfnModuleCallAdapter; }

int GetRequiredArgumentCount(const char* mask) {
    if (!mask) return 0;
    int count = 0;
    for (const char* p = mask; *p && *p != '|' && *p != '*'; ++p) {
        if (*p != 't') ++count;
    }
    return count;
}

bool IsThisCallMask(const char* mask) { return mask && strchr(mask, 't') != nullptr; }

bool ScriptFunction::Call(CNativeState* pState, int argumentCount, void* pUser) const {
    if (m_pfnNative) return m_pfnNative(pState, argumentCount, pUser);
    if (m_pfnModule && g_pfnModuleCallAdapter) return g_pfnModuleCallAdapter(pState, m_pfnModule, argumentCount, pUser);
    return pState->Error("Cannot call %s", m_Name.c_str());
}

} // namespace Tessera3D
