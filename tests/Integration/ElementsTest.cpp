// Game elements against the real server over real ENet. Until scripts can spawn players, the
// elements come from the clients themselves ("synclocalentities"): a client announces vehicles and
// peds its game created, receives them back through the streaming passes, and syncs them; others take
// the syncer role over and get the sync passed on. The game messages about those elements, and the
// world clock, weather and timer, are checked on the wire.
#include "ServerProcess.h"

#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"
#include "Engine/UnlimitedStream.h"
#include "Multiplayer/EntityMessages.h"
#include "Multiplayer/GameMessages.h"
#include "TestClient/TestClient.h"
#include "WireBytes.h"

#include <gtest/gtest.h>

#include <array>

using namespace Tessera3D;

namespace {

constexpr uint32_t kTimeout = 10000;
constexpr int32_t kVehicle = 142, kPed = 30;
const std::array<uint8_t, 8> kHandle = {9, 8, 7, 6, 5, 4, 3, 2};

// A client without a player stands in no dimension (-1): what it announces lives there too, so its own
// streaming passes give the elements back to it.
constexpr int32_t kNoDimension = -1;

std::vector<uint8_t> PedSync(float x, int32_t vehicle, uint8_t state) {
    return CBytes().i32(0).vec(x, 0, 0).vec(0, 0, 0).vec(0, 0, 0).f32(0).f32(0).f32(100).u8(state).i32(vehicle).u8(0).u16(0)
        .u16(0).u16(0).u8(0).f32(0).u8(0).u8(0);
}

std::vector<uint8_t> VehicleAnnouncement(int32_t syncer, int32_t clientId, uint8_t kind, float x) {
    return CBytes()
        .i32(clientId).bytes({kHandle.begin(), kHandle.end()})
        .baseRecord(syncer, kNoDimension).i32(90).u8(0).u8(kind).u32(0).u8(1).u8(1).u8(2).u8(3).u8(4)
        .f32(1).f32(0).f32(0).f32(0).f32(0).f32(1).f32(0).f32(0).f32(0).f32(0).f32(1).f32(0).f32(x).f32(0).f32(0).f32(1)
        .vec(0, 0, 0).vec(0, 0, 0).u32(0).f32(1000).f32(0).f32(0).f32(0).u8(0).i32(0).u8(0).u8(0);
}

std::vector<uint8_t> PedAnnouncement(int32_t syncer, int32_t clientId, float x, int32_t vehicle = -1) {
    return CBytes().i32(clientId).bytes({kHandle.begin(), kHandle.end()}).baseRecord(syncer, kNoDimension).i32(7).u8(0).u8(1).i32(21)
        .bytes(PedSync(x, vehicle, vehicle == -1 ? 0 : 3));
}

struct CRecord {
    int32_t m_Type, m_Id;
    std::vector<uint8_t> m_Payload;
};

// The records of an element creation or sync message.
std::vector<CRecord> Records(const CReceivedMessage& message) {
    std::vector<CRecord> records;
    auto pStream = MakeStrong<CMemoryStream>(static_cast<const void*>(message.m_Payload.data()), message.m_Payload.size());
    CBinaryReader reader(pStream.Get());
    uint16_t count = 0;
    EXPECT_TRUE(reader.ReadUInt16(count));
    for (uint16_t i = 0; i < count; ++i) {
        uint16_t size = 0;
        CRecord record{};
        if (!reader.ReadUInt16(size) || size < 8 || !reader.ReadInt32(record.m_Type) || !reader.ReadInt32(record.m_Id)) {
            ADD_FAILURE() << "bad record";
            break;
        }
        record.m_Payload.resize(size - 8u);
        EXPECT_TRUE(record.m_Payload.empty() || reader.ReadBytes(record.m_Payload.data(), record.m_Payload.size()));
        records.push_back(std::move(record));
    }
    return records;
}

class ElementsTest : public testing::Test {
protected:
    void StartServer(const std::string& extra = "<synclocalentities>true</synclocalentities>") {
        m_Port = CServerProcess::FreePort();
        m_Server.WriteConfig("<httpserver>false</httpserver><port>" + std::to_string(m_Port) + "</port>"
                             "<streaminterval>500</streaminterval><syncpacketreliable>true</syncpacketreliable>" + extra);
        m_Server.Start({"-noinput"});
        ASSERT_TRUE(m_Server.WaitForOutput("Resources loaded")) << m_Server.GetOutput();
    }

    std::unique_ptr<CTestClient> Joined(const std::string& name) {
        CClientSettings settings;
        settings.m_Nickname = name;
        auto client = std::make_unique<CTestClient>(m_Pool, settings);
        EXPECT_TRUE(client->Join("127.0.0.1", m_Port, kTimeout)) << name << "\n" << m_Server.GetOutput();
        return client;
    }

    // The id the server answers an announcement with (-1: refused), waiting for the answer after
    // position from.
    int32_t Announce(CTestClient& client, uint32_t id, const std::vector<uint8_t>& payload) {
        const size_t from = client.GetMessageCount();
        EXPECT_TRUE(client.SendMessage(id, payload));
        const CReceivedMessage* answer = client.WaitForMessage(PACKET_LOCAL_ELEMENT_ACCEPTED, kTimeout, from);
        CLocalElementAccepted accepted;
        if (!answer || !answer->Decode(accepted)) {
            ADD_FAILURE() << "no answer";
            return -2;
        }
        EXPECT_EQ(accepted.m_Handle, kHandle);
        EXPECT_EQ(accepted.m_Type, id == PACKET_LOCAL_VEHICLE_CREATED ? kVehicle : kPed);
        return accepted.m_Id;
    }

    // Position of the first creation message that carries the element, waiting for it.
    size_t WaitForCreation(CTestClient& client, int32_t element) {
        size_t position = SIZE_MAX;
        client.WaitFor([&] {
            const auto& messages = client.GetMessages();
            for (size_t i = 0; i < messages.size() && position == SIZE_MAX; ++i) {
                if (messages[i].m_Id != PACKET_ELEMENT_CREATE) continue;
                for (const CRecord& record : Records(messages[i]))
                    if (record.m_Id == element) position = i;
            }
            return position != SIZE_MAX;
        }, kTimeout);
        return position;
    }

    // The syncer indices announced for the element, in order.
    static std::vector<int32_t> SyncersOf(const CTestClient& client, int32_t element) {
        std::vector<int32_t> syncers;
        for (const CReceivedMessage& message : client.GetMessages()) {
            if (message.m_Id != PACKET_ELEMENT_SYNCER) continue;
            auto pStream = MakeStrong<CMemoryStream>(static_cast<const void*>(message.m_Payload.data()), message.m_Payload.size());
            CBinaryReader reader(pStream.Get());
            uint16_t count = 0;
            int32_t id = -1, syncer = -1;
            if (reader.ReadUInt16(count) && reader.ReadInt32(id) && reader.ReadInt32(syncer) && id == element) syncers.push_back(syncer);
        }
        return syncers;
    }

    // Every message the server sent before it answers a chat line has arrived once the line is back.
    void RoundTrip(CTestClient& client) {
        const size_t from = client.GetMessageCount();
        ASSERT_TRUE(client.SendChat("marker"));
        ASSERT_NE(client.WaitForMessage(PACKET_CHAT, kTimeout, from), nullptr);
    }

    CServerProcess m_Server;
    CTestClientPool m_Pool;
    uint16_t m_Port = 0;
};

} // namespace

TEST_F(ElementsTest, AnnouncementsAreIgnoredUnlessClientsMayCreateElements) {
    StartServer("");
    auto ann = Joined("Ann");
    const size_t from = ann->GetMessageCount();
    ASSERT_TRUE(ann->SendMessage(PACKET_LOCAL_VEHICLE_CREATED, VehicleAnnouncement(ann->GetClientIndex(), 1, 0, 0)));
    ASSERT_TRUE(ann->SendMessage(PACKET_LOCAL_PED_CREATED, PedAnnouncement(ann->GetClientIndex(), 2, 0)));
    RoundTrip(*ann);
    EXPECT_EQ(ann->FindMessage(PACKET_LOCAL_ELEMENT_ACCEPTED, from), nullptr);
}

TEST_F(ElementsTest, AnnouncedVehiclesAndPedsAreRegisteredOrRefusedAsDuplicates) {
    StartServer();
    auto ann = Joined("Ann");
    auto bob = Joined("Bob");
    const int32_t index = ann->GetClientIndex();

    const int32_t vehicle = Announce(*ann, PACKET_LOCAL_VEHICLE_CREATED, VehicleAnnouncement(index, 11, 0, 100));
    ASSERT_GT(vehicle, 0);
    // The next streaming pass gives the vehicle back to its creator, with the creator as syncer.
    const size_t created = WaitForCreation(*ann, vehicle);
    ASSERT_NE(created, SIZE_MAX);
    for (const CRecord& record : Records(ann->GetMessages()[created])) {
        if (record.m_Id != vehicle) continue;
        EXPECT_EQ(record.m_Type, kVehicle);
        int32_t syncer = -2;
        memcpy(&syncer, record.m_Payload.data(), 4);
        EXPECT_EQ(syncer, index);
    }

    // Another vehicle of kind 1 closer than 10 units is the same one seen twice.
    EXPECT_EQ(Announce(*bob, PACKET_LOCAL_VEHICLE_CREATED, VehicleAnnouncement(bob->GetClientIndex(), 12, 1, 105)), -1);
    EXPECT_EQ(Announce(*bob, PACKET_LOCAL_VEHICLE_CREATED, VehicleAnnouncement(bob->GetClientIndex(), 13, 3, 91)), -1);
    // Kind 0, or far enough, is a vehicle of its own; a ped is never a duplicate.
    const int32_t second = Announce(*bob, PACKET_LOCAL_VEHICLE_CREATED, VehicleAnnouncement(bob->GetClientIndex(), 14, 0, 105));
    const int32_t third = Announce(*bob, PACKET_LOCAL_VEHICLE_CREATED, VehicleAnnouncement(bob->GetClientIndex(), 15, 1, 200));
    const int32_t ped = Announce(*bob, PACKET_LOCAL_PED_CREATED, PedAnnouncement(bob->GetClientIndex(), 16, 100));
    EXPECT_GT(second, 0);
    EXPECT_GT(third, 0);
    EXPECT_GT(ped, 0);
    EXPECT_EQ(std::set<int32_t>({vehicle, second, third, ped}).size(), 4u);
    EXPECT_NE(WaitForCreation(*bob, ped), SIZE_MAX);
    // A payload the server cannot read is no element: no answer.
    const size_t from = bob->GetMessageCount();
    const std::vector<uint8_t> full = VehicleAnnouncement(bob->GetClientIndex(), 17, 0, 500);
    ASSERT_TRUE(bob->SendMessage(PACKET_LOCAL_VEHICLE_CREATED, std::vector<uint8_t>(full.begin(), full.end() - 1)));
    RoundTrip(*bob);
    EXPECT_EQ(bob->FindMessage(PACKET_LOCAL_ELEMENT_ACCEPTED, from), nullptr);
}

TEST_F(ElementsTest, AVehicleReachesItsClientBeforeThePedInsideIt) {
    StartServer();
    auto ann = Joined("Ann");
    const int32_t index = ann->GetClientIndex();
    const int32_t vehicle = Announce(*ann, PACKET_LOCAL_VEHICLE_CREATED, VehicleAnnouncement(index, 1, 0, 0));
    const int32_t ped = Announce(*ann, PACKET_LOCAL_PED_CREATED, PedAnnouncement(index, 2, 0, vehicle));
    ASSERT_GT(vehicle, 0);
    ASSERT_GT(ped, 0);
    const size_t vehicleAt = WaitForCreation(*ann, vehicle), pedAt = WaitForCreation(*ann, ped);
    ASSERT_NE(vehicleAt, SIZE_MAX);
    ASSERT_NE(pedAt, SIZE_MAX);
    EXPECT_LT(vehicleAt, pedAt);
}

TEST_F(ElementsTest, SyncPassesToTheOthersAndTheSyncerRoleMovesOn) {
    StartServer();
    auto ann = Joined("Ann");
    auto bob = Joined("Bob");
    const int32_t ped = Announce(*ann, PACKET_LOCAL_PED_CREATED, PedAnnouncement(ann->GetClientIndex(), 1, 0));
    ASSERT_GT(ped, 0);
    ASSERT_NE(WaitForCreation(*ann, ped), SIZE_MAX);

    // Bob takes the syncer role; Ann, who has the ped, is told.
    ASSERT_TRUE(bob->SendRequestSyncer(ped));
    ASSERT_TRUE(ann->WaitFor([&] { return SyncersOf(*ann, ped) == std::vector<int32_t>{bob->GetClientIndex()}; }, kTimeout))
        << testing::PrintToString(SyncersOf(*ann, ped));

    // Bob's sync reaches Ann byte for byte, and never comes back to Bob.
    const std::vector<uint8_t> state = CBytes().i32(3).vec(7, 8, 9).vec(1, 1, 1).vec(0, 0, 2).f32(0.5f).f32(0.25f).f32(60).u8(0).i32(-1)
                                           .u8(0).u16(22).u16(90).u16(30).u8(1).f32(40).u8(5).u8(1).u16(2).u8(0xCA).u8(0xFE);
    const std::vector<uint8_t> sync = CBytes().u16(1).u16(static_cast<uint16_t>(8 + state.size())).i32(kPed).i32(ped).bytes(state);
    const size_t from = ann->GetMessageCount();
    ASSERT_TRUE(bob->SendSync(sync));
    size_t relayed = SIZE_MAX;
    ASSERT_TRUE(ann->WaitFor([&] {
        for (size_t i = from; i < ann->GetMessageCount() && relayed == SIZE_MAX; ++i) {
            if (ann->GetMessages()[i].m_Id != PACKET_ELEMENT_SYNC) continue;
            for (const CRecord& record : Records(ann->GetMessages()[i]))
                if (record.m_Id == ped && record.m_Payload == state) relayed = i;
        }
        return relayed != SIZE_MAX;
    }, kTimeout));
    EXPECT_EQ(ann->GetMessages()[relayed].m_Channel, 1);
    RoundTrip(*bob);
    for (const CReceivedMessage& message : bob->GetMessages()) {
        if (message.m_Id != PACKET_ELEMENT_SYNC) continue;
        for (const CRecord& record : Records(message)) EXPECT_NE(record.m_Id, ped);
    }

    // Bob leaves: the ped loses its syncer, and the next streaming pass hands it to Ann, who has it.
    bob->Disconnect();
    ASSERT_TRUE(bob->WaitForDisconnect(kTimeout));
    const std::vector<int32_t> expected = {bob->GetClientIndex(), -1, ann->GetClientIndex()};
    EXPECT_TRUE(ann->WaitFor([&] { return SyncersOf(*ann, ped) == expected; }, kTimeout)) << testing::PrintToString(SyncersOf(*ann, ped));
}

TEST_F(ElementsTest, GameMessagesAreCheckedAndRelayed) {
    StartServer();
    auto ann = Joined("Ann");
    auto bob = Joined("Bob");
    const int32_t index = ann->GetClientIndex();
    const int32_t ped = Announce(*ann, PACKET_LOCAL_PED_CREATED, PedAnnouncement(index, 1, 0));
    const int32_t vehicle = Announce(*ann, PACKET_LOCAL_VEHICLE_CREATED, VehicleAnnouncement(index, 2, 0, 300));
    ASSERT_NE(WaitForCreation(*ann, vehicle), SIZE_MAX);

    // From Bob, who does not sync the ped, nothing goes anywhere.
    size_t annFrom = ann->GetMessageCount(), bobFrom = bob->GetMessageCount();
    ASSERT_TRUE(bob->SendMessage(PACKET_PED_JUMP, CBytes().i32(ped)));
    ASSERT_TRUE(bob->SendMessage(PACKET_VEHICLE_ENGINE, CBytes().i32(vehicle).u8(1)));
    RoundTrip(*ann);
    RoundTrip(*bob);
    EXPECT_EQ(ann->FindMessage(PACKET_PED_JUMP, annFrom), nullptr);
    EXPECT_EQ(ann->FindMessage(PACKET_VEHICLE_ENGINE, annFrom), nullptr);

    // From Ann: a jump and a fall reach Bob as they were sent; an out-of-bounds action does not.
    annFrom = ann->GetMessageCount();
    bobFrom = bob->GetMessageCount();
    const std::vector<uint8_t> fall = CBytes().i32(ped).i32(1).i32(2).u8(0xFE);
    ASSERT_TRUE(ann->SendMessage(PACKET_PED_JUMP, CBytes().i32(ped)));
    ASSERT_TRUE(ann->SendMessage(PACKET_PED_FALL, fall));
    ASSERT_TRUE(ann->SendMessage(PACKET_PED_ACTION_E, CBytes().u8(1).i32(ped).f32(2.5f)));
    ASSERT_TRUE(ann->SendMessage(PACKET_PED_ACTION_E, CBytes().u8(1).i32(ped).f32(2.0f)));
    // The engine goes to those who have the vehicle: Ann.
    ASSERT_TRUE(ann->SendMessage(PACKET_VEHICLE_ENGINE, CBytes().i32(vehicle).u8(1)));
    RoundTrip(*ann);
    ASSERT_NE(bob->WaitForMessage(PACKET_PED_ACTION_E, kTimeout, bobFrom), nullptr);
    RoundTrip(*bob);
    const CReceivedMessage* jump = bob->FindMessage(PACKET_PED_JUMP, bobFrom);
    ASSERT_NE(jump, nullptr);
    EXPECT_EQ(jump->m_Payload, std::vector<uint8_t>(CBytes().i32(ped)));
    const CReceivedMessage* relayedFall = bob->FindMessage(PACKET_PED_FALL, bobFrom);
    ASSERT_NE(relayedFall, nullptr);
    EXPECT_EQ(relayedFall->m_Payload, fall);
    EXPECT_EQ(bob->CountMessages(PACKET_PED_ACTION_E), 1u);
    EXPECT_EQ(ann->FindMessage(PACKET_PED_JUMP, annFrom), nullptr);
    const CReceivedMessage* engine = ann->FindMessage(PACKET_VEHICLE_ENGINE, annFrom);
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(engine->m_Payload, std::vector<uint8_t>(CBytes().i32(vehicle).u8(1)));
    EXPECT_EQ(bob->FindMessage(PACKET_VEHICLE_ENGINE, bobFrom), nullptr);
}

// About every ten seconds the clients get the timer, the clock and the weather again.
TEST_F(ElementsTest, WorldStateOnJoiningAndThenEveryTenSeconds) {
    StartServer("<minuteduration>0.5</minuteduration>");
    auto ann = Joined("Ann");
    CWorldMinuteDuration duration;
    ASSERT_TRUE(ann->FindMessage(PACKET_WORLD_MINUTE_DURATION) && ann->FindMessage(PACKET_WORLD_MINUTE_DURATION)->Decode(duration));
    EXPECT_EQ(duration.m_Milliseconds, 500u);
    CWorldWeather weather;
    ASSERT_TRUE(ann->FindMessage(PACKET_WORLD_WEATHER)->Decode(weather));
    EXPECT_EQ(weather.m_Forced, 1); // always forced on joining
    CWorldTimer joinTimer;
    ASSERT_TRUE(ann->FindMessage(PACKET_WORLD_TIMER)->Decode(joinTimer));
    CWorldBridge bridge;
    ASSERT_TRUE(ann->FindMessage(PACKET_WORLD_BRIDGE)->Decode(bridge));
    EXPECT_EQ(bridge.m_Value, 1);

    const size_t from = ann->GetMessageCount();
    const CReceivedMessage* timer = ann->WaitForMessage(PACKET_WORLD_TIMER, 30000, from);
    ASSERT_NE(timer, nullptr);
    size_t at = from;
    while (&ann->GetMessages()[at] != timer) ++at;
    ASSERT_TRUE(ann->WaitFor([&] { return ann->GetMessageCount() >= at + 3; }, kTimeout));
    EXPECT_EQ(ann->GetMessages()[at + 1].m_Id, PACKET_WORLD_CLOCK);
    EXPECT_EQ(ann->GetMessages()[at + 2].m_Id, PACKET_WORLD_WEATHER);
    CWorldTimer later;
    ASSERT_TRUE(timer->Decode(later));
    EXPECT_GT(later.m_Value, joinTimer.m_Value);
    ASSERT_TRUE(ann->GetMessages()[at + 2].Decode(weather));
    EXPECT_EQ(weather.m_Forced, 0);
    CWorldClock clock;
    ASSERT_TRUE(ann->GetMessages()[at + 1].Decode(clock));
    EXPECT_LT(clock.m_Hour, 24);
    EXPECT_LT(clock.m_Minute, 60);
    EXPECT_GE(clock.m_Fraction, 0);
    EXPECT_LT(clock.m_Fraction, 1000);
    // Nothing of the world came in between.
    for (size_t i = from; i < at; ++i) {
        const uint32_t id = ann->GetMessages()[i].m_Id;
        EXPECT_TRUE(id != PACKET_WORLD_CLOCK && id != PACKET_WORLD_WEATHER) << id;
    }
}
