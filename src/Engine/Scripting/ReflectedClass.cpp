#include "Engine/Assert.h"
#include "Engine/Log.h"
#include "Engine/ReflectedClass.h"

namespace Tessera3D {

ReflectedClass::ReflectedClass(const char* name, ReflectedClass* pBaseClass)
    : m_Name(name ? name : ""), m_pBaseClass(pBaseClass) {}

ReflectedClass::~ReflectedClass() { Clear(); }

bool ReflectedClass::IsA(const ReflectedClass* pWanted) const {
    for (const ReflectedClass* pClass = this; pClass; pClass = pClass->m_pBaseClass) {
        if (pClass == pWanted) return true;
    }
    return false;
}

void ReflectedClass::RegisterConstructor(const char* mask, NativeCallback pfnCallback, void* pUser) {
    m_Constructor.m_Function = ScriptFunction(m_Name.c_str(), mask, pfnCallback);
    m_Constructor.m_pUser = pUser;
}

void ReflectedClass::RegisterConstructor(const ScriptFunction& function, void* pUser) {
    m_Constructor.m_Function = function;
    m_Constructor.m_Function.m_Name = m_Name;
    m_Constructor.m_pUser = pUser;
}

void ReflectedClass::SetHook(ReflectedHook& hook, const char* name, NativeCallback pfnCallback, void* pUser) {
    hook.m_Function = ScriptFunction(name, "t", pfnCallback);
    hook.m_pUser = pUser;
}

ReflectedFunction* ReflectedClass::RegisterFunction(const char* name, const char* mask, NativeCallback pfnCallback,
                                                    void* pUser, bool bObsolete) {
    return RegisterFunction(ScriptFunction(name, mask, pfnCallback), pUser, bObsolete);
}

ReflectedFunction* ReflectedClass::RegisterFunction(const ScriptFunction& function, void* pUser, bool bObsolete) {
    auto pFunction = std::make_unique<ReflectedFunction>();
    pFunction->m_bObsolete = bObsolete;
    pFunction->m_Function = function;
    pFunction->m_pUser = pUser;
    m_Methods.push_back(std::move(pFunction));
    return m_Methods.back().get();
}

ReflectedProperty* ReflectedClass::AddProperty(void* pUser, const char* name, uint8_t type, NativeCallback pfnGetter,
                                               NativeCallback pfnSetter, bool bObsolete) {
    return AddProperty(pUser, name, type, ScriptFunction("", "t", pfnGetter), ScriptFunction("", "t", pfnSetter),
                       bObsolete);
}

ReflectedProperty* ReflectedClass::AddProperty(void* pUser, const char* name, uint8_t type,
                                               const ScriptFunction& getter, const ScriptFunction& setter,
                                               bool bObsolete) {
    m_Properties.push_back(ReflectedProperty::Make(pUser, name, type, getter, setter, bObsolete));
    return m_Properties.back().get();
}

ReflectedProperty* ReflectedClass::FindProperty(const char* name) const {
    if (!name) return nullptr;
    for (const ReflectedClass* pClass = this; pClass; pClass = pClass->m_pBaseClass) {
        for (const auto& pProperty : pClass->m_Properties) {
            if (pProperty->m_Name == name) return pProperty.get();
        }
    }
    return nullptr;
}

ReflectedProperty* ReflectedClass::GetProperty(const char* name) const {
    ReflectedProperty* pProperty = FindProperty(name);
    if (!pProperty) SetError("Property %s not found.", name ? name : "");
    return pProperty;
}

ReflectedFunction* ReflectedClass::FindFunction(const char* name) const {
    if (!name) return nullptr;
    for (const ReflectedClass* pClass = this; pClass; pClass = pClass->m_pBaseClass) {
        for (const auto& pFunction : pClass->m_Methods) {
            if (pFunction->m_Function.m_Name == name) return pFunction.get();
        }
    }
    return nullptr;
}

void** ReflectedUserData::Add(uint32_t vmId, DestructorProc pfnDestructor) {
    if (!TESSERA_ASSERT(m_UserDataCount < ARRAY_COUNT(m_rgUserData))) return nullptr;
    tEntry& entry = m_rgUserData[m_UserDataCount++];
    entry.m_VMId = vmId;
    entry.m_pfnDestructor = pfnDestructor;
    entry.m_pData = nullptr;
    return &entry.m_pData;
}

const ReflectedUserData::tEntry* ReflectedUserData::Find(uint32_t vmId) const {
    for (size_t i = 0; i < m_UserDataCount; ++i) {
        if (m_rgUserData[i].m_VMId == vmId) return &m_rgUserData[i];
    }
    return nullptr;
}

void** ReflectedClass::AddUserData(uint32_t vmId, DestructorProc pfnDestructor) {
    return m_UserData.Add(vmId, pfnDestructor);
}

void* ReflectedClass::GetUserData(uint32_t vmId) const {
    const ReflectedUserData::tEntry* pEntry = m_UserData.Find(vmId);
    return pEntry ? pEntry->m_pData : nullptr;
}

bool ReflectedClass::HasUserData(uint32_t vmId) const { return m_UserData.Find(vmId) != nullptr; }

void ReflectedClass::Clear() {
    m_Constructor = ReflectedHook();
    m_Clone = ReflectedHook();
    m_Move = ReflectedHook();
    m_ToString = ReflectedHook();
    m_Methods.clear();
    m_Properties.clear();
    // Entries are taken out of the table before their destructors run, so a destructor that looks at
    // the class finds it already empty.
    const size_t count = m_UserData.m_UserDataCount;
    ReflectedUserData::tEntry entries[ARRAY_COUNT(m_UserData.m_rgUserData)];
    for (size_t i = 0; i < count; ++i) entries[i] = m_UserData.m_rgUserData[i];
    m_UserData = ReflectedUserData();
    for (size_t i = 0; i < count; ++i) {
        if (entries[i].m_pfnDestructor) entries[i].m_pfnDestructor(entries[i].m_pData);
    }
}

} // namespace Tessera3D
