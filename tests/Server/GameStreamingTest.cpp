// The game server's elements on their way to clients: streamed in and out by distance and dimension,
// vehicles before the peds inside them, a syncer chosen and handed on, and a syncer's sync passed on
// byte for byte to every other client that has the element. The server's own element manager and
// message dispatch run over a transport that records every send.
#include "GameTestSupport.h"

#include "Elements/Player.h"
#include "Elements/Vehicle.h"
#include "GTAServer.h"
#include "ServerConfiguration.h"

#include "Engine/TesseraHBF.h"
#include "Multiplayer/ElementMessages.h"

using namespace Tessera3D;

namespace {

class GameStreamingTest : public testing::Test {
protected:
    GameStreamingTest() {
        const std::string xml = "<server><game>gta:iii</game></server>";
        auto pText = MakeStrong<CMemoryStream>(xml.data(), xml.size());
        std::unique_ptr<CElementChunk> pDocument(CElementChunk::Load(pText.Get()));
        CServerConfiguration config(pDocument.get());
        EXPECT_TRUE(m_Server.ParseConfig(config));
        m_Server.GetMachines().SetTransport(&m_Transport);
    }

    // A client in game playing a player at the position.
    CServerPlayer* AddClient(int index, const CVector3D& position) {
        auto pClient = MakeStrong<CGTAClient>(&m_Server.GetMachines());
        pClient->m_pPeer = &m_Peers[static_cast<size_t>(index)];
        pClient->m_Game = 1;
        pClient->m_bGameFilesVerified = true;
        pClient->m_bInGame = true;
        pClient->m_bElementStreaming = true;
        m_Server.GetMachines().Set(index, pClient.Get());
        Strong<CServerPlayer> pPlayer = Add<CServerPlayer>(ELEMENT_PLAYER, position);
        pPlayer->SetSyncer(pClient.Get(), true);
        pClient->SetPlayer(pPlayer.Get());
        return pPlayer.Get();
    }

    template <typename T>
    Strong<T> Add(int32_t type, const CVector3D& position) {
        Strong<T> pElement = Strong<T>::Adopt(static_cast<T*>(Manager().Create(type)));
        pElement->SetPosition(position);
        EXPECT_TRUE(Manager().RegisterNetObject(pElement.Get()));
        return pElement;
    }

    CNetObjectMgr& Manager() { return *m_Server.GetManager(); }
    CNetMachine* Client(int index) { return m_Server.GetMachines().Get(index); }
    NetPeer* Peer(int index) { return &m_Peers[static_cast<size_t>(index)]; }

    // One streaming tick; returns the ids each creation message to the client carried, message by
    // message, and forgets the sends.
    std::vector<std::vector<int32_t>> Tick(int client, std::vector<int32_t>* pDeleted = nullptr) {
        m_Transport.m_Sends.clear();
        Manager().ProcessStreaming();
        std::vector<std::vector<int32_t>> created;
        for (const Bytes& payload : m_Transport.PayloadsTo(Peer(client), PACKET_ELEMENT_CREATE)) {
            CElementCreate message;
            auto pStream = ReadStream(payload);
            EXPECT_TRUE(ReadMessage(pStream.Get(), message));
            created.emplace_back();
            for (const CElementRecord& record : message.m_Records) created.back().push_back(record.m_Id);
        }
        if (pDeleted) {
            pDeleted->clear();
            for (const Bytes& payload : m_Transport.PayloadsTo(Peer(client), PACKET_ELEMENT_DELETE)) {
                CElementDelete message;
                auto pStream = ReadStream(payload);
                EXPECT_TRUE(ReadMessage(pStream.Get(), message));
                pDeleted->insert(pDeleted->end(), message.m_Ids.begin(), message.m_Ids.end());
            }
        }
        return created;
    }

    void Send(int client, uint32_t id, const Bytes& payload) {
        auto pStream = ReadStream(payload);
        m_Server.ProcessPacket(Peer(client), id, pStream.Get());
    }

    CArchiveContext m_Archive;
    CGTAServer m_Server;
    CRecordingTransport m_Transport;
    std::vector<NetPeer> m_Peers = std::vector<NetPeer>(256);
};

using Ids = std::vector<std::vector<int32_t>>;

} // namespace

TEST_F(GameStreamingTest, ElementsComeStayAndGoByDistanceAndDimension) {
    CServerPlayer* pPlayer = AddClient(0, {0, 0, 0});
    Strong<CServerVehicle> pNear = Add<CServerVehicle>(ELEMENT_VEHICLE, {99, 0, 0});
    Strong<CServerVehicle> pFar = Add<CServerVehicle>(ELEMENT_VEHICLE, {0, 100, 0});
    Strong<CServerPed> pElsewhere = Add<CServerPed>(ELEMENT_PED, {1, 1, 0});
    pElsewhere->SetDimension(3);
    const int32_t player = pPlayer->GetNetworkId(), near = pNear->GetNetworkId(), elsewhere = pElsewhere->GetNetworkId();

    // Vehicles first, then the rest.
    EXPECT_EQ(Tick(0), (Ids{{near}, {player}}));
    std::vector<int32_t> deleted;
    // Between the two distances nothing changes.
    pPlayer->SetPosition({-100, 0, 0});
    EXPECT_EQ(Tick(0, &deleted), Ids{});
    EXPECT_TRUE(deleted.empty());
    pPlayer->SetPosition({-101.5f, 0, 0});
    EXPECT_EQ(Tick(0, &deleted), Ids{});
    EXPECT_EQ(deleted, std::vector<int32_t>{near});
    EXPECT_FALSE(pNear->IsCreatedFor(0));

    // The other dimension: created only once the player is there too, deleted when it leaves again.
    pPlayer->SetPosition({0, 0, 0});
    pPlayer->SetDimension(3);
    EXPECT_EQ(Tick(0, &deleted), (Ids{{elsewhere}}));
    pPlayer->SetDimension(0);
    EXPECT_EQ(Tick(0, &deleted), (Ids{{near}}));
    EXPECT_EQ(deleted, std::vector<int32_t>{elsewhere});
    EXPECT_FALSE(pFar->IsCreatedFor(0));
}

TEST_F(GameStreamingTest, AVehicleReachesAClientBeforeThePedInsideIt) {
    CServerPlayer* pPlayer = AddClient(0, {0, 0, 0});
    Tick(0);
    Strong<CServerVehicle> pVehicle = Add<CServerVehicle>(ELEMENT_VEHICLE, {500, 0, 0});
    Strong<CServerPed> pPed = Add<CServerPed>(ELEMENT_PED, {0, 0, 0});
    pPed->SetVehicleEnteringState(pVehicle.Get(), 0, VEHICLE_STATE_IN_VEHICLE);

    // Close as it is, the ped stays away while its vehicle does.
    EXPECT_EQ(Tick(0), Ids{});
    // In range together: two creation messages, the vehicle's first.
    pPlayer->SetPosition({480, 0, 0});
    pPed->SetPosition({500, 0, 0});
    EXPECT_EQ(Tick(0), (Ids{{pVehicle->GetNetworkId()}, {pPed->GetNetworkId()}}));
    // The vehicle in another dimension keeps the ped away however close.
    Strong<CServerVehicle> pHidden = Add<CServerVehicle>(ELEMENT_VEHICLE, {480, 1, 0});
    pHidden->SetDimension(1);
    Strong<CServerPed> pInside = Add<CServerPed>(ELEMENT_PED, {480, 1, 0});
    pInside->SetVehicleEnteringState(pHidden.Get(), 1, VEHICLE_STATE_IN_VEHICLE);
    EXPECT_EQ(Tick(0), Ids{});
}

TEST_F(GameStreamingTest, TheSyncerIsChosenAndHandedOnWhenItLeaves) {
    AddClient(0, {0, 0, 0});
    AddClient(1, {5, 0, 0});
    AddClient(2, {900, 0, 0});
    Strong<CServerPed> pPed = Add<CServerPed>(ELEMENT_PED, {2, 0, 0});
    Tick(0);
    EXPECT_EQ(pPed->GetSyncer(), Client(0));

    // The syncer messages about the ped a client received.
    const auto syncerOfPed = [&](int client) {
        std::vector<int32_t> syncers;
        for (const Bytes& payload : m_Transport.PayloadsTo(Peer(client), PACKET_ELEMENT_SYNCER)) {
            CElementSyncer message;
            auto pStream = ReadStream(payload);
            EXPECT_TRUE(ReadMessage(pStream.Get(), message));
            if (message.m_Id == pPed->GetNetworkId()) syncers.push_back(message.m_Syncer);
        }
        return syncers;
    };
    m_Transport.m_Sends.clear();
    m_Server.OnPlayerDisconnect(Peer(0), DISCONNECT_QUIT);
    // Client 1 hears the ped has no syncer; at the next tick it becomes the syncer.
    EXPECT_EQ(syncerOfPed(1), std::vector<int32_t>{-1});
    EXPECT_EQ(pPed->GetSyncer(), nullptr);
    Tick(1);
    EXPECT_EQ(pPed->GetSyncer(), Client(1));
    EXPECT_EQ(syncerOfPed(1), std::vector<int32_t>{1});
    EXPECT_TRUE(m_Transport.PayloadsTo(Peer(2), PACKET_ELEMENT_SYNCER).empty());
}

TEST_F(GameStreamingTest, ASyncersSyncReachesEveryOtherClientByteForByte) {
    for (int i = 0; i < 4; ++i) AddClient(i, {float(i), 0, 0});
    AddClient(4, {800, 0, 0}); // has none of it
    Strong<CServerPed> pPed = Add<CServerPed>(ELEMENT_PED, {0, 0, 0});
    Strong<CServerVehicle> pEmpty = Add<CServerVehicle>(ELEMENT_VEHICLE, {0, 0, 0});
    pPed->SetSyncer(Client(2), true);
    pEmpty->SetSyncer(Client(2), true);
    Tick(0);

    const Bytes payload = CBytes().i32(5).vec(1, 2, 3).vec(0, 0, 0).vec(0.5f, 0, 0).f32(0.25f).f32(0.5f).f32(75).u8(0).i32(-1).u8(0)
                              .u16(31).u16(100).u16(17).u8(2).f32(30).u8(1).u8(1).u16(3).u8(0xAB).u8(0xCD).u8(0xEF);
    const Bytes record = CBytes().i32(ELEMENT_PED).i32(pPed->GetNetworkId()).bytes(payload);
    Send(2, PACKET_ELEMENT_SYNC, CBytes().u16(1).u16(static_cast<uint16_t>(record.size())).bytes(record));
    m_Transport.m_Sends.clear();
    Manager().SendSyncToAll(PACKET_PRIORITY_LOW, 0);

    // Every other client with the ped gets exactly the record the syncer sent (the players of the
    // others come along); the syncer never gets its own element back; the empty vehicle goes nowhere.
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        bool found = false;
        for (const Bytes& message : m_Transport.PayloadsTo(Peer(i), PACKET_ELEMENT_SYNC)) {
            CElementSync sync;
            auto pStream = ReadStream(message);
            ASSERT_TRUE(ReadMessage(pStream.Get(), sync));
            for (const CElementRecord& r : sync.m_Records) {
                EXPECT_NE(r.m_Id, pEmpty->GetNetworkId());
                if (r.m_Id != pPed->GetNetworkId()) continue;
                found = true;
                EXPECT_EQ(r.m_Type, ELEMENT_PED);
                EXPECT_EQ(Hex(r.m_Payload), Hex(payload));
            }
        }
        EXPECT_EQ(found, i != 2 && i != 4);
    }
    for (const auto& send : m_Transport.m_Sends) EXPECT_EQ(send.m_Channel, 1);
}
