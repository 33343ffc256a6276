#pragma once
// Owning (Strong) and self-clearing non-owning (Weak) references to counted objects.
#include "Engine/BaseObject.h"

#include <utility>

namespace Tessera3D {

template <typename T>
class Strong {
public:
    Strong() = default;
    Strong(std::nullptr_t) {}
    // Takes a new reference to p.
    Strong(T* p) : m_p(p) { if (m_p) m_p->AddRef(); }
    Strong(const Strong& other) : Strong(other.m_p) {}
    Strong(Strong&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    template <typename U>
    Strong(const Strong<U>& other) : Strong(other.Get()) {}
    ~Strong() { if (m_p) m_p->Release(); }

    // Takes over a reference the caller already holds (a freshly created object's first one).
    static Strong Adopt(T* p) { Strong s; s.m_p = p; return s; }

    Strong& operator=(T* p) {
        if (p == m_p) return *this;
        T* old = m_p;
        m_p = p;
        if (m_p) m_p->AddRef();
        if (old) old->Release();
        return *this;
    }
    Strong& operator=(const Strong& other) { return *this = other.m_p; }
    Strong& operator=(Strong&& other) noexcept {
        if (this != &other) {
            T* old = std::exchange(m_p, std::exchange(other.m_p, nullptr));
            if (old) old->Release();
        }
        return *this;
    }

    // Gives up the reference without releasing it.
    T* Detach() { return std::exchange(m_p, nullptr); }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    bool operator==(const T* p) const { return m_p == p; }
    bool operator!=(const T* p) const { return m_p != p; }

private:
    T* m_p = nullptr;
};

template <typename T, typename... Args>
Strong<T> MakeStrong(Args&&... args) { return Strong<T>::Adopt(new T(std::forward<Args>(args)...)); }

// Empties itself when its target is destroyed. T must derive from CBaseObject.
template <typename T>
class Weak {
public:
    Weak() = default;
    Weak(T* p) { Set(p); }
    Weak(const Weak& other) { Set(other.Get()); }
    ~Weak() { Set(nullptr); }
    Weak& operator=(T* p) { Set(p); return *this; }
    Weak& operator=(const Weak& other) { Set(other.Get()); return *this; }

    T* Get() const { return static_cast<T*>(m_pObject); }
    T* operator->() const { return Get(); }
    explicit operator bool() const { return m_pObject != nullptr; }

private:
    void Set(T* p) {
        CBaseObject* pObject = p;
        if (pObject == m_pObject) return;
        if (m_pObject) m_pObject->RemoveReference(&m_pObject);
        m_pObject = pObject;
        if (m_pObject) m_pObject->CreateReference(&m_pObject);
    }

    CBaseObject* m_pObject = nullptr;
};

} // namespace Tessera3D
