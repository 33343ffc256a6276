#include "Engine/References.h"

#include <gtest/gtest.h>

using namespace Tessera3D;

namespace {

struct Probe : CBaseObject {
    explicit Probe(int* pDestroyed) : m_pDestroyed(pDestroyed) {}
    ~Probe() override { ++*m_pDestroyed; }
    int* m_pDestroyed;
};

// A proxy whose destructor reaches back into the dying object, as script proxies do.
struct ReentrantProxy : IUserData {
    explicit ReentrantProxy(CBaseObject* pOwner) : m_pOwner(pOwner) {}
    ~ReentrantProxy() override {
        m_pOwner->AddRef();
        m_pOwner->Release();
    }
    CBaseObject* m_pOwner;
};

// A proxy whose runtime keeps the object alive while its script object lives.
struct KeepAliveProxy : IUserData {
    bool m_bScriptAlive = true;
    bool Destruct() override { return m_bScriptAlive; }
};

} // namespace

TEST(ObjectModel, WeakReferenceEmptiesWhenTargetDies) {
    int destroyed = 0;
    auto* p = new Probe(&destroyed);
    Weak<Probe> weak(p);
    Weak<Probe> copy(weak);
    EXPECT_EQ(weak.Get(), p);
    EXPECT_EQ(p->GetWeakReferenceCount(), 2u);
    p->Release();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(weak.Get(), nullptr);
    EXPECT_EQ(copy.Get(), nullptr);
}

TEST(ObjectModel, WeakReferenceUnregistersOnReassignAndDestruction) {
    int destroyed = 0;
    Strong<Probe> a = MakeStrong<Probe>(&destroyed), b = MakeStrong<Probe>(&destroyed);
    {
        Weak<Probe> weak(a.Get());
        weak = b.Get();
        EXPECT_EQ(a->GetWeakReferenceCount(), 0u);
        EXPECT_EQ(b->GetWeakReferenceCount(), 1u);
    }
    EXPECT_EQ(b->GetWeakReferenceCount(), 0u);
}

TEST(ObjectModel, StrongCountsAndSelfAssignment) {
    int destroyed = 0;
    Strong<Probe> s = MakeStrong<Probe>(&destroyed);
    EXPECT_EQ(s->GetRefCount(), 1);
    s = s.Get();
    EXPECT_EQ(s->GetRefCount(), 1);
    {
        Strong<Probe> t = s;
        EXPECT_EQ(s->GetRefCount(), 2);
    }
    EXPECT_EQ(s->GetRefCount(), 1);
    s = nullptr;
    EXPECT_EQ(destroyed, 1);
}

TEST(ObjectModel, ReleaseDuringDestructionDoesNotDestroyTwice) {
    int destroyed = 0;
    auto* p = new Probe(&destroyed);
    EXPECT_TRUE(p->AddSqScriptReference(new ReentrantProxy(p)));
    p->Release();
    EXPECT_EQ(destroyed, 1);
}

TEST(ObjectModel, SecondAttachKeepsFirstProxy) {
    int destroyed = 0;
    Strong<Probe> s = MakeStrong<Probe>(&destroyed);
    auto* first = new KeepAliveProxy;
    first->m_bScriptAlive = false;
    KeepAliveProxy second;
    EXPECT_TRUE(s->AddScriptReference(first));
    EXPECT_FALSE(s->AddScriptReference(&second));
    EXPECT_EQ(s->GetScriptReference(), first);
}

TEST(ObjectModel, LiveScriptProxyDefersDestruction) {
    int destroyed = 0;
    auto* p = new Probe(&destroyed);
    auto* proxy = new KeepAliveProxy;
    p->AddJSScriptReference(proxy);
    EXPECT_EQ(p->Release(), 0);
    EXPECT_EQ(destroyed, 0) << "the script runtime owns the end of the object's life";
    proxy->m_bScriptAlive = false;
    p->Obliterate(); // what the script collector does once its object is gone
    EXPECT_EQ(destroyed, 1);
}

TEST(ObjectModel, ClearingWeakReferencesLeavesTheObjectAlive) {
    int destroyed = 0;
    Strong<Probe> s = MakeStrong<Probe>(&destroyed);
    Weak<Probe> a(s.Get()), b(s.Get());
    s->ClearWeakReferences();
    EXPECT_EQ(a.Get(), nullptr);
    EXPECT_EQ(b.Get(), nullptr);
    EXPECT_EQ(s->GetWeakReferenceCount(), 0u);
    a = s.Get(); // references can be made again afterwards
    EXPECT_EQ(s->GetWeakReferenceCount(), 1u);
    EXPECT_EQ(destroyed, 0);
}
