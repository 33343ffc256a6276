// Elements streamed to joined players over real ENet: the game server runs in this process, players
// are spawned and elements created through its C++ interface, and protocol test clients see what
// reaches them. Players move by syncing their own character, as game clients do.
#include "InProcessServer.h"

#include "Elements/Player.h"
#include "GTAServerManager.h"

#include "Multiplayer/ElementMessages.h"
#include "Multiplayer/MachineMessages.h"
#include "TestClient/TestClient.h"
#include "WireBytes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <set>
#include <thread>

using namespace Tessera3D;

namespace {

constexpr uint32_t kTimeout = 10000;
constexpr uint32_t kStreamInterval = 500;
using Ids = std::multiset<int32_t>;

// A sync message with one record: the player's own character standing at (x, 0, 0), on foot.
std::vector<uint8_t> PlayerSync(int32_t player, float x) {
    const std::vector<uint8_t> record = CBytes()
        .i32(ELEMENT_PLAYER).i32(player)
        // The ped's part: relayed value, position, relayed vector, velocity, headings, health, no
        // vehicle, weapon and its state, armour, relayed byte, no blob.
        .i32(-1).vec(x, 0, 0).vec(0, 0, 0).vec(0, 0, 0).f32(0).f32(0).f32(100).u8(0).i32(-1).u8(0).u16(0)
        .u16(0).u16(0).u8(0).f32(0).u8(0).u8(0)
        // The player's part.
        .u16(0).zeros(48).zeros(4).u8(1).u16(4);
    return CBytes().u16(1).u16(static_cast<uint16_t>(record.size())).bytes(record);
}

class StreamingOverTheWireTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_Server.Start("<game>gta:iii</game><streaminterval>" + std::to_string(kStreamInterval) +
                                   "</streaminterval><streamindistance>100</streamindistance>"
                                   "<streamoutdistance>200</streamoutdistance>"));
    }

    std::unique_ptr<CTestClient> Join(const std::string& name) {
        CClientSettings settings;
        settings.m_Nickname = name;
        auto pClient = std::make_unique<CTestClient>(m_Pool, settings);
        EXPECT_TRUE(pClient->Join("127.0.0.1", m_Server.GetPort(), kTimeout)) << name;
        return pClient;
    }

    // The id of the client's new player element (-1 when it could not be spawned).
    int32_t Spawn(const CTestClient& client, const CVector3D& position, int32_t dimension) {
        return m_Server.Locked([&](CGTAServer& server) {
            CNetMachine* pClient = server.GetMachines().Get(client.GetClientIndex());
            CServerPlayer* pPlayer = pClient ? server.GetGameManager()->SpawnPlayer(pClient, position, 0.0f, 0, 0, dimension)
                                             : nullptr;
            return pPlayer ? pPlayer->GetNetworkId() : -1;
        });
    }

    int32_t AddVehicle(const CVector3D& position, int32_t dimension) {
        return m_Server.Locked([&](CGTAServer& server) {
            CGTAServerManager* pManager = server.GetGameManager();
            Strong<CNetObject> pVehicle = Strong<CNetObject>::Adopt(pManager->Create(ELEMENT_VEHICLE));
            pVehicle->SetPosition(position);
            pVehicle->SetDimension(dimension);
            return pManager->RegisterNetObject(pVehicle.Get()) ? pVehicle->GetNetworkId() : -1;
        });
    }

    void SetPlayerDimension(int32_t player, int32_t dimension) {
        m_Server.Locked([&](CGTAServer& server) {
            if (CNetObject* pPlayer = server.GetManager()->GetObjectFromId(player)) pPlayer->SetDimension(dimension);
        });
    }

    // Every element id the creation (or deletion) messages to the client carried, once per message.
    static Ids Created(const CTestClient& client) {
        Ids ids;
        for (const CReceivedMessage& message : client.GetMessages()) {
            CElementCreate create;
            if (message.m_Id != PACKET_ELEMENT_CREATE) continue;
            EXPECT_TRUE(message.Decode(create));
            for (const CElementRecord& record : create.m_Records) ids.insert(record.m_Id);
        }
        return ids;
    }
    static Ids Deleted(const CTestClient& client) {
        Ids ids;
        for (const CReceivedMessage& message : client.GetMessages()) {
            CElementDelete deleted;
            if (message.m_Id != PACKET_ELEMENT_DELETE) continue;
            EXPECT_TRUE(message.Decode(deleted));
            ids.insert(deleted.m_Ids.begin(), deleted.m_Ids.end());
        }
        return ids;
    }

    // True once a sync message relayed to the client put the element at x.
    static bool HasSyncedAt(const CTestClient& client, int32_t element, float x) {
        for (const CReceivedMessage& message : client.GetMessages()) {
            CElementSync sync;
            if (message.m_Id != PACKET_ELEMENT_SYNC || !message.Decode(sync)) continue;
            for (const CElementRecord& record : sync.m_Records) {
                float position = 0.0f;
                if (record.m_Id != element || record.m_Payload.size() < 8) continue;
                std::memcpy(&position, record.m_Payload.data() + 4, sizeof(position));
                if (position == x) return true;
            }
        }
        return false;
    }

    // The client's player walks to (x, 0, 0); returns once the other client has it there, which
    // shows the server took the position.
    void Walk(CTestClient& client, int32_t player, float x, CTestClient& witness) {
        ASSERT_TRUE(client.SendSync(PlayerSync(player, x)));
        ASSERT_TRUE(witness.WaitFor([&] { return HasSyncedAt(witness, player, x); }, kTimeout)) << x;
    }

    bool WaitUntil(CTestClient& client, const std::function<bool()>& predicate) {
        return client.WaitFor(predicate, kTimeout);
    }

    // Keeps every client receiving through more than two streaming ticks.
    void Settle() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStreamInterval * 5 / 2);
        while (std::chrono::steady_clock::now() < end) m_Pool.Service(10);
    }

    CInProcessServer m_Server;
    CTestClientPool m_Pool;
};

TEST_F(StreamingOverTheWireTest, ElementsComeStayAndGoByDistanceAndDimension) {
    auto pAlice = Join("Alice"), pBob = Join("Bob"), pCarol = Join("Carol");
    CTestClient &alice = *pAlice, &bob = *pBob, &carol = *pCarol;

    const int32_t aliceId = Spawn(alice, {0, 0, 0}, 0), bobId = Spawn(bob, {50, 0, 0}, 0), carolId = Spawn(carol, {0, 0, 0}, 7);
    const int32_t car = AddVehicle({90, 0, 0}, 0), boat = AddVehicle({5, 0, 0}, 7);
    ASSERT_TRUE(aliceId >= 0 && bobId >= 0 && carolId >= 0 && car >= 0 && boat >= 0);

    // A spawned player is created for its client at once and the client is told it plays it.
    for (auto [pClient, id] : {std::pair{&alice, aliceId}, {&bob, bobId}, {&carol, carolId}}) {
        const auto toldPlayer = [&, pClient = pClient, id = id] {
            for (const CReceivedMessage& message : pClient->GetMessages()) {
                CLocalPlayer local;
                if (message.m_Id == PACKET_LOCAL_PLAYER && message.Decode(local) && local.m_Player == id) return true;
            }
            return false;
        };
        ASSERT_TRUE(pClient->WaitFor(toldPlayer, kTimeout)) << id;
        EXPECT_TRUE(Created(*pClient).count(id));
    }

    // Within the stream-in distance and in the same dimension only.
    ASSERT_TRUE(WaitUntil(alice, [&] { return Created(alice).count(bobId) && Created(alice).count(car); }));
    ASSERT_TRUE(WaitUntil(bob, [&] { return Created(bob).count(aliceId) && Created(bob).count(car); }));
    ASSERT_TRUE(WaitUntil(carol, [&] { return Created(carol).count(boat); }));
    Settle();
    EXPECT_EQ(Created(alice), (Ids{aliceId, bobId, car}));
    EXPECT_EQ(Created(bob), (Ids{aliceId, bobId, car}));
    EXPECT_EQ(Created(carol), (Ids{carolId, boat}));

    // Between the two distances (car 150 away, Bob 110): everything stays.
    Walk(alice, aliceId, -60, bob);
    Settle();
    EXPECT_EQ(Deleted(alice), Ids{});
    EXPECT_EQ(Deleted(bob), Ids{});

    // Beyond the stream-out distance from the car (210), still within it from Bob (170).
    Walk(alice, aliceId, -120, bob);
    ASSERT_TRUE(WaitUntil(alice, [&] { return Deleted(alice).count(car); }));
    EXPECT_EQ(Deleted(alice), Ids{car});
    EXPECT_EQ(Deleted(bob), Ids{});

    // Back below the stream-in distance: created again.
    Walk(alice, aliceId, 0, bob);
    ASSERT_TRUE(WaitUntil(alice, [&] { return Created(alice).count(car) == 2; }));

    // Carol moves into dimension 0: she gets what is near her there and loses the boat; the others
    // get her.
    SetPlayerDimension(carolId, 0);
    ASSERT_TRUE(WaitUntil(carol, [&] { return Created(carol).count(car) && Created(carol).count(aliceId) && Created(carol).count(bobId); }));
    ASSERT_TRUE(WaitUntil(carol, [&] { return Deleted(carol).count(boat); }));
    ASSERT_TRUE(WaitUntil(alice, [&] { return Created(alice).count(carolId); }));
    ASSERT_TRUE(WaitUntil(bob, [&] { return Created(bob).count(carolId); }));
    EXPECT_EQ(Created(alice).count(boat) + Created(bob).count(boat), 0u);
}

} // namespace
