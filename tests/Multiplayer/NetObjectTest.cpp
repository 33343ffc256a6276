// The element base: defaults, syncer, tree, name, dimension and data with the messages they send to
// the clients that have the element, the sync rules, and its part of the creation record.
#include "ReplicationFixture.h"

#include "Engine/UnlimitedStream.h"

#include <cmath>

using namespace Tessera3D;

namespace {

// Expected bytes written with spacing for the eye.
std::string H(const char* text) { return Hex(HexBytes(text)); }

// Two clients that both have one element (synced by client 0), with the sends so far forgotten.
struct ElementFixture : ::testing::Test {
    ElementFixture() : m_World(2) {
        m_pElement = m_World.Add(ELEMENT_OBJECT, {1.0f, 0.0f, 0.0f});
        m_World.m_pManager->ProcessStreaming();
        m_World.Take();
    }

    // Every send went to both clients with the same bytes; those bytes, or "" when nothing went.
    std::string SentToBoth() {
        const auto sends = m_World.Take();
        if (sends.empty()) return "";
        EXPECT_EQ(sends.size(), 2u);
        if (sends.size() != 2) return "?";
        EXPECT_EQ(m_World.IndexOf(sends[0].m_pPeer), 0);
        EXPECT_EQ(m_World.IndexOf(sends[1].m_pPeer), 1);
        EXPECT_EQ(sends[0].m_Bytes, sends[1].m_Bytes);
        return Hex(sends[0].Payload());
    }

    CReplicationWorld m_World;
    Strong<CTestElement> m_pElement;
};

} // namespace

TEST(NetObjectTest, Defaults) {
    CReplicationWorld world(0);
    auto pElement = MakeStrong<CNetObject>(world.m_pManager.get());
    EXPECT_EQ(pElement->GetFlags(), 0x930);
    EXPECT_EQ(pElement->GetNetworkId(), INVALID_NETWORK_ID);
    EXPECT_EQ(pElement->GetType(), ELEMENT_ELEMENT);
    EXPECT_EQ(pElement->GetStreamInDistance(), 0.0f);
    EXPECT_TRUE(std::isinf(pElement->GetStreamOutDistance()));
    EXPECT_TRUE(pElement->ExistsFor(0) && pElement->ExistsFor(255));
    EXPECT_FALSE(pElement->ExistsFor(256));
    EXPECT_EQ(pElement->GetFirstCreatedFor(), -1);
    EXPECT_EQ(pElement->GetName(), nullptr);
    CVector3D position;
    EXPECT_FALSE(pElement->GetPosition(position));
    EXPECT_FALSE(pElement->SetRotation(position));

    // The element's script value is an element value that knows its id.
    world.m_pManager->RegisterNetObject(pElement.Get());
    auto pValue = Strong<CArgument>::Adopt(pElement->CreateArgument());
    ASSERT_EQ(pValue->GetType(), ARGUMENT_NETOBJECT);
    EXPECT_EQ(pValue->ToObject(), pElement.Get());
    EXPECT_EQ(static_cast<CArgumentNetObject*>(pValue.Get())->GetNetworkId(), 1);

    // Type masks match when every bit of the mask is set.
    auto pTrain = MakeTestElement(*world.m_pManager, ELEMENT_TRAIN);
    EXPECT_TRUE(pTrain->IsType(ELEMENT_VEHICLE));
    EXPECT_TRUE(pTrain->IsType(ELEMENT_ELEMENT));
    EXPECT_FALSE(pTrain->IsType(ELEMENT_PED));
}

TEST_F(ElementFixture, SyncerChangesAreAnnouncedAndForcingFollowsTheLastCall) {
    const std::string id = "01 00 03 00 00 00"; // one record, element 3
    CNetMachine* pOne = m_World.Client(1);
    m_pElement->SetSyncer(pOne, true);
    EXPECT_EQ(SentToBoth(), id + " 01 00 00 00");
    EXPECT_TRUE(m_pElement->HasFlag(NETOBJECT_FORCED_SYNCER));
    m_pElement->SetSyncer(pOne, false);
    EXPECT_EQ(SentToBoth(), H("")) << "same syncer: no message, but the forced flag follows";
    EXPECT_FALSE(m_pElement->HasFlag(NETOBJECT_FORCED_SYNCER));

    m_pElement->SetSyncer(pOne, true);
    m_pElement->SetSyncerId(0);
    EXPECT_EQ(m_pElement->GetSyncer(), pOne) << "a forced syncer ignores ids";
    m_pElement->SetFlag(NETOBJECT_FORCED_SYNCER, false);
    m_pElement->SetSyncerId(256);
    EXPECT_EQ(m_pElement->GetSyncer(), nullptr) << "no machine above 255";
    EXPECT_EQ(SentToBoth(), id + " FF FF FF FF");
    m_pElement->SetSyncerId(0);
    EXPECT_EQ(m_pElement->GetSyncerId(), 0);
    EXPECT_EQ(SentToBoth(), id + " 00 00 00 00");

    // A transient element given up by its syncer no longer has to exist for the next one.
    m_pElement->SetFlag(NETOBJECT_TRANSIENT | NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
    m_pElement->SetSyncer(pOne, false);
    EXPECT_FALSE(m_pElement->HasFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER));
    m_pElement->SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
    m_pElement->SetSyncer(nullptr, true);
    EXPECT_FALSE(m_pElement->HasFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER));
    EXPECT_FALSE(m_pElement->HasFlag(NETOBJECT_FORCED_SYNCER));
}

TEST_F(ElementFixture, ParentsHoldEightChildrenAndNoCycles) {
    auto pParent = m_World.Add(ELEMENT_VEHICLE, {});
    auto pOther = m_World.Add(ELEMENT_VEHICLE, {});
    ASSERT_TRUE(m_pElement->SetParent(pParent.Get()));
    EXPECT_EQ(SentToBoth(), H("01 00 03 00 00 00  04 00 00 00"));
    EXPECT_FALSE(m_pElement->SetParent(pParent.Get())) << "unchanged";
    EXPECT_FALSE(pParent->SetParent(m_pElement.Get())) << "a cycle";
    EXPECT_FALSE(pParent->SetParent(pParent.Get())) << "itself";

    std::vector<Strong<CTestElement>> children;
    for (int i = 0; i < 7; ++i) {
        children.push_back(MakeTestElement(*m_World.m_pManager, ELEMENT_OBJECT));
        ASSERT_TRUE(children.back()->SetParent(pParent.Get()));
    }
    auto pNinth = MakeTestElement(*m_World.m_pManager, ELEMENT_OBJECT);
    ASSERT_TRUE(pNinth->SetParent(pOther.Get()));
    EXPECT_FALSE(pNinth->SetParent(pParent.Get()));
    EXPECT_EQ(pNinth->GetParent(), pOther.Get()) << "a failed attach keeps the old parent";

    // Slots free up and are reused in order; moving announces the new parent.
    ASSERT_TRUE(m_pElement->SetParent(pOther.Get()));
    EXPECT_EQ(SentToBoth(), H("01 00 03 00 00 00  05 00 00 00"));
    EXPECT_TRUE(pNinth->SetParent(pParent.Get()));
    EXPECT_EQ(pParent->GetChildren()[0], pNinth.Get());
    EXPECT_TRUE(m_pElement->SetParent(nullptr));
    EXPECT_EQ(SentToBoth(), H("01 00 03 00 00 00  FF FF FF FF"));
    EXPECT_EQ(m_World.Take().size(), 0u) << "children that nobody has send nothing";
}

TEST_F(ElementFixture, NamesAndTheNameMap) {
    CNetObjectMgr& manager = *m_World.m_pManager;
    auto pOther = m_World.Add(ELEMENT_OBJECT, {});
    m_pElement->SetName("a");
    EXPECT_EQ(SentToBoth(), H("01 00 03 00 00 00  01 61"));
    pOther->SetName("a");
    EXPECT_EQ(manager.GetObjectFromName("a"), pOther.Get()) << "the latest holder";
    m_pElement->SetName("b");
    EXPECT_EQ(manager.GetObjectFromName("a"), nullptr) << "renaming the first holder frees the name for everyone";
    EXPECT_STREQ(pOther->GetName(), "a");
    m_World.Take();
    m_pElement->SetName(nullptr);
    EXPECT_EQ(SentToBoth(), H("01 00 03 00 00 00  00"));
    EXPECT_EQ(m_pElement->GetName(), nullptr);
    EXPECT_EQ(manager.GetObjectFromName("b"), nullptr);
    m_pElement->SetName("");
    ASSERT_NE(m_pElement->GetName(), nullptr) << "an empty name is still a name";
    EXPECT_EQ(manager.GetObjectFromName(""), m_pElement.Get());

    // An element dropped without ever being registered leaves no name behind.
    {
        auto pLocal = MakeTestElement(manager, ELEMENT_OBJECT);
        pLocal->SetName("local");
        EXPECT_EQ(manager.GetObjectFromName("local"), pLocal.Get());
    }
    EXPECT_EQ(manager.GetObjectFromName("local"), nullptr);
}

TEST_F(ElementFixture, DimensionAndDataChanges) {
    m_pElement->SetDimension(0);
    EXPECT_EQ(SentToBoth(), H("")) << "unchanged";
    m_pElement->SetDimension(3);
    EXPECT_EQ(SentToBoth(), H("01 00 03 00 00 00  03 00 00 00"));

    auto pValue = MakeStrong<CArgumentInteger>(8);
    ASSERT_TRUE(m_pElement->SetData("n", pValue.Get(), true));
    EXPECT_EQ(SentToBoth(), H("01 00 03 00 00 00  01 00 01 6E  04 08 00 00 00"));
    pValue->SetValue(9);
    EXPECT_EQ(static_cast<CArgumentInteger*>(m_pElement->GetData().Get("n"))->GetValue(), 8) << "stored as a copy";
    ASSERT_TRUE(m_pElement->SetData("quiet", pValue.Get(), false));
    EXPECT_EQ(SentToBoth(), H(""));
    auto pNull = MakeStrong<CArgument>();
    ASSERT_TRUE(m_pElement->SetData("n", pNull.Get(), true));
    EXPECT_EQ(SentToBoth(), H("01 00 03 00 00 00  01 00 01 6E  00"));
    EXPECT_EQ(m_pElement->GetData().Get("n"), nullptr);
    EXPECT_FALSE(m_pElement->RemoveData("n"));
    EXPECT_EQ(SentToBoth(), H("")) << "removing an absent key";
    EXPECT_TRUE(m_pElement->RemoveData("quiet"));
    EXPECT_EQ(SentToBoth(), H("01 00 03 00 00 00  01 00 05 71 75 69 65 74  00"));
    m_pElement->ClearData();
    EXPECT_EQ(SentToBoth(), H("01 00 03 00 00 00"));

    // Unregistered elements keep their changes to themselves.
    auto pLocal = MakeTestElement(*m_World.m_pManager, ELEMENT_OBJECT);
    pLocal->SetDimension(4);
    pLocal->SetName("x");
    pLocal->SetData("n", pValue.Get(), true);
    EXPECT_TRUE(m_World.Take().empty());
}

TEST_F(ElementFixture, SyncGoesOnlyWhereTheRulesAllow) {
    CNetMachine* pZero = m_World.Client(0);
    CNetMachine* pOne = m_World.Client(1);
    auto pParent = m_World.Add(ELEMENT_VEHICLE, {1.0f, 0.0f, 0.0f});
    ASSERT_EQ(m_pElement->GetSyncer(), pZero);
    EXPECT_FALSE(m_pElement->CanSendSync(pZero)) << "not back to the syncer";
    EXPECT_TRUE(m_pElement->CanSendSync(pOne));
    EXPECT_TRUE(m_pElement->CanSendSync());

    m_pElement->SetParent(pParent.Get());
    m_pElement->SetFlag(NETOBJECT_ONLY_SYNC_IF_DETACHED, true);
    EXPECT_TRUE(m_pElement->CanSendSync(pOne)) << "the parent is not on client 1 yet";
    EXPECT_FALSE(m_pElement->CanSendSync());
    m_World.m_pManager->SendCreatePacket(pOne, pParent.Get());
    EXPECT_FALSE(m_pElement->CanSendSync(pOne)) << "the parent is there";
    m_pElement->SetFlag(NETOBJECT_ONLY_SYNC_IF_DETACHED, false);
    EXPECT_TRUE(m_pElement->CanSendSync(pOne));

    for (uint16_t flag : {NETOBJECT_SEND_SYNC, NETOBJECT_NETWORKED}) {
        m_pElement->SetFlag(flag, false);
        EXPECT_FALSE(m_pElement->CanSendSync(pOne));
        EXPECT_FALSE(m_pElement->CanSendSync());
        m_pElement->SetFlag(flag, true);
    }
    m_pElement->SetSyncer(nullptr, false);
    EXPECT_FALSE(m_pElement->CanSendSync(pOne)) << "nobody's state to relay";
    EXPECT_TRUE(m_pElement->CanBeSyncer(pOne));
}

TEST_F(ElementFixture, TheBaseCreationRecordReadsBack) {
    CNetObjectMgr& manager = *m_World.m_pManager;
    auto pParent = m_World.Add(ELEMENT_VEHICLE, {});
    m_pElement->SetParent(pParent.Get());
    m_pElement->SetDimension(6);
    m_pElement->SetName("box");
    auto pFlag = MakeStrong<CArgumentBoolean>(true);
    m_pElement->SetData("flag", pFlag.Get(), false);
    auto pLink = Strong<CArgument>::Adopt(pParent->CreateArgument());
    m_pElement->SetData("link", pLink.Get(), false);

    auto pRecord = MakeStrong<CUnlimitedStream>();
    ASSERT_TRUE(m_pElement->CNetObject::WriteCreatePacket(pRecord.Get()));
    EXPECT_EQ(Hex(Bytes(pRecord->GetData(), pRecord->GetData() + pRecord->GetSize())),
              Hex(HexBytes("00 00 00 00  04 00 00 00  06 00 00 00  03 62 6F 78"
                           "02 00  04 66 6C 61 67 01 01  04 6C 69 6E 6B 06 04 00 00 00")));

    // Read into a fresh element: the syncer through its index, the parent as pending, element
    // values resolved through the manager.
    pRecord->Seek(0, SEEK_ORIGIN_BEGIN);
    auto pCopy = MakeTestElement(manager, ELEMENT_OBJECT);
    ASSERT_TRUE(pCopy->ReadCreatePacket(pRecord.Get()));
    EXPECT_EQ(pCopy->GetSyncer(), m_World.Client(0));
    EXPECT_EQ(pCopy->GetPendingParentId(), pParent->GetNetworkId());
    EXPECT_EQ(pCopy->GetDimension(), 6);
    EXPECT_STREQ(pCopy->GetName(), "box");
    ASSERT_NE(pCopy->GetData().Get("link"), nullptr);
    EXPECT_EQ(pCopy->GetData().Get("link")->ToObject(), pParent.Get());
    EXPECT_TRUE(pCopy->GetData().Get("flag")->ToBoolean());
    ASSERT_TRUE(manager.RegisterNetObject(pCopy.Get()));
    EXPECT_EQ(pCopy->GetParent(), pParent.Get());

    // Cut records change nothing.
    auto pCut = MakeStrong<CMemoryStream>(static_cast<const void*>(pRecord->GetData()), pRecord->GetSize() - 1);
    auto pUntouched = MakeTestElement(manager, ELEMENT_OBJECT);
    EXPECT_FALSE(pUntouched->ReadCreatePacket(pCut.Get()));
    EXPECT_EQ(pUntouched->GetName(), nullptr);
    EXPECT_EQ(pUntouched->GetSyncer(), nullptr);
}
