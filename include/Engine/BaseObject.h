#pragma once
// The object model every script-visible object shares: counted references, self-clearing weak
// references and one proxy slot per script language.
#include "Engine/RefCounted.h"
#include "Engine/UserData.h"

#include <cstddef>
#include <unordered_set>

namespace Tessera3D {

class ReflectedClass;
class CArgument;
namespace Interfaces { class IBaseObject; }

class CBaseObject : public CRefCounted {
public:
    CBaseObject() = default;
    ~CBaseObject() override;

    int32_t Release() override;
    // The script class describing this object; the assigned class unless a kind defines its own.
    virtual ReflectedClass* GetReflectedClass() const { return m_pReflectedClass; }
    // This object as a new script value (one reference, owned by the caller): an object value here,
    // an element value for elements.
    virtual CArgument* CreateArgument();

    // Begins destruction once; a second call while destruction runs does nothing.
    void Obliterate();
    bool IsObliterated() const { return m_bObliterated; }

    // Attaching fills an empty slot; a filled slot keeps its proxy and the call returns false (the
    // caller still owns the proxy it offered).
    bool AddUserData(IUserData* pData);
    bool AddScriptReference(IUserData* pData);
    bool AddJSScriptReference(IUserData* pData);
    bool AddSqScriptReference(IUserData* pData);
    IUserData* GetUserData() const { return m_pUser; }
    IUserData* GetScriptReference() const { return m_pScriptReference; }
    IUserData* GetJSScriptReference() const { return m_pJSScriptReference; }
    IUserData* GetSqScriptReference() const { return m_pSqScriptReference; }

    // Weak references register the address of their pointer field; destruction clears them.
    void CreateReference(CBaseObject** ppField) { m_WeakReferences.insert(ppField); }
    void RemoveReference(CBaseObject** ppField) { m_WeakReferences.erase(ppField); }
    size_t GetWeakReferenceCount() const { return m_WeakReferences.size(); }
    // Empties every weak reference to this object while it lives on (an element leaving the world).
    void ClearWeakReferences();

    void SetReflectedClass(ReflectedClass* pClass) { m_pReflectedClass = pClass; }
    void* GetModuleData() const { return m_pModuleData; }
    void SetModuleData(void* pData) { m_pModuleData = pData; }
    Interfaces::IBaseObject* GetModuleInterface() const { return m_pModuleInterface; }
    void SetModuleInterface(Interfaces::IBaseObject* pInterface) { m_pModuleInterface = pInterface; }

private:
    static bool Attach(IUserData*& slot, IUserData* pData);

    bool m_bObliterated = false;
    IUserData* m_pUser = nullptr;
    IUserData* m_pScriptReference = nullptr;
    IUserData* m_pJSScriptReference = nullptr;
    IUserData* m_pSqScriptReference = nullptr;
    std::unordered_set<CBaseObject**> m_WeakReferences;
    void* m_pModuleData = nullptr;
    ReflectedClass* m_pReflectedClass = nullptr;
    Interfaces::IBaseObject* m_pModuleInterface = nullptr;
};

} // namespace Tessera3D
