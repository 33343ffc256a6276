#include "Engine/Scripting.h"

#include "BuiltinAPI.h"

#include "Engine/Assert.h"

namespace Tessera3D {

CScripting::CScripting() : m_Global("global") {
    // The order here is the order in which languages define globals and the documentation lists them.
    m_pReflectionNamespace = m_Global.AddNamespace("reflection");
    m_pFunctionClass = RegisterReflectionFunctions(m_pReflectionNamespace);
    m_pModuleNamespace = m_Global.AddNamespace("module");
    RegisterGlobalFunctions(&m_Global);
    RegisterPlatformNamespaces(&m_Global);
    RegisterStreamClass(&m_Global);
    m_pTextReaderClass = RegisterTextReaderClass(&m_Global);
    RegisterMatrixClass(&m_Global);
    RegisterVectorClasses(&m_Global);
}

CScripting::~CScripting() {
    // Classes go first: their per-language destructors may still need the VMs.
    m_Global.Clear();
    for (size_t i = 0; i < m_VMCount; ++i) {
        delete m_rgVMs[i].m_pVM;
        m_rgVMs[i] = tVMEntry();
    }
    m_VMCount = 0;
}

bool CScripting::AddVM(uint32_t id, CScriptingVM* pVM) {
    if (!TESSERA_ASSERT(m_VMCount < ARRAY_COUNT(m_rgVMs))) {
        delete pVM;
        return false;
    }
    m_rgVMs[m_VMCount].m_Id = id;
    m_rgVMs[m_VMCount].m_pVM = pVM;
    ++m_VMCount;
    return true;
}

CScriptingVM* CScripting::FindVM(uint32_t id) const {
    for (size_t i = 0; i < m_VMCount; ++i) {
        if (m_rgVMs[i].m_Id == id) return m_rgVMs[i].m_pVM;
    }
    return nullptr;
}

void CScripting::CollectGarbage() {
    for (size_t i = 0; i < m_VMCount; ++i) {
        if (m_rgVMs[i].m_pVM) m_rgVMs[i].m_pVM->CollectGarbage();
    }
}

bool CScripting::DefineClasses() {
    bool bResult = true;
    for (size_t i = 0; i < m_VMCount; ++i) {
        if (m_rgVMs[i].m_pVM && !m_rgVMs[i].m_pVM->DefineClasses()) bResult = false;
    }
    return bResult;
}

} // namespace Tessera3D
