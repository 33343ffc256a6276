#pragma once
// The scripting host: the reflected global namespace every language sees, the table of language VMs,
// and the core of the built-in API (conversions, reflection, streams, text readers, matrices, vectors).
#include "Engine/ReflectedNamespace.h"
#include "Engine/ScriptingVM.h"

namespace Tessera3D {

class CDefineHandlers;

class CScripting {
public:
    // Registers the host's own API into m_Global at once.
    CScripting();
    // Clears the global namespace, then deletes every registered VM in table order.
    ~CScripting();
    CScripting(const CScripting&) = delete;
    CScripting& operator=(const CScripting&) = delete;

    // Appends the VM and takes ownership. A 17th VM is a programming error: it is deleted and the call
    // returns false.
    bool AddVM(uint32_t id, CScriptingVM* pVM);
    CScriptingVM* FindVM(uint32_t id) const;
    size_t GetVMCount() const { return m_VMCount; }
    CScriptingVM* GetVM(size_t index) const { return index < m_VMCount ? m_rgVMs[index].m_pVM : nullptr; }
    uint32_t GetVMId(size_t index) const { return index < m_VMCount ? m_rgVMs[index].m_Id : 0; }

    // CollectGarbage of every VM, in table order.
    void CollectGarbage();
    // DefineClasses of every VM, in table order; false when one of them fails (the others still run).
    bool DefineClasses();

    CDefineHandlers* GetDefineHandlers() const { return m_pDefineHandlers; }
    void SetDefineHandlers(CDefineHandlers* pDefineHandlers) { m_pDefineHandlers = pDefineHandlers; }

    // The well-known classes of the global namespace.
    ReflectedClass* GetStreamClass() const { return m_Global.m_pStreamClass; }
    ReflectedClass* GetMatrixClass() const { return m_Global.m_pMatrixClass; }
    ReflectedClass* GetVector2DClass() const { return m_Global.m_pVector2DClass; }
    ReflectedClass* GetVector3DClass() const { return m_Global.m_pVector3DClass; }
    ReflectedClass* GetFunctionClass() const { return m_pFunctionClass; }
    ReflectedClass* GetTextReaderClass() const { return m_pTextReaderClass; }
    ReflectedNamespace* GetReflectionNamespace() const { return m_pReflectionNamespace; }
    ReflectedNamespace* GetModuleNamespace() const { return m_pModuleNamespace; }

    struct tVMEntry {
        uint32_t m_Id = 0;
        CScriptingVM* m_pVM = nullptr;
    };

    size_t m_VMCount = 0;
    tVMEntry m_rgVMs[16];
    ReflectedNamespace m_Global;

private:
    ReflectedNamespace* m_pReflectionNamespace = nullptr;
    ReflectedNamespace* m_pModuleNamespace = nullptr;
    ReflectedClass* m_pFunctionClass = nullptr;
    ReflectedClass* m_pTextReaderClass = nullptr;
    CDefineHandlers* m_pDefineHandlers = nullptr;
};

// The built-in constants every environment receives: key states, SDL scan codes and key codes, key
// modifiers, seek origins, log types and the named colours (unsigned).
void DefineBuiltinConstants(CDefineHandlers* pDefines);

} // namespace Tessera3D
