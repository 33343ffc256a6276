#include "Engine/BaseObject.h"

#include "Engine/Argument.h"

namespace Tessera3D {

int32_t CRefCounted::Release() {
    const int32_t previous = DecrementRef();
    if (previous > 1) return previous - 1;
    delete this;
    return 0;
}

void CBaseObject::ClearWeakReferences() {
    for (CBaseObject** ppField : m_WeakReferences) *ppField = nullptr;
    m_WeakReferences.clear();
}

CBaseObject::~CBaseObject() {
    m_bObliterated = true;
    ClearWeakReferences();
    // Each hook is taken out of its slot before it is destroyed, so a proxy destructor that reaches
    // back into the object finds an empty slot instead of itself.
    for (IUserData** slot : {&m_pUser, &m_pScriptReference, &m_pJSScriptReference, &m_pSqScriptReference}) {
        IUserData* pData = *slot;
        *slot = nullptr;
        delete pData;
    }
}

int32_t CBaseObject::Release() {
    const int32_t previous = DecrementRef();
    if (previous > 1) return previous - 1;
    if (m_bObliterated) return 0;
    if (m_pJSScriptReference && m_pJSScriptReference->Destruct()) return 0;
    Obliterate();
    return 0;
}

CArgument* CBaseObject::CreateArgument() { return new CArgumentObject(this); }

void CBaseObject::Obliterate() {
    if (m_bObliterated) return;
    m_bObliterated = true;
    delete this;
}

bool CBaseObject::Attach(IUserData*& slot, IUserData* pData) {
    if (slot != nullptr) return false;
    slot = pData;
    return true;
}

bool CBaseObject::AddUserData(IUserData* pData) { return Attach(m_pUser, pData); }
bool CBaseObject::AddScriptReference(IUserData* pData) { return Attach(m_pScriptReference, pData); }
bool CBaseObject::AddJSScriptReference(IUserData* pData) { return Attach(m_pJSScriptReference, pData); }
bool CBaseObject::AddSqScriptReference(IUserData* pData) { return Attach(m_pSqScriptReference, pData); }

} // namespace Tessera3D
