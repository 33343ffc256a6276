// What the game's elements tell the clients that have them when the server changes them, and how a
// vehicle lets its occupants go.
#include "GameTestSupport.h"

#include "Elements/Player.h"
#include "Elements/Vehicle.h"
#include "Multiplayer/EntityMessages.h"

using namespace Tessera3D;

namespace {

// Clients 0 and 1 play players near the origin; client 2 plays one far away, so it has none of the
// elements at the origin.
class ElementOperations : public testing::Test {
protected:
    ElementOperations() : m_World(3) {
        for (int i = 0; i < 3; ++i) {
            Strong<CServerPlayer> pPlayer = m_World.Add<CServerPlayer>(ELEMENT_PLAYER, {i == 2 ? 5000.0f : 1.0f * i, 0, 0});
            pPlayer->SetSyncer(m_World.Client(i), true);
            m_World.Client(i)->SetPlayer(pPlayer.Get());
        }
    }

    void Stream() {
        m_World.m_Manager.ProcessStreaming();
        m_World.m_Transport.m_Sends.clear();
    }
    // What each client received of one message id.
    std::vector<std::vector<Bytes>> Received(uint32_t id) {
        std::vector<std::vector<Bytes>> out;
        for (int i = 0; i < 3; ++i) out.push_back(m_World.m_Transport.PayloadsTo(m_World.Peer(i), id));
        return out;
    }
    static std::vector<std::vector<Bytes>> ToNearClients(const Bytes& payload) { return {{payload}, {payload}, {}}; }

    CGameWorld m_World;
};

} // namespace

TEST_F(ElementOperations, ChangesGoToTheClientsThatHaveTheElement) {
    Strong<CServerVehicle> pVehicle = m_World.Add<CServerVehicle>(ELEMENT_VEHICLE);
    Strong<CServerPed> pPed = m_World.Add<CServerPed>(ELEMENT_PED);
    Stream();
    const int32_t v = pVehicle->GetNetworkId(), p = pPed->GetNetworkId();

    pVehicle->SetInterior(4);
    EXPECT_EQ(Received(PACKET_ENTITY_INTERIOR), ToNearClients(CBytes().i32(v).u8(4)));
    pPed->SetModelIndex(105);
    EXPECT_EQ(Received(PACKET_ENTITY_MODEL), ToNearClients(CBytes().i32(p).i32(105)));
    pVehicle->Fix();
    EXPECT_EQ(Received(PACKET_VEHICLE_FIX), ToNearClients(CBytes().i32(v)));

    pVehicle->SetDoorsLocked(2);
    pVehicle->SetDoorsLocked(2); // unchanged: nothing
    EXPECT_EQ(Received(PACKET_VEHICLE_LOCK), ToNearClients(CBytes().i32(v).u8(2)));
    EXPECT_EQ(pVehicle->GetLockStatus(), 2);
    pVehicle->SetEngine(false); // unchanged
    pVehicle->SetEngine(true);
    EXPECT_EQ(Received(PACKET_VEHICLE_ENGINE), ToNearClients(CBytes().i32(v).u8(1)));

    pVehicle->SetColours({7, 8, 9, 10});
    pVehicle->ApplyColourChanges();
    pVehicle->SetRGBColours({0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004});
    pVehicle->ApplyColourChanges();
    EXPECT_EQ(Received(PACKET_VEHICLE_COLOURS)[0],
              (std::vector<Bytes>{CBytes().i32(v).u8(0).u8(7).u8(8).u8(9).u8(10),
                                  CBytes().i32(v).u8(1).u32(0xFF000001).u32(0xFF000002).u32(0xFF000003).u32(0xFF000004)}));

    pPed->GiveWeapon(22, 300, false);
    EXPECT_EQ(pPed->GetWeapon(), 0);
    pPed->GiveWeapon(24, 70, true);
    EXPECT_EQ(pPed->GetWeapon(), 24);
    EXPECT_EQ(pPed->GetWeaponAmmunition(), 70);
    EXPECT_EQ(Received(PACKET_PED_GIVE_WEAPON)[1],
              (std::vector<Bytes>{CBytes().i32(p).i32(22).i32(300).u8(0), CBytes().i32(p).i32(24).i32(70).u8(1)}));
    for (const auto& send : m_World.m_Transport.m_Sends) {
        EXPECT_EQ(send.m_Priority, PACKET_PRIORITY_LOW);
        EXPECT_EQ(send.m_Flags, PACKET_FLAGS_RELIABLE);
        EXPECT_EQ(send.m_Channel, 0);
    }
}

TEST_F(ElementOperations, UnregisteredElementsTellNobody) {
    Strong<CServerVehicle> pVehicle = Strong<CServerVehicle>::Adopt(static_cast<CServerVehicle*>(m_World.m_Manager.Create(ELEMENT_VEHICLE)));
    Strong<CServerPlayer> pPlayer = Strong<CServerPlayer>::Adopt(static_cast<CServerPlayer*>(m_World.m_Manager.Create(ELEMENT_PLAYER)));
    m_World.m_Transport.m_Sends.clear();
    testing::internal::CaptureStdout();
    pVehicle->SetModelIndex(90);
    testing::internal::GetCapturedStdout();
    pVehicle->SetInterior(1);
    pVehicle->Fix();
    pVehicle->SetDoorsLocked(2);
    pVehicle->SetEngine(true);
    pVehicle->ApplyColourChanges();
    pPlayer->SetPosition({1, 2, 3});
    pPlayer->GiveWeapon(1, 1, true);
    pPlayer->SetVehicleEnteringState(pVehicle.Get(), 0, VEHICLE_STATE_IN_VEHICLE);
    EXPECT_TRUE(m_World.m_Transport.m_Sends.empty());
    EXPECT_EQ(pVehicle->GetModelIndex(), 90);
    EXPECT_EQ(pVehicle->GetInterior(), 1);
}

TEST_F(ElementOperations, MovingAPlayerTellsItsOwnClient) {
    CServerPlayer* pPlayer = static_cast<CServerPlayer*>(m_World.Client(2)->GetPlayer());
    Stream();
    pPlayer->SetPosition({5000, 10, 20});
    const Bytes expected = CBytes().i32(pPlayer->GetNetworkId()).vec(5000, 10, 20);
    EXPECT_EQ(m_World.m_Transport.PayloadsTo(m_World.Peer(2), PACKET_PLAYER_POSITION), std::vector<Bytes>{expected});
    EXPECT_TRUE(m_World.m_Transport.PayloadsTo(m_World.Peer(0), PACKET_PLAYER_POSITION).empty());
}

// Entering a vehicle first creates the vehicles the ped's syncer should have, so the state message
// never names a vehicle the client lacks.
TEST_F(ElementOperations, EnteringStateCreatesTheVehicleForTheSyncerFirst) {
    Strong<CServerPed> pPed = m_World.Add<CServerPed>(ELEMENT_PED);
    Stream();
    Strong<CServerVehicle> pVehicle = m_World.Add<CServerVehicle>(ELEMENT_VEHICLE, {3, 0, 0});
    pPed->SetSyncer(m_World.Client(1), false);
    m_World.m_Transport.m_Sends.clear();
    pPed->SetVehicleEnteringState(pVehicle.Get(), 2, VEHICLE_STATE_ENTERING);
    const auto& sends = m_World.m_Transport.m_Sends;
    ASSERT_GE(sends.size(), 2u);
    EXPECT_EQ(sends[0].m_Id, PACKET_ELEMENT_CREATE);
    EXPECT_EQ(sends[0].m_pPeer, m_World.Peer(1));
    EXPECT_TRUE(pVehicle->IsCreatedFor(1));
    EXPECT_FALSE(pVehicle->IsCreatedFor(0)); // only the syncer's pass ran
    const Bytes state = CBytes().i32(pPed->GetNetworkId()).i32(pVehicle->GetNetworkId()).u8(2).u8(1);
    EXPECT_EQ(Received(PACKET_PED_VEHICLE_STATE), ToNearClients(state));
    EXPECT_EQ(pPed->GetVehicle(), pVehicle.Get());
    EXPECT_EQ(pPed->GetSeat(), 2);

    m_World.m_Transport.m_Sends.clear();
    pPed->SetVehicleEnteringState(nullptr, 5, VEHICLE_STATE_NONE);
    EXPECT_EQ(Received(PACKET_PED_VEHICLE_STATE), ToNearClients(CBytes().i32(pPed->GetNetworkId()).i32(-1).u8(5).u8(0)));
    EXPECT_EQ(pPed->GetVehicleId(), INVALID_NETWORK_ID);
    EXPECT_EQ(pPed->GetVehicle(), nullptr);
}

TEST_F(ElementOperations, DestroyedVehicleLetsPlayersAndScriptPedsOutAndTakesClientPedsAlong) {
    Strong<CServerVehicle> pVehicle = m_World.Add<CServerVehicle>(ELEMENT_VEHICLE);
    Strong<CServerPed> pScriptPed = m_World.Add<CServerPed>(ELEMENT_PED);
    Strong<CServerPed> pClientPed = m_World.Add<CServerPed>(ELEMENT_PED);
    Strong<CServerPed> pWalker = m_World.Add<CServerPed>(ELEMENT_PED);
    auto pResource = MakeStrong<CBaseObject>();
    pScriptPed->SetResource(pResource.Get());
    auto* pPlayer = static_cast<CServerPlayer*>(m_World.Client(0)->GetPlayer());
    pPlayer->SetVehicleEnteringState(pVehicle.Get(), 0, VEHICLE_STATE_IN_VEHICLE);
    pScriptPed->SetVehicleEnteringState(pVehicle.Get(), 1, VEHICLE_STATE_IN_VEHICLE);
    pClientPed->SetVehicleEnteringState(pVehicle.Get(), 2, VEHICLE_STATE_IN_VEHICLE);
    pWalker->SetVehicleEnteringState(pVehicle.Get(), 3, VEHICLE_STATE_ENTERING); // not inside yet
    Stream();

    const int32_t clientPedId = pClientPed->GetNetworkId();
    EXPECT_TRUE(m_World.m_Manager.DestroyObject(pVehicle.Get(), true, false));
    EXPECT_EQ(pPlayer->GetVehicleEnteringState(), VEHICLE_STATE_NONE);
    EXPECT_EQ(pPlayer->GetVehicleId(), INVALID_NETWORK_ID);
    EXPECT_EQ(pScriptPed->GetVehicleEnteringState(), VEHICLE_STATE_NONE);
    EXPECT_TRUE(pScriptPed->IsRegistered());
    EXPECT_FALSE(pClientPed->IsRegistered());
    EXPECT_EQ(m_World.m_Manager.GetObjectFromId(clientPedId), nullptr);
    EXPECT_TRUE(pWalker->IsRegistered());
    EXPECT_EQ(pWalker->GetVehicleEnteringState(), VEHICLE_STATE_ENTERING);
    // The two that got out are announced to the clients that have them.
    size_t states = 0;
    for (const auto& send : m_World.m_Transport.m_Sends) states += send.m_Id == PACKET_PED_VEHICLE_STATE;
    EXPECT_EQ(states, 4u); // two peds, to clients 0 and 1
}

TEST_F(ElementOperations, SpawningAPedRaisesOnPedSpawn) {
    Strong<CServerPed> pPed = m_World.Add<CServerPed>(ELEMENT_PED);
    pPed->OnSpawned();
    EXPECT_EQ(m_World.m_Host.m_Events, std::vector<std::string>{"OnPedSpawn"});
}
