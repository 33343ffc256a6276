#pragma once
// A namespace of the reflected script API: functions, properties, classes and child namespaces, in
// registration order (the order in which bindings define globals and the documentation lists them).
#include "Engine/ReflectedClass.h"

namespace Tessera3D {

class ReflectedNamespace {
public:
    explicit ReflectedNamespace(const char* name);
    ~ReflectedNamespace();
    ReflectedNamespace(const ReflectedNamespace&) = delete;
    ReflectedNamespace& operator=(const ReflectedNamespace&) = delete;

    const char* GetName() const { return m_Name.c_str(); }
    // A second name under which bindings also publish the namespace; null when there is none.
    const char* GetAlias() const { return m_Alias.empty() ? nullptr : m_Alias.c_str(); }
    void SetAlias(const char* alias) { m_Alias = alias ? alias : ""; }

    // The child namespace with exactly that name, created (empty) when there is none.
    ReflectedNamespace* AddNamespace(const char* name);
    ReflectedNamespace* FindNamespace(const char* name) const;
    // Always creates and appends a new class. A class named "Stream", "Matrix4x4", "Vec2" or "Vec3"
    // becomes this namespace's well-known class of that name.
    ReflectedClass* NewClass(const char* name, ReflectedClass* pBaseClass);
    // The first class of this namespace with that name.
    ReflectedClass* FindClass(const char* name) const;

    ReflectedFunction* RegisterFunction(const ScriptFunction& function, void* pUser, bool bObsolete = false);
    ReflectedFunction* RegisterFunction(const char* name, const char* mask, NativeCallback pfnCallback, void* pUser,
                                        bool bObsolete = false);
    ReflectedFunction* FindFunction(const char* name) const;
    // Both accessors get the mask ""; a null setter makes the property read-only.
    ReflectedProperty* AddProperty(void* pUser, const char* name, uint8_t type, NativeCallback pfnGetter,
                                   NativeCallback pfnSetter, bool bObsolete = false);
    ReflectedProperty* AddProperty(void* pUser, const char* name, uint8_t type, const ScriptFunction& getter,
                                   const ScriptFunction& setter, bool bObsolete = false);
    ReflectedProperty* FindProperty(const char* name) const;

    // Frees every entry, class and child namespace (recursively).
    void Clear();

    std::vector<std::unique_ptr<ReflectedFunction>> m_Functions;
    std::vector<std::unique_ptr<ReflectedProperty>> m_Properties;
    std::vector<std::unique_ptr<ReflectedClass>> m_Classes;
    std::vector<std::unique_ptr<ReflectedNamespace>> m_Namespaces;

    ReflectedClass* m_pStreamClass = nullptr;
    ReflectedClass* m_pMatrixClass = nullptr;
    ReflectedClass* m_pVector2DClass = nullptr;
    ReflectedClass* m_pVector3DClass = nullptr;

private:
    std::string m_Name;
    std::string m_Alias;
};

} // namespace Tessera3D
