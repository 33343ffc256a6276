// The element manager against a recording transport: registration, streaming by distance and
// dimension, syncer choice, sync relay, deletions, client messages and departures. Streaming tests run
// twice: as the host's streaming tick (through the spatial index) and as single-client passes that
// walk the table, which must behave alike.
#include "ReplicationFixture.h"

#include "Engine/UnlimitedStream.h"

#include <algorithm>
#include <cstring>
#include <random>

using namespace Tessera3D;

namespace {

using Sends = std::vector<CRecordingTransport::Send>;

// Runs one streaming tick either way: true through ProcessStreaming, false client by client.
void StreamingPass(CReplicationWorld& world, bool tick) {
    if (tick) {
        world.m_pManager->ProcessStreaming();
        return;
    }
    for (int index = 0; index < 255; ++index)
        if (CNetMachine* pClient = world.Client(index); pClient && pClient->m_bInGame) world.m_pManager->ManageElements(pClient);
    world.m_pManager->FindSyncers();
}

// A client's sync message with one record per (element, position).
Bytes SyncMessage(const std::vector<std::pair<const CNetObject*, CVector3D>>& records) {
    CElementSync message;
    for (const auto& [pElement, position] : records) {
        CElementRecord record;
        record.m_Type = pElement->GetType();
        record.m_Id = pElement->GetNetworkId();
        auto pPayload = MakeStrong<CUnlimitedStream>();
        CBinaryWriter writer(pPayload.Get());
        writer.WriteFloat(position.x);
        writer.WriteFloat(position.y);
        writer.WriteFloat(position.z);
        record.m_Payload.assign(pPayload->GetData(), pPayload->GetData() + pPayload->GetSize());
        message.m_Records.push_back(record);
    }
    Bytes bytes = EncodeMessage(message);
    return Bytes(bytes.begin() + PACKET_HEADER_SIZE, bytes.end());
}

// The records of the sync messages a client received, by element id.
std::vector<CElementRecord> SyncRecordsFor(const CReplicationWorld& world, const Sends& sends, int client) {
    std::vector<CElementRecord> records;
    for (const auto& send : sends) {
        if (send.m_Id != PACKET_ELEMENT_SYNC || world.IndexOf(send.m_pPeer) != client) continue;
        CElementSync message;
        EXPECT_TRUE(DecodePayload(send.Payload(), message));
        records.insert(records.end(), message.m_Records.begin(), message.m_Records.end());
    }
    return records;
}

const CElementRecord* FindRecord(const std::vector<CElementRecord>& records, int32_t id) {
    for (const auto& record : records)
        if (record.m_Id == id) return &record;
    return nullptr;
}

class StreamingTest : public ::testing::TestWithParam<bool> {
protected:
    void Pass(CReplicationWorld& world) { StreamingPass(world, GetParam()); }
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Registration

TEST(NetObjectMgrTest, RegistrationGivesIdsSlotsAndAFullTableRefuses) {
    CReplicationWorld world(0);
    CNetObjectMgr& manager = *world.m_pManager;
    auto a = world.Add(ELEMENT_OBJECT, {});
    auto b = world.Add(ELEMENT_OBJECT, {});
    EXPECT_EQ(a->GetNetworkId(), 1);
    EXPECT_EQ(b->GetNetworkId(), 2);
    EXPECT_EQ(a->GetSlot(), 0u);
    EXPECT_EQ(manager.GetObjectFromId(2), b.Get());
    EXPECT_EQ(manager.GetObjectFromId(-1), nullptr);
    EXPECT_EQ(a->GetRefCount(), 2) << "the table holds one reference";
    EXPECT_TRUE(manager.RegisterNetObject(a.Get())) << "registering twice is a no-op";
    EXPECT_EQ(manager.GetCount(), 2u);

    // A freed slot is taken again first; ids move on. Weak references to a destroyed element empty
    // even while something still holds it.
    Tessera3D::Weak<CNetObject> watcher(a.Get());
    ASSERT_TRUE(manager.DestroyObject(a.Get(), true, false));
    EXPECT_EQ(watcher.Get(), nullptr);
    auto c = world.Add(ELEMENT_OBJECT, {});
    EXPECT_EQ(c->GetSlot(), 0u);
    EXPECT_EQ(c->GetNetworkId(), 3);
    EXPECT_FALSE(manager.RegisterNetObject(a.Get())) << "a destroyed element stays out";
    EXPECT_EQ(a->GetNetworkId(), INVALID_NETWORK_ID);
    EXPECT_EQ(a->GetRefCount(), 1);

    std::vector<Strong<CTestElement>> filler;
    while (manager.GetCount() < CNetObjectMgr::MAX_ELEMENTS) filler.push_back(world.Add(ELEMENT_DUMMY, {}));
    auto extra = MakeTestElement(manager, ELEMENT_DUMMY);
    EXPECT_FALSE(manager.RegisterNetObject(extra.Get()));
    EXPECT_FALSE(extra->IsRegistered());
    EXPECT_EQ(extra->GetNetworkId(), INVALID_NETWORK_ID);

    // Once the table is empty the ids start again at 1.
    for (auto& element : filler) manager.DestroyObject(element.Get(), true, false);
    manager.DestroyObject(b.Get(), true, false);
    manager.DestroyObject(c.Get(), true, false);
    EXPECT_EQ(manager.GetCount(), 0u);
    EXPECT_TRUE(manager.RegisterNetObject(extra.Get()));
    EXPECT_EQ(extra->GetNetworkId(), 1);
}

TEST(NetObjectMgrTest, IdsWrapWithinTheirRangeAndSkipTakenOnes) {
    CReplicationWorld world(0);
    CNetObjectMgr& manager = *world.m_pManager;
    // Ids 1..3 stay taken while the counter walks to the top of the range.
    std::vector<Strong<CTestElement>> low = {world.Add(ELEMENT_DUMMY, {}), world.Add(ELEMENT_DUMMY, {}), world.Add(ELEMENT_DUMMY, {})};
    for (int32_t id = 4; id <= CNetObjectMgr::MAX_NETWORK_ID; ++id) {
        auto element = world.Add(ELEMENT_DUMMY, {});
        ASSERT_EQ(element->GetNetworkId(), id);
        manager.DestroyObject(element.Get(), true, false);
    }
    auto wrapped = world.Add(ELEMENT_DUMMY, {});
    EXPECT_EQ(wrapped->GetNetworkId(), 4) << "past 32767 the counter starts at 1 and skips ids in use";
}

TEST(NetObjectMgrTest, WithoutATransportElementsRegisterWithoutAnId) {
    CNetMachines machines(nullptr);
    CNetObjectMgr manager(&machines);
    auto element = MakeTestElement(manager, ELEMENT_OBJECT);
    ASSERT_TRUE(manager.RegisterNetObject(element.Get()));
    EXPECT_TRUE(element->IsRegistered());
    EXPECT_EQ(element->GetNetworkId(), INVALID_NETWORK_ID);
    EXPECT_EQ(machines.GetRegistry(), &manager);
}

TEST(NetObjectMgrTest, PendingParentsResolveInBothDirections) {
    CReplicationWorld world(0);
    CNetObjectMgr& manager = *world.m_pManager;
    // A child registered before its parent waits for the parent's id...
    auto child = MakeTestElement(manager, ELEMENT_OBJECT);
    child->SetPendingParentId(2);
    ASSERT_TRUE(manager.RegisterNetObject(child.Get()));
    EXPECT_EQ(child->GetParent(), nullptr);
    auto parent = world.Add(ELEMENT_VEHICLE, {});
    ASSERT_EQ(parent->GetNetworkId(), 2);
    EXPECT_EQ(child->GetParent(), parent.Get());
    EXPECT_EQ(child->GetPendingParentId(), INVALID_NETWORK_ID) << "a resolved parent id is not reused";

    // ...and one registered after its parent finds it at once.
    auto late = MakeTestElement(manager, ELEMENT_OBJECT);
    late->SetPendingParentId(2);
    ASSERT_TRUE(manager.RegisterNetObject(late.Get()));
    EXPECT_EQ(late->GetParent(), parent.Get());
    EXPECT_EQ(parent->GetChildren()[0], child.Get());
    EXPECT_EQ(parent->GetChildren()[1], late.Get());

    // After the parent goes, a new element with a recycled id adopts nobody.
    manager.DestroyObject(parent.Get(), true, false);
    EXPECT_FALSE(child->IsRegistered()) << "children go with their parent";
}

// ---------------------------------------------------------------------------------------------
// Streaming

TEST_P(StreamingTest, DistancesGiveHysteresis) {
    CReplicationWorld world(1);
    auto element = world.Add(ELEMENT_OBJECT, {100.0f, 0.0f, 0.0f});
    const int32_t id = element->GetNetworkId();
    Pass(world);
    world.Take();

    struct Step {
        float m_X;
        bool m_bCreated;
        int m_Message; // +1 created now, -1 deleted now, 0 nothing about it
    } steps[] = {
        {100.0f, false, 0}, // not strictly below the stream-in distance
        {99.9f, true, +1},  {150.0f, true, 0}, {200.0f, true, 0}, // kept up to the stream-out distance
        {200.5f, false, -1}, {150.0f, false, 0},                   // between the two: stays away
        {0.0f, true, +1},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE("x = " + std::to_string(step.m_X));
        element->m_Position.x = step.m_X;
        Pass(world);
        const Sends sends = world.Take();
        EXPECT_EQ(element->IsCreatedFor(0), step.m_bCreated);
        const auto created = world.CreatedIds(sends, 0), deleted = world.DeletedIds(sends, 0);
        EXPECT_EQ(std::count(created.begin(), created.end(), id), step.m_Message > 0 ? 1 : 0);
        EXPECT_EQ(std::count(deleted.begin(), deleted.end(), id), step.m_Message < 0 ? 1 : 0);
    }
}

TEST_P(StreamingTest, OnlyTheClientsDimensionAndParentsDecide) {
    CReplicationWorld world(2);
    world.Player(1)->SetDimension(1);
    auto inOne = world.Add(ELEMENT_OBJECT, {10.0f, 0.0f, 0.0f});
    inOne->SetDimension(1);
    auto everywhere = world.Add(ELEMENT_OBJECT, {10.0f, 0.0f, 0.0f});
    everywhere->SetDimension(5);
    everywhere->SetFlag(NETOBJECT_ON_ALL_DIMENSIONS, true);
    // A child counts in its parent's dimension, whatever its own.
    auto child = world.Add(ELEMENT_OBJECT, {10.0f, 0.0f, 0.0f});
    child->SetParent(inOne.Get());
    Pass(world);
    EXPECT_FALSE(inOne->IsCreatedFor(0));
    EXPECT_TRUE(inOne->IsCreatedFor(1));
    EXPECT_FALSE(child->IsCreatedFor(0));
    EXPECT_TRUE(child->IsCreatedFor(1));
    EXPECT_TRUE(everywhere->IsCreatedFor(0));
    EXPECT_TRUE(everywhere->IsCreatedFor(1));
    EXPECT_FALSE(world.Player(1)->IsCreatedFor(0)) << "players are elements like any other";

    // Moving client 1 to dimension 0 swaps what it has at the next pass.
    world.Player(1)->SetDimension(0);
    world.Take();
    Pass(world);
    EXPECT_FALSE(inOne->IsCreatedFor(1));
    EXPECT_FALSE(child->IsCreatedFor(1));
    EXPECT_TRUE(everywhere->IsCreatedFor(1));
    EXPECT_TRUE(world.Player(0)->IsCreatedFor(1));
    const auto deleted = world.DeletedIds(world.Take(), 1);
    EXPECT_EQ(deleted, (std::vector<int32_t>{inOne->GetNetworkId(), child->GetNetworkId()}));
}

TEST_P(StreamingTest, ClientsWithoutPlayerStreamingOrGame) {
    CReplicationWorld world(3);
    auto near = world.Add(ELEMENT_OBJECT, {1.0f, 0.0f, 0.0f});
    auto nearAll = world.Add(ELEMENT_OBJECT, {1.0f, 0.0f, 0.0f});
    nearAll->SetFlag(NETOBJECT_ON_ALL_DIMENSIONS, true);
    auto anywhere = world.Add(ELEMENT_OBJECT, {5000.0f, 0.0f, 0.0f});
    anywhere->SetFlag(NETOBJECT_DISTANCE_STREAMING, false);
    Pass(world);
    for (int client = 0; client < 3; ++client)
        ASSERT_EQ(world.HasIds(client).size(), 6u) << "three players and the three elements";

    // Client 0 loses its player: it is in no dimension and has no distance, so it keeps only what
    // ignores dimensions and gets nothing new. Client 1 switches element streaming off and walks
    // away: deletions still reach it. Client 2 stays.
    world.Client(0)->SetPlayer(nullptr);
    world.Client(1)->m_bElementStreaming = false;
    world.Player(1)->m_Position.x = 1000.0f;
    auto later = world.Add(ELEMENT_OBJECT, {1.0f, 0.0f, 0.0f});
    auto laterAnywhere = world.Add(ELEMENT_DUMMY, {9000.0f, 0.0f, 0.0f});
    laterAnywhere->SetFlag(NETOBJECT_DISTANCE_STREAMING, false);
    Pass(world);
    EXPECT_FALSE(near->IsCreatedFor(0));
    EXPECT_TRUE(nearAll->IsCreatedFor(0));
    EXPECT_FALSE(anywhere->IsCreatedFor(0));
    EXPECT_FALSE(later->IsCreatedFor(0));
    EXPECT_FALSE(laterAnywhere->IsCreatedFor(0));
    EXPECT_FALSE(near->IsCreatedFor(1));
    EXPECT_FALSE(nearAll->IsCreatedFor(1));
    EXPECT_TRUE(anywhere->IsCreatedFor(1));
    EXPECT_FALSE(later->IsCreatedFor(1));
    EXPECT_FALSE(laterAnywhere->IsCreatedFor(1));
    EXPECT_TRUE(later->IsCreatedFor(2));
    EXPECT_TRUE(laterAnywhere->IsCreatedFor(2));

    world.Client(2)->m_bInGame = false;
    auto last = world.Add(ELEMENT_OBJECT, {1.0f, 0.0f, 0.0f});
    Pass(world);
    EXPECT_FALSE(last->IsCreatedFor(2)) << "nothing for a client not in game";
}

TEST_P(StreamingTest, VehiclesArriveBeforeThePedsInside) {
    CReplicationWorld world(1);
    Pass(world);
    world.Take();
    auto ped = world.Add(ELEMENT_PED, {5.0f, 0.0f, 0.0f});
    auto vehicle = world.Add(ELEMENT_VEHICLE, {5.0f, 0.0f, 0.0f});
    auto train = world.Add(ELEMENT_TRAIN, {5.0f, 0.0f, 0.0f});
    Pass(world);
    const Sends sends = world.Take();
    std::vector<std::vector<int32_t>> messages;
    for (const auto& send : sends)
        if (send.m_Id == PACKET_ELEMENT_CREATE) messages.push_back(world.CreatedIds({send}, 0));
    EXPECT_EQ(messages, (std::vector<std::vector<int32_t>>{{vehicle->GetNetworkId(), train->GetNetworkId()}, {ped->GetNetworkId()}}));
}

TEST_P(StreamingTest, CreationRecordsCarryTheWholeElementAndThePlayerIsToldItsId) {
    CReplicationWorld world(1);
    auto element = world.Add(ELEMENT_OBJECT, {3.0f, 4.0f, 0.0f});
    element->SetName("crate");
    element->SetDimension(0);
    Pass(world);
    const Sends sends = world.Take();
    ASSERT_GE(sends.size(), 2u);
    EXPECT_EQ(sends[0].m_Id, static_cast<uint32_t>(PACKET_ELEMENT_CREATE));
    EXPECT_EQ(sends[0].m_Priority, PACKET_PRIORITY_LOW);
    EXPECT_EQ(sends[0].m_Flags, static_cast<uint32_t>(PACKET_FLAGS_RELIABLE));
    EXPECT_EQ(sends[0].m_Channel, 0);
    // Player (id 1) first, then the crate; the crate's syncer is the first client to get it.
    EXPECT_EQ(Hex(sends[0].Payload()),
              Hex(HexBytes("02 00"                                     // two records
                           "2E 00  5E 00 00 00  01 00 00 00"           // size 46, player type 94, id 1
                           "00 00 00 00  FF FF FF FF  00 00 00 00"     // syncer 0, no parent, dimension 0
                           "07 43 6C 69 65 6E 74 30  00 00"            // name "Client0", no data
                           "07 00 00 00"                               // model
                           "00 00 00 00 00 00 00 00 00 00 00 00"       // position
                           "2C 00  0E 02 00 00  02 00 00 00"           // size 44, object type 526, id 2
                           "00 00 00 00  FF FF FF FF  00 00 00 00"     // syncer 0
                           "05 63 72 61 74 65  00 00  07 00 00 00"     // "crate", no data, model
                           "00 00 40 40 00 00 80 40 00 00 00 00")));   // 3, 4, 0
    EXPECT_EQ(sends[1].m_Id, static_cast<uint32_t>(PACKET_LOCAL_PLAYER));
    EXPECT_EQ(Hex(sends[1].Payload()), "01 00 00 00");
    EXPECT_EQ(element->GetSyncer(), world.Client(0));
}

TEST_P(StreamingTest, TransientElementsGoWithTheirLastClient) {
    CReplicationWorld world(2);
    world.Player(1)->m_Position.x = 1000.0f;
    auto element = world.Add(ELEMENT_PED, {10.0f, 0.0f, 0.0f});
    element->SetFlag(NETOBJECT_TRANSIENT, true);
    Pass(world);
    ASSERT_TRUE(element->IsCreatedFor(0));
    world.Take();
    const int32_t id = element->GetNetworkId();
    element->m_Position.x = 500.0f;
    Pass(world);
    EXPECT_FALSE(element->IsRegistered());
    const Sends sends = world.Take();
    EXPECT_TRUE(world.DeletedIds(sends, 0).empty()) << "the destruction broadcast replaces the listing";
    ASSERT_FALSE(sends.empty());
    EXPECT_EQ(sends[0].m_pPeer, nullptr);
    EXPECT_EQ(Hex(sends[0].m_Bytes), Hex(Concat({HeaderFor(PACKET_ELEMENT_DELETE), HexBytes("01 00"), {static_cast<uint8_t>(id), 0, 0, 0}})));
}

TEST_P(StreamingTest, StreamEventsCanKeepElementsOffOrOn) {
    CReplicationWorld world(1);
    auto element = world.Add(ELEMENT_OBJECT, {10.0f, 0.0f, 0.0f});
    world.m_Events.m_Cancel = {NETOBJECT_EVENT_STREAM_IN};
    Pass(world);
    Pass(world);
    EXPECT_FALSE(element->IsCreatedFor(0));
    const auto raised = std::count(world.m_Events.m_Raised.begin(), world.m_Events.m_Raised.end(),
                                   std::make_pair(NETOBJECT_EVENT_STREAM_IN, element->GetNetworkId()));
    EXPECT_EQ(raised, 2) << "asked again at every pass";

    world.m_Events.m_Cancel = {NETOBJECT_EVENT_STREAM_OUT};
    Pass(world);
    ASSERT_TRUE(element->IsCreatedFor(0));
    element->m_Position.x = 900.0f;
    Pass(world);
    EXPECT_TRUE(element->IsCreatedFor(0)) << "a cancelled stream-out keeps it";
    world.m_Events.m_Cancel.clear();
    Pass(world);
    EXPECT_FALSE(element->IsCreatedFor(0));
}

TEST_P(StreamingTest, ExistsForAndDefaultExistanceHideElements) {
    CReplicationWorld world(2);
    auto hidden = world.Add(ELEMENT_OBJECT, {10.0f, 0.0f, 0.0f});
    Pass(world);
    ASSERT_TRUE(hidden->IsCreatedFor(1));
    hidden->SetExistsFor(1, false);
    Pass(world);
    EXPECT_TRUE(hidden->IsCreatedFor(0));
    EXPECT_FALSE(hidden->IsCreatedFor(1));
    hidden->SetFlag(NETOBJECT_DEFAULT_EXISTANCE, false);
    Pass(world);
    EXPECT_FALSE(hidden->IsCreatedFor(0));
    hidden->SetFlag(NETOBJECT_DEFAULT_EXISTANCE, true);
    hidden->ClearExistsFor();
    Pass(world);
    EXPECT_TRUE(hidden->IsCreatedFor(0));
    EXPECT_TRUE(hidden->IsCreatedFor(1));
}

TEST_P(StreamingTest, TheSyncerIsChosenAndHandedOnWhenItLeaves) {
    CReplicationWorld world(3);
    world.Player(0)->m_Position.x = 1000.0f; // client 0 is far away
    auto element = world.Add(ELEMENT_VEHICLE, {10.0f, 0.0f, 0.0f});
    Pass(world);
    ASSERT_EQ(element->GetSyncer(), world.Client(1)) << "the first client that gets it";
    EXPECT_EQ(element->GetFirstCreatedFor(), 1);
    world.Take();

    world.m_pManager->OnMachineLeft(world.Client(1));
    EXPECT_EQ(element->GetSyncer(), nullptr);
    EXPECT_EQ(element->GetFirstCreatedFor(), 2);
    Sends sends = world.Take();
    // Client 2 hears that the syncer went; the departing client is not told.
    CElementSyncer cleared;
    cleared.m_Id = element->GetNetworkId();
    int toTwo = 0;
    for (const auto& send : sends) {
        if (send.m_Id != PACKET_ELEMENT_SYNCER) continue;
        EXPECT_NE(world.IndexOf(send.m_pPeer), 1);
        toTwo += world.IndexOf(send.m_pPeer) == 2 && Hex(send.m_Bytes) == Hex(EncodeMessage(cleared));
    }
    EXPECT_EQ(toTwo, 1);
    world.m_Machines.Release(1);

    Pass(world);
    EXPECT_EQ(element->GetSyncer(), world.Client(2)) << "the next client that has it";

    // A forced syncer is left alone; without findSyncer nobody is chosen after the first.
    element->SetSyncer(nullptr, false);
    element->SetFlag(NETOBJECT_FIND_SYNCER, false);
    Pass(world);
    EXPECT_EQ(element->GetSyncer(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(TickAndSinglePasses, StreamingTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Tick" : "SinglePasses"; });

// The spatial index only narrows the search: random worlds give the same messages either way.
TEST(NetObjectMgrTest, TheStreamingTickSendsWhatSinglePassesSend) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        CReplicationWorld tick(0, false), single(0, false);
        std::mt19937 random(seed);
        auto coordinate = [&](float range) { return std::uniform_real_distribution<float>(-range, range)(random); };
        const int clients = 12;
        for (int i = 0; i < clients; ++i) {
            const CVector3D position{coordinate(600), coordinate(600), coordinate(20)};
            tick.AddClient(i, position);
            single.AddClient(i, position);
        }
        const int32_t types[] = {ELEMENT_PED, ELEMENT_VEHICLE, ELEMENT_OBJECT, ELEMENT_BLIP, ELEMENT_TRAIN};
        for (int i = 0; i < 400; ++i) {
            const int32_t type = types[random() % 5];
            const CVector3D position{coordinate(700), coordinate(700), coordinate(50)};
            const int32_t dimension = static_cast<int32_t>(random() % 3) == 0 ? 1 : 0;
            const uint32_t flags = random();
            const float reach = (random() % 10 == 0) ? 5000.0f : 20.0f + coordinate(150) * coordinate(1);
            const size_t parentSlot = random() % 20;
            for (CReplicationWorld* pWorld : {&tick, &single}) {
                auto element = pWorld->Add(type, position);
                element->SetDimension(dimension);
                element->SetFlag(NETOBJECT_ON_ALL_DIMENSIONS, flags % 7 == 0);
                element->SetFlag(NETOBJECT_DISTANCE_STREAMING, flags % 11 != 0);
                element->SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, flags % 5 == 0);
                element->SetStreamInDistance(reach);
                element->SetStreamOutDistance(reach * 2.0f);
                if (i % 9 == 0) element->SetParent(pWorld->m_pManager->GetObjectInSlot(parentSlot));
            }
        }
        size_t creations = 0, deletions = 0;
        for (int round = 0; round < 5; ++round) {
            tick.m_pManager->ProcessStreaming();
            StreamingPass(single, false);
            const Sends a = tick.Take(), b = single.Take();
            for (int client = 0; client < clients; ++client) {
                creations += tick.CreatedIds(a, client).size();
                deletions += tick.DeletedIds(a, client).size();
            }
            ASSERT_EQ(a.size(), b.size()) << "round " << round;
            for (size_t i = 0; i < a.size(); ++i) {
                EXPECT_EQ(tick.IndexOf(a[i].m_pPeer), single.IndexOf(b[i].m_pPeer));
                EXPECT_EQ(Hex(a[i].m_Bytes), Hex(b[i].m_Bytes)) << "send " << i << " of round " << round;
            }
            // Everyone moves, some far.
            const uint32_t moveSeed = random();
            for (CReplicationWorld* pWorld : {&tick, &single}) {
                std::mt19937 move(moveSeed);
                pWorld->m_pManager->ForEach([&](CNetObject& element) {
                    auto& moved = static_cast<CTestElement&>(element);
                    moved.m_Position.x += std::uniform_real_distribution<float>(-120, 120)(move);
                    moved.m_Position.y += std::uniform_real_distribution<float>(-120, 120)(move);
                    if (move() % 40 == 0) moved.SetDimension(moved.GetDimension() ^ 1);
                });
            }
        }
        EXPECT_GT(creations, 200u);
        EXPECT_GT(deletions, 20u);
    }
}

// ---------------------------------------------------------------------------------------------
// Sync

TEST(NetObjectMgrTest, ASyncersRecordReachesEveryOtherClientByteForByte) {
    CReplicationWorld world(3);
    CSyncDelivery delivery;
    delivery.m_Priority = PACKET_PRIORITY_HIGH;
    delivery.m_Flags = PACKET_FLAGS_UNSEQUENCED;
    world.m_pManager->SetSyncDelivery(delivery);
    auto element = world.Add(ELEMENT_VEHICLE, {10.0f, 0.0f, 0.0f});
    world.m_pManager->ProcessStreaming();
    ASSERT_EQ(element->GetSyncer(), world.Client(0));
    world.Take();

    const Bytes message = SyncMessage({{element.Get(), {11.0f, 12.0f, 13.0f}}});
    ASSERT_TRUE(world.m_pManager->ProcessPacket(world.Client(0), PACKET_ELEMENT_SYNC, PayloadStream(message).Get()));
    EXPECT_EQ(element->m_Position, CVector3D(11.0f, 12.0f, 13.0f));
    EXPECT_TRUE(world.Take().empty()) << "interval: nothing answers the message itself";

    element->m_SyncsWritten = 0;
    world.m_pManager->ProcessSyncInterval();
    const Sends sends = world.Take();
    // The record the syncer sent: size, then type, id and the payload.
    const Bytes sent(message.begin() + 4, message.end());
    for (int client = 0; client < 3; ++client) {
        SCOPED_TRACE("client " + std::to_string(client));
        const auto records = SyncRecordsFor(world, sends, client);
        const CElementRecord* pRecord = FindRecord(records, element->GetNetworkId());
        if (client == 0) {
            EXPECT_EQ(pRecord, nullptr) << "never back to the syncer";
            continue;
        }
        ASSERT_NE(pRecord, nullptr);
        CElementSync one;
        one.m_Records.push_back(*pRecord);
        const Bytes relayed = EncodeMessage(one);
        EXPECT_EQ(Hex(Bytes(relayed.begin() + PACKET_HEADER_SIZE + 4, relayed.end())), Hex(sent));
    }
    EXPECT_EQ(element->m_SyncsWritten, 1) << "one record for every recipient";
    for (const auto& send : sends) {
        EXPECT_EQ(send.m_Id, static_cast<uint32_t>(PACKET_ELEMENT_SYNC));
        EXPECT_EQ(send.m_Channel, 1);
        EXPECT_EQ(send.m_Priority, PACKET_PRIORITY_HIGH);
        EXPECT_EQ(send.m_Flags, static_cast<uint32_t>(PACKET_FLAGS_UNSEQUENCED));
    }
}

TEST(NetObjectMgrTest, SyncMethodsDecideWhenStatesGoOut) {
    struct Case {
        eNetSyncMethod m_Method;
        bool m_bAnswered; // the sender gets sync right after its message
        bool m_bRounds;   // the interval sends rounds
    } cases[] = {{NET_SYNC_NONE, false, false}, {NET_SYNC_INTERVAL, false, true}, {NET_SYNC_REPLAY, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE("method " + std::to_string(c.m_Method));
        CReplicationWorld world(2);
        CSyncDelivery delivery;
        delivery.m_Method = c.m_Method;
        world.m_pManager->SetSyncDelivery(delivery);
        world.m_pManager->ProcessStreaming();
        world.Take();
        // Client 0 reports its own player; it has client 1's player, which it does not sync.
        const Bytes message = SyncMessage({{world.Player(0), {1.0f, 2.0f, 3.0f}}});
        world.m_pManager->ProcessPacket(world.Client(0), PACKET_ELEMENT_SYNC, PayloadStream(message).Get());
        Sends answer = world.Take();
        ASSERT_EQ(answer.size(), c.m_bAnswered ? 1u : 0u);
        if (c.m_bAnswered) {
            EXPECT_EQ(world.IndexOf(answer[0].m_pPeer), 0);
            const auto records = SyncRecordsFor(world, answer, 0);
            ASSERT_EQ(records.size(), 1u);
            EXPECT_EQ(records[0].m_Id, world.Player(1)->GetNetworkId());
        }
        world.m_pManager->ProcessSyncInterval();
        EXPECT_EQ(world.Take().size(), c.m_bRounds ? 2u : 0u);
    }
}

TEST(NetObjectMgrTest, SyncFromClientsSkipsStaleRecordsAndStopsAtBrokenOnes) {
    CReplicationWorld world(1);
    auto a = world.Add(ELEMENT_OBJECT, {});
    auto b = world.Add(ELEMENT_OBJECT, {});
    struct Case {
        std::string m_Name;
        Bytes m_Payload;
        int m_ReadA, m_ReadB;
    };
    auto record = [](int32_t id, float x) {
        CElementSync message;
        CElementRecord r;
        r.m_Type = ELEMENT_OBJECT;
        r.m_Id = id;
        Bytes payload(12, 0);
        memcpy(payload.data(), &x, 4);
        r.m_Payload = payload;
        message.m_Records.push_back(r);
        Bytes bytes = EncodeMessage(message);
        return Bytes(bytes.begin() + PACKET_HEADER_SIZE + 2, bytes.end()); // without the count
    };
    const int32_t idA = a->GetNetworkId(), idB = b->GetNetworkId();
    const Bytes wholeA = record(idA, 1);
    const Case cases[] = {
        {"unknown id skipped", Concat({HexBytes("03 00"), record(999, 1), record(-5, 1), record(idB, 1)}), 0, 1},
        {"short record ends", Concat({HexBytes("02 00"), HexBytes("07 00 0E 02 00 00 01 00 00"), record(idB, 1)}), 0, 0},
        {"over-long payload is skipped whole",
         Concat({HexBytes("02 00 18 00 0E 02 00 00"), {static_cast<uint8_t>(idA), 0, 0, 0}, Bytes(16, 0), record(idB, 1)}), 1, 1},
        {"cut record is handed what arrived", Concat({HexBytes("01 00"), Bytes(wholeA.begin(), wholeA.end() - 4)}), 0, 0},
        {"count larger than the records", Concat({HexBytes("05 00"), record(idA, 1)}), 1, 0},
        {"empty", {}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_Name);
        a->m_SyncsRead = b->m_SyncsRead = 0;
        world.m_pManager->HandleElementSync(world.Client(0), PayloadStream(c.m_Payload).Get());
        EXPECT_EQ(a->m_SyncsRead, c.m_ReadA);
        EXPECT_EQ(b->m_SyncsRead, c.m_ReadB);
    }
}

// ---------------------------------------------------------------------------------------------
// Destruction, client messages, departures

TEST(NetObjectMgrTest, DestructionBroadcastsAndCleansUp) {
    CReplicationWorld world(1);
    CNetObjectMgr& manager = *world.m_pManager;
    auto parent = world.Add(ELEMENT_VEHICLE, {1.0f, 0.0f, 0.0f});
    auto child = world.Add(ELEMENT_PED, {1.0f, 0.0f, 0.0f});
    ASSERT_TRUE(child->SetParent(parent.Get()));
    parent->SetName("car");
    auto value = MakeStrong<CArgumentInteger>(5);
    parent->SetData("fuel", value.Get(), false);
    manager.ProcessStreaming();
    world.Take();
    const int32_t parentId = parent->GetNetworkId(), childId = child->GetNetworkId();

    ASSERT_TRUE(manager.DestroyObject(parent.Get(), true, false));
    const Sends sends = world.Take();
    std::vector<std::string> broadcasts;
    for (const auto& send : sends) {
        EXPECT_EQ(send.m_pPeer, nullptr) << "only the broadcasts: the client lost both before anything else";
        EXPECT_EQ(send.m_Flags, static_cast<uint32_t>(PACKET_FLAGS_RELIABLE | PACKET_FLAGS_EVERYONE));
        broadcasts.push_back(Hex(send.m_Bytes));
    }
    auto deleteOf = [](int32_t id) {
        CElementDelete message;
        message.m_Ids = {id};
        return Hex(EncodeMessage(message));
    };
    EXPECT_EQ(broadcasts, (std::vector<std::string>{deleteOf(parentId), deleteOf(childId)}));
    EXPECT_FALSE(child->IsRegistered()) << "children go with the parent";
    EXPECT_EQ(child->GetParent(), nullptr);
    EXPECT_EQ(parent->GetChildren()[0], nullptr);
    EXPECT_EQ(manager.GetObjectFromId(parentId), nullptr);
    EXPECT_EQ(manager.GetObjectFromName("car"), nullptr);
    EXPECT_TRUE(parent->GetData().IsEmpty());
    EXPECT_FALSE(parent->IsCreatedFor(0));
    EXPECT_TRUE(parent->ExistsFor(0));
    EXPECT_EQ(world.m_Events.m_Removed, (std::vector<CNetObject*>{parent.Get(), child.Get()}));
    EXPECT_TRUE(manager.GetCreatedSet(0).Test(world.Player(0)->GetSlot()));
    EXPECT_EQ(manager.GetCreatedSet(0).Count(), 1u) << "only the player is left on the client";
    EXPECT_FALSE(manager.DestroyObject(parent.Get(), true, false)) << "once only";
}

TEST(NetObjectMgrTest, OnlyUnregisteredElementsSurviveACancelledDestroyEvent) {
    CReplicationWorld world(0);
    world.m_Events.m_Cancel = {NETOBJECT_EVENT_DESTROY};
    auto local = MakeTestElement(*world.m_pManager, ELEMENT_OBJECT);
    EXPECT_FALSE(world.m_pManager->DestroyObject(local.Get(), true, false));
    EXPECT_FALSE(local->HasFlag(NETOBJECT_DELETING));
    EXPECT_TRUE(world.m_pManager->DestroyObject(local.Get(), true, true)) << "forced";
    auto registered = world.Add(ELEMENT_OBJECT, {});
    EXPECT_TRUE(world.m_pManager->DestroyObject(registered.Get(), true, false));
    EXPECT_FALSE(registered->IsRegistered());
}

TEST(NetObjectMgrTest, ClientDeletionsAndSyncerRequests) {
    CReplicationWorld world(2);
    CNetObjectMgr& manager = *world.m_pManager;
    auto kept = world.Add(ELEMENT_OBJECT, {5.0f, 0.0f, 0.0f});
    auto owned = world.Add(ELEMENT_PED, {5.0f, 0.0f, 0.0f});
    owned->SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
    manager.ProcessStreaming();
    ASSERT_EQ(kept->GetSyncer(), world.Client(0));
    world.Take();

    // Client 1 asks to sync: granted unless the syncer is forced or the element refuses.
    CRequestSyncer request;
    request.m_Id = kept->GetNetworkId();
    Bytes payload = EncodeMessage(request);
    payload.erase(payload.begin(), payload.begin() + PACKET_HEADER_SIZE);
    ASSERT_TRUE(manager.ProcessPacket(world.Client(1), PACKET_REQUEST_SYNCER, PayloadStream(payload).Get()));
    EXPECT_EQ(kept->GetSyncer(), world.Client(1));
    CElementSyncer announced;
    announced.m_Id = kept->GetNetworkId();
    announced.m_Syncer = 1;
    const Sends sends = world.Take();
    ASSERT_EQ(sends.size(), 2u);
    for (const auto& send : sends) EXPECT_EQ(Hex(send.m_Bytes), Hex(EncodeMessage(announced)));
    kept->SetSyncer(world.Client(0), true);
    manager.ProcessPacket(world.Client(1), PACKET_REQUEST_SYNCER, PayloadStream(payload).Get());
    EXPECT_EQ(kept->GetSyncer(), world.Client(0)) << "forced";
    kept->SetFlag(NETOBJECT_FORCED_SYNCER, false);
    kept->SetFlag(NETOBJECT_NETWORKED, false);
    manager.ProcessPacket(world.Client(1), PACKET_REQUEST_SYNCER, PayloadStream(payload).Get());
    EXPECT_EQ(kept->GetSyncer(), world.Client(0)) << "cannot be synced";
    kept->SetFlag(NETOBJECT_NETWORKED, true);

    // Dropping an element clears the client's bit; the syncer dropping one that should always exist
    // for it destroys it.
    CElementDelete dropped;
    dropped.m_Ids = {kept->GetNetworkId(), 999, owned->GetNetworkId()};
    Bytes deletion = EncodeMessage(dropped);
    deletion.erase(deletion.begin(), deletion.begin() + PACKET_HEADER_SIZE);
    manager.ProcessPacket(world.Client(1), PACKET_ELEMENT_DELETE, PayloadStream(deletion).Get());
    EXPECT_FALSE(kept->IsCreatedFor(1));
    EXPECT_TRUE(kept->IsRegistered());
    EXPECT_TRUE(owned->IsRegistered()) << "client 1 is not its syncer";
    EXPECT_EQ(owned->GetFirstCreatedFor(), 0);
    manager.ProcessPacket(world.Client(0), PACKET_ELEMENT_DELETE, PayloadStream(deletion).Get());
    EXPECT_FALSE(owned->IsRegistered());
    EXPECT_EQ(kept->GetFirstCreatedFor(), -1);
    EXPECT_FALSE(manager.ProcessPacket(world.Client(0), PACKET_CHAT, PayloadStream({}).Get()));
}

TEST(NetObjectMgrTest, ALeavingClientLosesEverythingAndItsPlayer) {
    CReplicationWorld world(2);
    CNetObjectMgr& manager = *world.m_pManager;
    world.Player(1)->m_Position.x = 1000.0f;
    auto transient = world.Add(ELEMENT_PED, {5.0f, 0.0f, 0.0f});
    transient->SetFlag(NETOBJECT_TRANSIENT, true);
    auto hidden = world.Add(ELEMENT_OBJECT, {5000.0f, 0.0f, 0.0f});
    hidden->SetExistsFor(0, false);
    manager.ProcessStreaming();
    ASSERT_EQ(transient->GetSyncer(), world.Client(0));
    CTestElement* pPlayer = world.Player(0);
    const int32_t playerId = pPlayer->GetNetworkId();
    world.Take();

    manager.OnMachineLeft(world.Client(0));
    EXPECT_FALSE(transient->IsRegistered()) << "no client has it any more";
    EXPECT_TRUE(hidden->ExistsFor(0)) << "the slot's state starts afresh";
    EXPECT_EQ(manager.GetObjectFromId(playerId), nullptr);
    EXPECT_EQ(world.Client(0)->GetPlayer(), nullptr);
    EXPECT_EQ(world.Client(0)->GetPlayerId(), -1);
    EXPECT_TRUE(manager.GetCreatedSet(0).IsEmpty());
    CClientPlayer unbound;
    unbound.m_Index = 0;
    bool told = false;
    for (const auto& send : world.Take()) told |= world.IndexOf(send.m_pPeer) == 1 && Hex(send.m_Bytes) == Hex(EncodeMessage(unbound));
    EXPECT_TRUE(told) << "the others learn the binding is gone";
}

TEST(NetObjectMgrTest, ASingleCreationMakesTheClientSyncerAfterwards) {
    CReplicationWorld world(2);
    auto far = world.Add(ELEMENT_PED, {5000.0f, 0.0f, 0.0f});
    far->SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
    world.m_pManager->SendCreatePacket(world.Client(0), far.Get());
    EXPECT_FALSE(far->IsCreatedFor(0)) << "the stream-in test still applies";
    far->SetSyncer(world.Client(1), true);
    world.Take();
    world.m_pManager->SendCreatePacket(world.Client(1), far.Get());
    EXPECT_TRUE(far->IsCreatedFor(1)) << "its syncer gets it at any distance";
    const Sends sends = world.Take();
    ASSERT_EQ(sends.size(), 1u);
    EXPECT_EQ(world.CreatedIds(sends, 1), std::vector<int32_t>{far->GetNetworkId()});

    auto near = world.Add(ELEMENT_OBJECT, {1.0f, 0.0f, 0.0f});
    world.m_pManager->SendCreatePacket(world.Client(0), near.Get());
    EXPECT_EQ(near->GetSyncer(), world.Client(0));
    const Sends second = world.Take();
    ASSERT_EQ(second.size(), 2u) << "the creation, then the syncer message to the client that now has it";
    EXPECT_EQ(second[1].m_Id, static_cast<uint32_t>(PACKET_ELEMENT_SYNCER));
    world.m_pManager->SendCreatePacket(world.Client(0), near.Get());
    EXPECT_TRUE(world.Take().empty()) << "already there";
}
