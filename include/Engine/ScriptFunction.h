#pragma once
// The descriptor of every callable entry of the reflected script API: a name, an argument mask that
// documents the signature, and the native callback (or a native module's callback).
#include <cstddef>
#include <string>

namespace Tessera3D {

class CNativeState;
namespace Interfaces { class INativeState; }

// Returns true on success; on failure it calls CNativeState::Error and returns false.
typedef bool (*NativeCallback)(CNativeState* pState, int argumentCount, void* pUser);
// The same contract over the module interface's view of the call state.
typedef bool (*ModuleCallback)(Interfaces::INativeState* pState, int argumentCount, void* pUser);
// Runs a module callback over a call state; installed by the module interface layer, which owns the
// INativeState wrapper.
typedef bool (*ModuleCallAdapter)(CNativeState* pState, ModuleCallback pfnCallback, int argumentCount, void* pUser);

void SetModuleCallAdapter(ModuleCallAdapter pfnAdapter);
ModuleCallAdapter GetModuleCallAdapter();

// Mask letters: b bool, i int32, f float, s string, c function, x instance, z vector2D, v vector3D,
// t this-call (not an argument), | optional part follows, * any further arguments, . any type.
// The number of mask letters other than 't' before the first '|' or '*'; 0 for a null mask.
int GetRequiredArgumentCount(const char* mask);
// True when the mask marks a method (contains 't').
bool IsThisCallMask(const char* mask);

struct ScriptFunction {
    ScriptFunction() = default;
    ScriptFunction(const char* name, const char* mask, NativeCallback pfnNative, ModuleCallback pfnModule = nullptr)
        : m_Name(name ? name : ""), m_Mask(mask ? mask : ""), m_pfnNative(pfnNative), m_pfnModule(pfnModule) {}

    const char* GetName() const { return m_Name.c_str(); }
    const char* GetMask() const { return m_Mask.c_str(); }
    bool HasCallback() const { return m_pfnNative || m_pfnModule; }
    int GetRequiredArgumentCount() const { return Tessera3D::GetRequiredArgumentCount(m_Mask.c_str()); }
    bool IsThisCall() const { return IsThisCallMask(m_Mask.c_str()); }

    // Runs the native callback, else the module callback; with neither, fails with "Cannot call %s".
    // Callers normally go through CNativeState::Call, which also clears the error text first.
    bool Call(CNativeState* pState, int argumentCount, void* pUser) const;

    std::string m_Name;
    std::string m_Mask;
    NativeCallback m_pfnNative = nullptr;
    ModuleCallback m_pfnModule = nullptr;
};

} // namespace Tessera3D
