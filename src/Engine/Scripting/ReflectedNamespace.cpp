#include "Engine/ReflectedNamespace.h"

#include <cstring>

namespace Tessera3D {

ReflectedNamespace::ReflectedNamespace(const char* name) : m_Name(name ? name : "") {}

ReflectedNamespace::~ReflectedNamespace() { Clear(); }

ReflectedNamespace* ReflectedNamespace::FindNamespace(const char* name) const {
    if (!name) return nullptr;
    for (const auto& pNamespace : m_Namespaces) {
        if (pNamespace->m_Name == name) return pNamespace.get();
    }
    return nullptr;
}

ReflectedNamespace* ReflectedNamespace::AddNamespace(const char* name) {
    if (ReflectedNamespace* pNamespace = FindNamespace(name)) return pNamespace;
    m_Namespaces.push_back(std::make_unique<ReflectedNamespace>(name));
    return m_Namespaces.back().get();
}

ReflectedClass* ReflectedNamespace::NewClass(const char* name, ReflectedClass* pBaseClass) {
    m_Classes.push_back(std::make_unique<ReflectedClass>(name, pBaseClass));
    ReflectedClass* pClass = m_Classes.back().get();
    if (name) {
        if (!strcmp(name, "Stream")) m_pStreamClass = pClass;
        else if (!strcmp(name, "Matrix4x4")) m_pMatrixClass = pClass;
        else if (!strcmp(name, "Vec2")) m_pVector2DClass = pClass;
        else if (!strcmp(name, "Vec3")) m_pVector3DClass = pClass;
    }
    return pClass;
}

ReflectedClass* ReflectedNamespace::FindClass(const char* name) const {
    if (!name) return nullptr;
    for (const auto& pClass : m_Classes) {
        if (!strcmp(pClass->GetName(), name)) return pClass.get();
    }
    return nullptr;
}

ReflectedFunction* ReflectedNamespace::RegisterFunction(const ScriptFunction& function, void* pUser, bool bObsolete) {
    auto pFunction = std::make_unique<ReflectedFunction>();
    pFunction->m_bObsolete = bObsolete;
    pFunction->m_Function = function;
    pFunction->m_pUser = pUser;
    m_Functions.push_back(std::move(pFunction));
    return m_Functions.back().get();
}

ReflectedFunction* ReflectedNamespace::RegisterFunction(const char* name, const char* mask, NativeCallback pfnCallback,
                                                        void* pUser, bool bObsolete) {
    return RegisterFunction(ScriptFunction(name, mask, pfnCallback), pUser, bObsolete);
}

ReflectedFunction* ReflectedNamespace::FindFunction(const char* name) const {
    if (!name) return nullptr;
    for (const auto& pFunction : m_Functions) {
        if (pFunction->m_Function.m_Name == name) return pFunction.get();
    }
    return nullptr;
}

ReflectedProperty* ReflectedNamespace::AddProperty(void* pUser, const char* name, uint8_t type, NativeCallback pfnGetter,
                                                   NativeCallback pfnSetter, bool bObsolete) {
    return AddProperty(pUser, name, type, ScriptFunction("", "", pfnGetter), ScriptFunction("", "", pfnSetter), bObsolete);
}

ReflectedProperty* ReflectedNamespace::AddProperty(void* pUser, const char* name, uint8_t type,
                                                   const ScriptFunction& getter, const ScriptFunction& setter,
                                                   bool bObsolete) {
    m_Properties.push_back(ReflectedProperty::Make(pUser, name, type, getter, setter, bObsolete));
    return m_Properties.back().get();
}

ReflectedProperty* ReflectedNamespace::FindProperty(const char* name) const {
    if (!name) return nullptr;
    for (const auto& pProperty : m_Properties) {
        if (pProperty->m_Name == name) return pProperty.get();
    }
    return nullptr;
}

void ReflectedNamespace::Clear() {
    m_Functions.clear();
    m_Properties.clear();
    // Later classes first: a binding's record of a derived class goes before that of its base.
    for (auto it = m_Classes.rbegin(); it != m_Classes.rend(); ++it) (*it)->Clear();
    m_Classes.clear();
    for (auto& pNamespace : m_Namespaces) pNamespace->Clear();
    m_Namespaces.clear();
    m_pStreamClass = nullptr;
    m_pMatrixClass = nullptr;
    m_pVector2DClass = nullptr;
    m_pVector3DClass = nullptr;
}

} // namespace Tessera3D
