#pragma once
// The contracts each script language binding implements: one VM per language, registered with the
// host, and one isolated environment per resource.
#include <cstdint>

namespace Tessera3D {

class CBaseObject;
class Stream;

// VM ids: the standard CRC-32 of the ASCII language names (checked against CRC32Hash in the tests).
constexpr uint32_t SCRIPTING_VM_LUA = 0xEE3C71CBu;          // "Lua"
constexpr uint32_t SCRIPTING_VM_SPIDERMONKEY = 0x071F870Au; // "SpiderMonkey"
constexpr uint32_t SCRIPTING_VM_SQUIRREL = 0xF1941F25u;     // "Squirrel"

class CScriptEnvironment {
public:
    virtual ~CScriptEnvironment() = default;

    // Tears the environment down (unroots its globals).
    virtual void Destroy() = 0;
    // Runs the script text read from the stream; name is used in error reports.
    virtual bool DoFile(Stream* pStream, const char* name) = 0;

    // The object (a resource) that asked for the environment: the caller of every native call made
    // from its scripts.
    CBaseObject* GetOwner() const { return m_pOwner; }
    void SetOwner(CBaseObject* pOwner) { m_pOwner = pOwner; }

protected:
    CBaseObject* m_pOwner = nullptr;
};

class CScriptingVM {
public:
    virtual ~CScriptingVM() = default;

    // Makes every reflected class of the host's namespace tree known to the language; classes already
    // defined are skipped, so it may run again after more registrations.
    virtual bool DefineClasses() = 0;
    // A full collection of the language's heap.
    virtual void CollectGarbage() = 0;
    // A fresh, isolated environment named after the resource; null on failure.
    virtual CScriptEnvironment* CreateEnvironment(const char* name) = 0;
};

} // namespace Tessera3D
