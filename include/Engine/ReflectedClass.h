#pragma once
// A script class of the reflected API: constructor, methods, properties, a base class, the clone,
// move and to-string hooks, and the per-language data each binding keeps for it.
#include "Engine/ScriptFunction.h"

#include <cstdint>
#include <memory>
#include <vector>

#ifndef ARRAY_COUNT
#define ARRAY_COUNT(a) (sizeof(a) / sizeof((a)[0]))
#endif

namespace Tessera3D {

// One registered function or method; m_pUser is the callback's third argument.
struct ReflectedFunction {
    bool m_bObsolete = false;
    ScriptFunction m_Function;
    void* m_pUser = nullptr;
};

// Accessors of one property. Namespace accessors have the mask "", class accessors "t"; a setter
// without callback makes the property read-only. The type is a script value id (for documentation and
// the bindings' property tables only).
struct ReflectedProperty {
    bool m_bObsolete = false;
    ScriptFunction m_Getter;
    ScriptFunction m_Setter;
    std::string m_Name;
    uint8_t m_Type = 0;
    void* m_pUser = nullptr;

    const char* GetName() const { return m_Name.c_str(); }
    bool IsReadOnly() const { return !m_Setter.HasCallback(); }

    // A new property record; namespaces and classes keep theirs in the same kind of list.
    static std::unique_ptr<ReflectedProperty> Make(void* pUser, const char* name, uint8_t type,
                                                   const ScriptFunction& getter, const ScriptFunction& setter,
                                                   bool bObsolete) {
        auto pProperty = std::make_unique<ReflectedProperty>();
        pProperty->m_bObsolete = bObsolete;
        pProperty->m_Getter = getter;
        pProperty->m_Setter = setter;
        pProperty->m_Name = name ? name : "";
        pProperty->m_Type = type;
        pProperty->m_pUser = pUser;
        return pProperty;
    }
};

// A constructor or hook: its function and the user data passed to it.
struct ReflectedHook {
    ScriptFunction m_Function;
    void* m_pUser = nullptr;

    bool IsSet() const { return m_Function.HasCallback(); }
};

// Called with an entry's data when the class is cleared.
typedef void (*DestructorProc)(void* pData);

// Per-language data of a class, keyed by VM id (one entry per language binding).
struct ReflectedUserData {
    struct tEntry {
        uint32_t m_VMId = 0;
        DestructorProc m_pfnDestructor = nullptr;
        void* m_pData = nullptr;
    };

    // Appends an entry; the address of its data pointer, or null when all 16 are taken.
    void** Add(uint32_t vmId, DestructorProc pfnDestructor);
    // The entry of the VM id, or null.
    const tEntry* Find(uint32_t vmId) const;

    tEntry m_rgUserData[16];
    size_t m_UserDataCount = 0;
};

class ReflectedClass {
public:
    ReflectedClass(const char* name, ReflectedClass* pBaseClass);
    ~ReflectedClass();
    ReflectedClass(const ReflectedClass&) = delete;
    ReflectedClass& operator=(const ReflectedClass&) = delete;

    const char* GetName() const { return m_Name.c_str(); }
    ReflectedClass* GetBaseClass() const { return m_pBaseClass; }
    // True when this class is pWanted or derives from it.
    bool IsA(const ReflectedClass* pWanted) const;

    // The constructor is named after the class.
    void RegisterConstructor(const char* mask, NativeCallback pfnCallback, void* pUser);
    void RegisterConstructor(const ScriptFunction& function, void* pUser);
    // The hooks are called with 'this' set: clone and to-string without arguments, move with the source.
    void RegisterClone(NativeCallback pfnCallback, void* pUser) { SetHook(m_Clone, "clone", pfnCallback, pUser); }
    void RegisterMove(NativeCallback pfnCallback, void* pUser) { SetHook(m_Move, "move", pfnCallback, pUser); }
    void RegisterToString(NativeCallback pfnCallback, void* pUser) { SetHook(m_ToString, "toString", pfnCallback, pUser); }

    ReflectedFunction* RegisterFunction(const char* name, const char* mask, NativeCallback pfnCallback, void* pUser,
                                        bool bObsolete = false);
    ReflectedFunction* RegisterFunction(const ScriptFunction& function, void* pUser, bool bObsolete = false);
    // Both accessors get the mask "t"; a null setter makes the property read-only.
    ReflectedProperty* AddProperty(void* pUser, const char* name, uint8_t type, NativeCallback pfnGetter,
                                   NativeCallback pfnSetter, bool bObsolete = false);
    // The same with ready descriptors (module callbacks); their masks are kept as given.
    ReflectedProperty* AddProperty(void* pUser, const char* name, uint8_t type, const ScriptFunction& getter,
                                   const ScriptFunction& setter, bool bObsolete = false);

    // Searches this class, then each base class; sets the error "Property %s not found." when none has it.
    ReflectedProperty* GetProperty(const char* name) const;
    // The same without touching the error text.
    ReflectedProperty* FindProperty(const char* name) const;
    // A method by name, searching this class and then its base classes.
    ReflectedFunction* FindFunction(const char* name) const;

    // Appends an entry and returns the address of its data pointer; null (and an assertion) when all
    // 16 entries are taken.
    void** AddUserData(uint32_t vmId, DestructorProc pfnDestructor);
    // The data stored under the VM id, or null.
    void* GetUserData(uint32_t vmId) const;
    bool HasUserData(uint32_t vmId) const;

    // Frees hooks, methods and properties and runs the destructor of every user data entry.
    void Clear();

    ReflectedHook m_Constructor;
    ReflectedHook m_Clone;
    ReflectedHook m_Move;
    ReflectedHook m_ToString;
    std::vector<std::unique_ptr<ReflectedFunction>> m_Methods;
    std::vector<std::unique_ptr<ReflectedProperty>> m_Properties;
    ReflectedUserData m_UserData;

private:
    void SetHook(ReflectedHook& hook, const char* name, NativeCallback pfnCallback, void* pUser);

    std::string m_Name;
    ReflectedClass* m_pBaseClass;
};

} // namespace Tessera3D
