// The game server's handling of what clients report about their peds, vehicles and pickups, of the
// elements clients create themselves, of spawned players and of the GTA IV sessions: checks, events
// and relays, run
// through the server's own message dispatch with a transport that records every send.
#include "GameTestSupport.h"

#include "Elements/Pickup.h"
#include "Elements/Player.h"
#include "Elements/Vehicle.h"
#include "GTAServer.h"
#include "GTAServerManager.h"
#include "GameLayer.h"
#include "ServerConfiguration.h"

#include "Engine/TesseraHBF.h"
#include "Multiplayer/ElementMessages.h"
#include "Multiplayer/EntityMessages.h"
#include "Multiplayer/GameMessages.h"
#include "Multiplayer/MachineMessages.h"
#include "Scripting/EventHandlers.h"

#include <cmath>
#include <sstream>

using namespace Tessera3D;

namespace {

// Writes each trigger as "Name(arg,arg,...)"; elements as e<id>, clients as c<index>.
class CRecordingHandler : public EventHandlers::CEventHandler {
public:
    CRecordingHandler(std::vector<std::string>* pLog, const std::set<std::string>* pCancel)
        : CEventHandler(nullptr, nullptr), m_pLog(pLog), m_pCancel(pCancel) {}

    void Execute(EventHandlers::CEvent* pEvent, const char*, const CArgumentArray& arguments) override {
        std::ostringstream line;
        line << pEvent->GetName() << "(";
        for (size_t i = 0; i < arguments.GetCount(); ++i) {
            if (i) line << ",";
            line << Describe(arguments.Get(i));
        }
        line << ")";
        m_pLog->push_back(line.str());
        if (m_pCancel->count(pEvent->GetName()))
            if (auto* pCancellable = dynamic_cast<EventHandlers::CCancellableEvent*>(pEvent)) pCancellable->PreventDefault();
    }

    static std::string Describe(const CArgument* pValue) {
        if (!pValue || pValue->IsNull()) return "null";
        if (pValue->IsNetObject()) return "e" + std::to_string(static_cast<const CArgumentNetObject*>(pValue)->GetNetworkId());
        if (pValue->IsObject()) {
            auto* pMachine = dynamic_cast<CNetMachine*>(pValue->ToObject());
            return pMachine ? "c" + std::to_string(pMachine->m_Index) : "object";
        }
        if (pValue->IsString()) return std::string("'") + pValue->ToString() + "'";
        if (pValue->IsBytes()) {
            auto* pBytes = static_cast<const CArgumentBytes*>(pValue);
            return "[" + Hex(pBytes->GetBytes()) + "]";
        }
        if (pValue->IsNumber()) {
            double number = 0;
            pValue->ToNumber(number);
            std::ostringstream text;
            text << number;
            return text.str();
        }
        return pValue->GetTypeName();
    }

private:
    std::vector<std::string>* m_pLog;
    const std::set<std::string>* m_pCancel;
};

// A configured game server whose clients (slots 0..2, in game, files checked) each play a player at
// the origin, over a recording transport.
class GameServerTest : public testing::Test {
protected:
    void Start(const std::string& keys = "", const char* game = "gta:iii") {
        const std::string xml = std::string("<server><game>") + game + "</game>" + keys + "</server>";
        auto pText = MakeStrong<CMemoryStream>(xml.data(), xml.size());
        std::unique_ptr<CElementChunk> pDocument(CElementChunk::Load(pText.Get()));
        ASSERT_TRUE(pDocument);
        CServerConfiguration config(pDocument.get());
        ASSERT_TRUE(m_Server.ParseConfig(config));
        m_Server.GetMachines().SetTransport(&m_Transport);
        for (const char* name : {"OnPedCrouch", "OnPedEnterVehicle", "OnPedExitVehicle", "OnPedFall", "OnPedJump", "OnPedUncrouch",
                                 "OnPedSpawn", "OnPedWasted", "OnPickupCollected", "OnRequestSession", "OnAddIVNetworkEvent"}) {
            EventHandlers::CEventType* pType = m_Server.GetEventHandlers().FindEventType(name);
            ASSERT_NE(pType, nullptr) << name;
            pType->AddHandler(std::make_unique<CRecordingHandler>(&m_Events, &m_Cancel));
        }
        for (int i = 0; i < 3; ++i) AddClient(i);
        m_Transport.m_Sends.clear();
    }

    CGTAClient* AddClient(int index) {
        auto pClient = MakeStrong<CGTAClient>(&m_Server.GetMachines());
        pClient->m_pPeer = &m_Peers[static_cast<size_t>(index)];
        pClient->m_Name = "Client" + std::to_string(index);
        pClient->m_Game = static_cast<uint8_t>(m_Server.GetSettings().m_Game);
        pClient->m_bGameFilesVerified = true;
        pClient->m_bInGame = true;
        pClient->m_bElementStreaming = true;
        m_Server.GetMachines().Set(index, pClient.Get());
        Strong<CServerPlayer> pPlayer = Add<CServerPlayer>(ELEMENT_PLAYER, index);
        pPlayer->SetSyncer(pClient.Get(), true);
        pClient->SetPlayer(pPlayer.Get());
        return pClient.Get();
    }

    CNetObjectMgr& Manager() { return *m_Server.GetManager(); }
    CGTAClient* Client(int index) { return static_cast<CGTAClient*>(m_Server.GetMachines().Get(index)); }
    NetPeer* Peer(int index) { return &m_Peers[static_cast<size_t>(index)]; }

    // A registered element at the origin, synced by the client (none for -1).
    template <typename T>
    Strong<T> Add(int32_t type, int syncer) {
        Strong<T> pElement = Strong<T>::Adopt(static_cast<T*>(Manager().Create(type)));
        EXPECT_TRUE(pElement);
        EXPECT_TRUE(Manager().RegisterNetObject(pElement.Get()));
        if (syncer >= 0) pElement->SetSyncer(Client(syncer), false);
        return pElement;
    }

    // Creates every element on every client, then forgets the sends.
    void Stream() {
        Manager().ProcessStreaming();
        m_Transport.m_Sends.clear();
    }

    void Send(int client, uint32_t id, const Bytes& payload) {
        auto pStream = ReadStream(payload);
        m_Server.ProcessPacket(Peer(client), id, pStream.Get());
    }

    std::vector<Bytes> To(int client, uint32_t id) { return m_Transport.PayloadsTo(Peer(client), id); }
    std::vector<std::string> TakeEvents() { return std::exchange(m_Events, {}); }

    CArchiveContext m_Archive;
    CGTAServer m_Server;
    CRecordingTransport m_Transport;
    std::vector<NetPeer> m_Peers = std::vector<NetPeer>(256);
    std::vector<std::string> m_Events;
    std::set<std::string> m_Cancel;
};

std::string E(const CNetObject* pElement) { return "e" + std::to_string(pElement->GetNetworkId()); }

} // namespace

// ---------------------------------------------------------------------------------------------
// Ped, vehicle and pickup messages

TEST_F(GameServerTest, EnteringAndLeavingAVehicle) {
    Start();
    Strong<CServerPed> pPed = Add<CServerPed>(ELEMENT_PED, 1);
    Strong<CServerVehicle> pVehicle = Add<CServerVehicle>(ELEMENT_VEHICLE, 0);
    Strong<CServerPickup> pObject = Add<CServerPickup>(ELEMENT_PICKUP, 1);
    Stream();
    const int32_t ped = pPed->GetNetworkId(), vehicle = pVehicle->GetNetworkId();

    // Leaving while in no vehicle does nothing.
    Send(1, PACKET_PED_VEHICLE_ACTION, CBytes().i32(ped).u8(1));
    EXPECT_TRUE(TakeEvents().empty());
    EXPECT_TRUE(m_Transport.m_Sends.empty());

    // Not the ped's syncer, no vehicle, not a vehicle, an unknown action: ignored.
    Send(0, PACKET_PED_VEHICLE_ACTION, CBytes().i32(ped).u8(2).i32(vehicle));
    Send(1, PACKET_PED_VEHICLE_ACTION, CBytes().i32(ped).u8(2).i32(9999));
    Send(1, PACKET_PED_VEHICLE_ACTION, CBytes().i32(ped).u8(2).i32(pObject->GetNetworkId()));
    Send(1, PACKET_PED_VEHICLE_ACTION, CBytes().i32(ped).u8(4).i32(vehicle));
    Send(1, PACKET_PED_VEHICLE_ACTION, CBytes().i32(-5).u8(2).i32(vehicle));
    Send(1, PACKET_PED_VEHICLE_ACTION, CBytes().i32(ped).u8(2)); // cut short
    EXPECT_TRUE(TakeEvents().empty());
    EXPECT_TRUE(m_Transport.m_Sends.empty());
    EXPECT_EQ(pVehicle->GetSyncer(), Client(0));

    // Cancelled: the vehicle keeps its syncer and nobody hears of it.
    m_Cancel = {"OnPedEnterVehicle"};
    Send(1, PACKET_PED_VEHICLE_ACTION, CBytes().i32(ped).u8(2).i32(vehicle));
    EXPECT_EQ(TakeEvents(), std::vector<std::string>{"OnPedEnterVehicle(" + E(pPed.Get()) + "," + E(pVehicle.Get()) + ",1)"});
    EXPECT_EQ(pVehicle->GetSyncer(), Client(0));
    EXPECT_EQ(m_Transport.Count(PACKET_PED_VEHICLE_ACTION), 0u);

    // Allowed: the ped's client takes the vehicle over, and everyone who has the ped hears of it.
    m_Cancel.clear();
    m_Transport.m_Sends.clear();
    Send(1, PACKET_PED_VEHICLE_ACTION, CBytes().i32(ped).u8(3).i32(vehicle));
    EXPECT_EQ(TakeEvents(), std::vector<std::string>{"OnPedEnterVehicle(" + E(pPed.Get()) + "," + E(pVehicle.Get()) + ",0)"});
    EXPECT_EQ(pVehicle->GetSyncer(), Client(1));
    for (int client : {0, 1, 2}) EXPECT_EQ(To(client, PACKET_PED_VEHICLE_ACTION), std::vector<Bytes>{CBytes().i32(ped).u8(3).i32(vehicle)}) << client;

    // Leaving, once the syncer reports the ped in the vehicle: the event names the vehicle.
    pPed->SetVehicleEnteringState(pVehicle.Get(), 1, VEHICLE_STATE_IN_VEHICLE);
    m_Transport.m_Sends.clear();
    Send(1, PACKET_PED_VEHICLE_ACTION, CBytes().i32(ped).u8(1));
    EXPECT_EQ(TakeEvents(), std::vector<std::string>{"OnPedExitVehicle(" + E(pPed.Get()) + "," + E(pVehicle.Get()) + ")"});
    EXPECT_EQ(To(2, PACKET_PED_VEHICLE_ACTION), std::vector<Bytes>{CBytes().i32(ped).u8(1)});
    m_Cancel = {"OnPedExitVehicle"};
    m_Transport.m_Sends.clear();
    Send(1, PACKET_PED_VEHICLE_ACTION, CBytes().i32(ped).u8(1));
    EXPECT_EQ(m_Transport.Count(PACKET_PED_VEHICLE_ACTION), 0u);
}

TEST_F(GameServerTest, PedMessagesFromTheSyncerAreRelayedToEveryOtherClient) {
    Start();
    Strong<CServerPed> pPed = Add<CServerPed>(ELEMENT_PED, 1);
    const int32_t ped = pPed->GetNetworkId();
    const std::string e = E(pPed.Get());
    const struct {
        const char* m_Name;
        uint32_t m_Id;
        Bytes m_Payload;
        const char* m_Event; // null: no event
    } cases[] = {
        {"fall", PACKET_PED_FALL, CBytes().i32(ped).i32(7).i32(-8).u8(0xFF), "(,7,-8,-1)"},
        {"jump", PACKET_PED_JUMP, CBytes().i32(ped), "()"},
        {"crouch", PACKET_PED_CROUCH, CBytes().i32(ped), "()"},
        {"uncrouch", PACKET_PED_UNCROUCH, CBytes().i32(ped), "()"},
        {"action A", PACKET_PED_ACTION_A, CBytes().i32(ped).u8(3).i32(-4).u32(0xA1B2C3D4), nullptr},
        {"action B", PACKET_PED_ACTION_B, CBytes().i32(ped).u8(9), nullptr},
        {"action C", PACKET_PED_ACTION_C, CBytes().i32(ped).u8(0), nullptr},
        {"action D", PACKET_PED_ACTION_D, CBytes().i32(ped).u32(0x04030201), nullptr},
        {"action E, kind 1", PACKET_PED_ACTION_E, CBytes().u8(1).i32(ped).f32(2.0f), nullptr},
        {"action E, kind 2", PACKET_PED_ACTION_E, CBytes().u8(2).i32(ped).vec(1, 2, 3).vec(4, 5, 6).f32(0.5f), nullptr},
        {"action F", PACKET_PED_ACTION_F, CBytes().i32(ped), nullptr},
    };
    const char* eventNames[] = {"OnPedFall", "OnPedJump", "OnPedCrouch", "OnPedUncrouch"};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.m_Name);
        m_Transport.m_Sends.clear();
        Send(1, c.m_Id, c.m_Payload);
        // Every other client (in game or not), never the sender.
        EXPECT_TRUE(To(1, c.m_Id).empty());
        for (int client : {0, 2}) EXPECT_EQ(To(client, c.m_Id), std::vector<Bytes>{c.m_Payload}) << client;
        for (const auto& send : m_Transport.m_Sends) {
            EXPECT_EQ(send.m_Flags, PACKET_FLAGS_RELIABLE);
            EXPECT_EQ(send.m_Channel, 0);
        }
        std::vector<std::string> expected;
        if (c.m_Event) {
            std::string args = c.m_Event;
            expected.push_back(std::string(eventNames[i]) + "(" + e + args.substr(1));
        }
        EXPECT_EQ(TakeEvents(), expected);

        // From a client that is not the syncer, for an element that is no ped, or cut short: dropped.
        m_Transport.m_Sends.clear();
        Send(2, c.m_Id, c.m_Payload);
        Send(1, c.m_Id, Bytes(c.m_Payload.begin(), c.m_Payload.end() - 1));
        EXPECT_TRUE(m_Transport.m_Sends.empty());
        EXPECT_TRUE(TakeEvents().empty());
    }
    // A player is a ped too; a vehicle is not.
    Strong<CServerVehicle> pVehicle = Add<CServerVehicle>(ELEMENT_VEHICLE, 1);
    m_Transport.m_Sends.clear();
    Send(1, PACKET_PED_JUMP, CBytes().i32(pVehicle->GetNetworkId()));
    Send(1, PACKET_PED_JUMP, CBytes().i32(Client(1)->GetPlayerId()));
    EXPECT_EQ(m_Transport.Count(PACKET_PED_JUMP), 2u);
    EXPECT_EQ(TakeEvents(), std::vector<std::string>{"OnPedJump(e" + std::to_string(Client(1)->GetPlayerId()) + ")"});
}

TEST_F(GameServerTest, ActionEOnlyWithinItsBounds) {
    Start();
    Strong<CServerPed> pPed = Add<CServerPed>(ELEMENT_PED, 1);
    const int32_t ped = pPed->GetNetworkId();
    const struct {
        Bytes m_Payload;
        bool m_Relayed;
    } cases[] = {
        {CBytes().u8(1).i32(ped).f32(0.0f), false},
        {CBytes().u8(1).i32(ped).f32(2.5f), false},
        {CBytes().u8(1).i32(ped).f32(-1.0f), false},
        {CBytes().u8(1).i32(ped).f32(std::nanf("")), false},
        {CBytes().u8(1).i32(ped).f32(2.0f), true},
        {CBytes().u8(1).i32(ped).f32(0.001f), true},
        {CBytes().u8(2).i32(ped).vec(1, 1, 1).vec(2, 2, 2).f32(3.0f), false},
        {CBytes().u8(3).i32(ped).f32(1.0f), false},
        {CBytes().u8(0).i32(ped), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Hex(c.m_Payload));
        m_Transport.m_Sends.clear();
        Send(1, PACKET_PED_ACTION_E, c.m_Payload);
        EXPECT_EQ(m_Transport.Count(PACKET_PED_ACTION_E), c.m_Relayed ? 2u : 0u);
    }
}

TEST_F(GameServerTest, WastedPedsEngineToggleAndPickups) {
    Start();
    Strong<CServerPed> pPed = Add<CServerPed>(ELEMENT_PED, 1);
    Strong<CServerVehicle> pVehicle = Add<CServerVehicle>(ELEMENT_VEHICLE, 1);
    Strong<CServerPickup> pPickup = Add<CServerPickup>(ELEMENT_PICKUP, 2);
    Stream();

    Send(2, PACKET_PED_WASTED, CBytes().i32(pPed->GetNetworkId()).i32(pVehicle->GetNetworkId()).u8(1).u8(2));
    EXPECT_FALSE(pPed->IsWasted());
    Send(1, PACKET_PED_WASTED, CBytes().i32(pPed->GetNetworkId()).i32(-1).u8(40).u8(255));
    EXPECT_TRUE(pPed->IsWasted());
    EXPECT_EQ(TakeEvents(), std::vector<std::string>{"OnPedWasted(" + E(pPed.Get()) + ",null,40,255,c1)"});
    EXPECT_TRUE(m_Transport.m_Sends.empty());

    // The engine: only the syncer, and only a change is passed on to those who have the vehicle.
    Send(0, PACKET_VEHICLE_ENGINE, CBytes().i32(pVehicle->GetNetworkId()).u8(1));
    EXPECT_FALSE(pVehicle->GetEngine());
    Send(1, PACKET_VEHICLE_ENGINE, CBytes().i32(pVehicle->GetNetworkId()).u8(7));
    Send(1, PACKET_VEHICLE_ENGINE, CBytes().i32(pVehicle->GetNetworkId()).u8(1));
    EXPECT_TRUE(pVehicle->GetEngine());
    for (int client : {0, 1, 2}) EXPECT_EQ(To(client, PACKET_VEHICLE_ENGINE), std::vector<Bytes>{CBytes().i32(pVehicle->GetNetworkId()).u8(1)});

    m_Transport.m_Sends.clear();
    Send(1, PACKET_VEHICLE_TOGGLE, CBytes().i32(pVehicle->GetNetworkId()).u8(0));
    Send(0, PACKET_VEHICLE_TOGGLE, CBytes().i32(pVehicle->GetNetworkId()).u8(1));
    EXPECT_TRUE(m_Transport.m_Sends.empty());
    Send(1, PACKET_VEHICLE_TOGGLE, CBytes().i32(pVehicle->GetNetworkId()).u8(5));
    Send(1, PACKET_VEHICLE_TOGGLE, CBytes().i32(pVehicle->GetNetworkId()).u8(6));
    EXPECT_TRUE(pVehicle->GetToggle());
    EXPECT_EQ(To(2, PACKET_VEHICLE_TOGGLE), std::vector<Bytes>{CBytes().i32(pVehicle->GetNetworkId()).u8(1)});

    // A pickup is collected by a ped, reported by the pickup's syncer; nothing is relayed.
    m_Transport.m_Sends.clear();
    Send(1, PACKET_PICKUP_COLLECTED, CBytes().i32(pPickup->GetNetworkId()).i32(pPed->GetNetworkId()));
    Send(2, PACKET_PICKUP_COLLECTED, CBytes().i32(pPickup->GetNetworkId()).i32(pVehicle->GetNetworkId()));
    Send(2, PACKET_PICKUP_COLLECTED, CBytes().i32(pPed->GetNetworkId()).i32(pPed->GetNetworkId()));
    EXPECT_TRUE(TakeEvents().empty());
    Send(2, PACKET_PICKUP_COLLECTED, CBytes().i32(pPickup->GetNetworkId()).i32(pPed->GetNetworkId()));
    EXPECT_EQ(TakeEvents(), std::vector<std::string>{"OnPickupCollected(" + E(pPickup.Get()) + "," + E(pPed.Get()) + ")"});
    EXPECT_TRUE(m_Transport.m_Sends.empty());

    Send(2, PACKET_CAMERA_INTERIOR, CBytes().u8(14));
    EXPECT_EQ(Client(2)->m_CameraInterior, 14);
}

TEST_F(GameServerTest, NothingButTheFileCheckAnswerBeforeTheCheckIsPassed) {
    Start();
    Strong<CServerPed> pPed = Add<CServerPed>(ELEMENT_PED, 1);
    Client(1)->m_bGameFilesVerified = false;
    Send(1, PACKET_PED_JUMP, CBytes().i32(pPed->GetNetworkId()));
    Send(1, PACKET_CAMERA_INTERIOR, CBytes().u8(3));
    EXPECT_TRUE(TakeEvents().empty());
    EXPECT_TRUE(m_Transport.m_Sends.empty());
    EXPECT_EQ(Client(1)->m_CameraInterior, 0);
}

// ---------------------------------------------------------------------------------------------
// Spawned players

TEST_F(GameServerTest, ASpawnedPlayerReplacesTheOldOneAndReachesItsClientAtOnce) {
    Start();
    Stream();
    const int32_t old = Client(1)->GetPlayer()->GetNetworkId();
    CServerPlayer* pPlayer = m_Server.GetGameManager()->SpawnPlayer(Client(1), {10, 20, 30}, 1.5f, 7, 3, 4);
    ASSERT_NE(pPlayer, nullptr);
    const int32_t player = pPlayer->GetNetworkId();

    // The old player is gone for everyone before the new one exists; the new one reaches its own
    // client at once and only that client, which is then told it plays it (the messages a streaming
    // tick would send, without waiting for one). The creation's record is checked below.
    std::vector<std::pair<uint32_t, Bytes>> toSpawner;
    for (const CRecordingTransport::Send& send : m_Transport.m_Sends)
        if (!send.m_pPeer || send.m_pPeer == Peer(1))
            toSpawner.emplace_back(send.m_Id, send.m_Id == PACKET_ELEMENT_CREATE ? Bytes() : send.m_Payload);
    const std::vector<std::pair<uint32_t, Bytes>> expected = {
        {PACKET_ELEMENT_DELETE, CBytes().u16(1).i32(old)},
        {PACKET_CLIENT_PLAYER, CBytes().u16(1).i32(1).i32(-1)}, {PACKET_LOCAL_PLAYER, CBytes().i32(-1)},
        {PACKET_CLIENT_PLAYER, CBytes().u16(1).i32(1).i32(player)}, {PACKET_LOCAL_PLAYER, CBytes().i32(-1)},
        {PACKET_ELEMENT_CREATE, Bytes()}, {PACKET_LOCAL_PLAYER, CBytes().i32(player)}};
    EXPECT_EQ(toSpawner, expected);
    for (int client : {0, 2}) EXPECT_TRUE(To(client, PACKET_ELEMENT_CREATE).empty());
    CElementCreate created;
    ASSERT_EQ(To(1, PACKET_ELEMENT_CREATE).size(), 1u);
    ASSERT_TRUE(ReadMessage(ReadStream(To(1, PACKET_ELEMENT_CREATE)[0]).Get(), created));
    ASSERT_EQ(created.m_Records.size(), 1u);
    EXPECT_EQ(created.m_Records[0].m_Type, ELEMENT_PLAYER);
    EXPECT_EQ(created.m_Records[0].m_Id, player);
    // The element as it stands: bound already, so under the client's name.
    EXPECT_EQ(Hex(created.m_Records[0].m_Payload), Hex(CBytes().bytes(CreatePayload(*pPlayer)).bytes(SyncPayload(*pPlayer))));
    EXPECT_EQ(Manager().GetObjectFromId(old), nullptr);
    EXPECT_EQ(TakeEvents(), std::vector<std::string>{"OnPedSpawn(" + E(pPlayer) + ")"});

    // Everything asked for, the client as forced syncer, the client's name.
    CVector3D position;
    ASSERT_TRUE(pPlayer->GetPosition(position));
    EXPECT_EQ(position, CVector3D(10, 20, 30));
    EXPECT_FLOAT_EQ(pPlayer->GetHeading(), 1.5f);
    EXPECT_EQ(pPlayer->GetModelIndex(), 7);
    EXPECT_EQ(pPlayer->GetInterior(), 3);
    EXPECT_EQ(pPlayer->GetDimension(), 4);
    EXPECT_EQ(pPlayer->GetSyncer(), Client(1));
    EXPECT_TRUE(pPlayer->HasFlag(NETOBJECT_FORCED_SYNCER));
    EXPECT_STREQ(pPlayer->GetName(), "Client1");
    EXPECT_EQ(Client(1)->GetPlayer(), pPlayer);

    EXPECT_EQ(m_Server.GetGameManager()->SpawnPlayer(nullptr, {0, 0, 0}, 0, 0, 0, 0), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Client-created elements

namespace {

const std::array<uint8_t, 8> kHandle = {1, 2, 3, 4, 0xF5, 0xF6, 0xF7, 0xF8};

// The client names itself as the syncer of what its game created.
Bytes VehicleAnnouncement(int32_t clientId, uint8_t kind, float x, int32_t syncer) {
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, 0, 0, 1};
    return CBytes()
        .i32(clientId).bytes(Bytes(kHandle.begin(), kHandle.end()))
        .baseRecord(syncer).i32(90).u8(0).u8(kind).u32(0).u8(1).u32(0x04030201)                     // creation
        .matrix(m).vec(0, 0, 0).vec(0, 0, 0).u32(0).f32(1000).f32(0).f32(0).f32(0).u8(0).i32(0).u8(0).u8(0); // sync
}

Bytes PedAnnouncement(int32_t clientId, float x, int32_t syncer) {
    return CBytes()
        .i32(clientId).bytes(Bytes(kHandle.begin(), kHandle.end()))
        .baseRecord(syncer).i32(7).u8(0).u8(1).i32(21)
        .i32(0).vec(x, 0, 0).vec(0, 0, 0).vec(0, 0, 0).f32(0).f32(0).f32(100).u8(0).i32(-1).u8(0).u16(0).u16(0).u16(0).u8(0).f32(0).u8(0).u8(0);
}

} // namespace

TEST_F(GameServerTest, ClientCreatedElementsAreIgnoredUnlessAllowed) {
    Start();
    const size_t before = Manager().GetCount();
    Send(0, PACKET_LOCAL_VEHICLE_CREATED, VehicleAnnouncement(5, 0, 500, 0));
    Send(0, PACKET_LOCAL_PED_CREATED, PedAnnouncement(6, 500, 0));
    EXPECT_EQ(Manager().GetCount(), before);
    EXPECT_TRUE(m_Transport.m_Sends.empty());
}

TEST_F(GameServerTest, ClientCreatedVehiclesAndPedsBecomeElements) {
    Start("<synclocalentities>true</synclocalentities>");
    const size_t before = Manager().GetCount();

    // A vehicle of kind 0 is registered wherever it is; the answer echoes the handle.
    Send(1, PACKET_LOCAL_VEHICLE_CREATED, VehicleAnnouncement(5, 0, 3, 1));
    ASSERT_EQ(To(1, PACKET_LOCAL_ELEMENT_ACCEPTED).size(), 1u);
    CLocalElementAccepted answer;
    {
        auto pStream = ReadStream(To(1, PACKET_LOCAL_ELEMENT_ACCEPTED)[0]);
        ASSERT_TRUE(ReadMessage(pStream.Get(), answer));
    }
    EXPECT_EQ(answer.m_Type, ELEMENT_VEHICLE);
    EXPECT_EQ(answer.m_ClientId, 5);
    EXPECT_EQ(answer.m_Handle, kHandle);
    auto* pVehicle = static_cast<CServerVehicle*>(Manager().GetObjectFromId(answer.m_Id));
    ASSERT_NE(pVehicle, nullptr);
    EXPECT_EQ(pVehicle->GetType(), ELEMENT_VEHICLE);
    EXPECT_EQ(pVehicle->GetSyncer(), Client(1));
    EXPECT_FALSE(pVehicle->HasFlag(NETOBJECT_FORCED_SYNCER));
    EXPECT_TRUE(pVehicle->HasFlag(NETOBJECT_TRANSIENT));
    EXPECT_TRUE(pVehicle->HasFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER));
    EXPECT_EQ(pVehicle->GetClientSideId(), 5);
    EXPECT_EQ(pVehicle->GetModelIndex(), 90);
    EXPECT_EQ(pVehicle->GetColour(0), 1);
    EXPECT_EQ(pVehicle->GetColour(3), 4);
    CVector3D position;
    pVehicle->GetPosition(position);
    EXPECT_EQ(position.x, 3.0f);
    // Only the announcing client hears the answer.
    EXPECT_EQ(m_Transport.Count(PACKET_LOCAL_ELEMENT_ACCEPTED), 1u);

    // Kind 1 (and 3) closer than 10 units to an entity is a duplicate: -1, nothing registered.
    m_Transport.m_Sends.clear();
    const size_t count = Manager().GetCount();
    Send(2, PACKET_LOCAL_VEHICLE_CREATED, VehicleAnnouncement(6, 1, 9.9f, 2));
    Send(2, PACKET_LOCAL_VEHICLE_CREATED, VehicleAnnouncement(7, 3, -9.0f, 2));
    const std::vector<Bytes> refusals = To(2, PACKET_LOCAL_ELEMENT_ACCEPTED);
    ASSERT_EQ(refusals.size(), 2u);
    for (const Bytes& payload : refusals) EXPECT_EQ(Hex(Bytes(payload.end() - 4, payload.end())), "FF FF FF FF");
    EXPECT_EQ(Manager().GetCount(), count);
    // At 10 units or beyond it is a new vehicle.
    Send(2, PACKET_LOCAL_VEHICLE_CREATED, VehicleAnnouncement(8, 1, 60, 2));
    EXPECT_EQ(Manager().GetCount(), count + 1);

    // Peds are never duplicates.
    m_Transport.m_Sends.clear();
    Send(2, PACKET_LOCAL_PED_CREATED, PedAnnouncement(9, 0, 2));
    const std::vector<Bytes> pedAnswers = To(2, PACKET_LOCAL_ELEMENT_ACCEPTED);
    ASSERT_EQ(pedAnswers.size(), 1u);
    EXPECT_EQ(Hex(Bytes(pedAnswers[0].begin(), pedAnswers[0].begin() + 8)), Hex(CBytes().i32(ELEMENT_PED).i32(9)));
    EXPECT_EQ(Manager().GetCount(), count + 2);
    EXPECT_GT(Manager().GetCount(), before);

    // A payload cut anywhere makes no element and gets no answer.
    m_Transport.m_Sends.clear();
    const Bytes full = VehicleAnnouncement(10, 0, 900, 0);
    for (size_t length = 0; length < full.size(); length += 7) Send(0, PACKET_LOCAL_VEHICLE_CREATED, Bytes(full.begin(), full.begin() + static_cast<long>(length)));
    EXPECT_EQ(Manager().GetCount(), count + 2);
    EXPECT_TRUE(m_Transport.m_Sends.empty());

    // The announcing client leaves: what only it had goes with it.
    const int32_t id = answer.m_Id;
    Manager().SendCreatePacket(Client(1), pVehicle);
    Manager().OnMachineLeft(Client(1));
    EXPECT_EQ(Manager().GetObjectFromId(id), nullptr);
}

// ---------------------------------------------------------------------------------------------
// GTA IV sessions

TEST_F(GameServerTest, SessionRequestsFollowTheSettings) {
    const struct {
        const char* m_Keys;
        const char* m_Game;
        uint32_t m_AnswerId;
        Bytes m_Answer;
    } cases[] = {
        {"", "gta:iv", PACKET_IV_QUICK_MATCH, CBytes().i32(8).i32(-3)},
        {"<iv_episode>2</iv_episode><iv_gamemode>4</iv_gamemode>", "gta:iv", PACKET_IV_QUICK_MATCH, CBytes().i32(4).i32(2)},
        {"<iv_gamemode>-1</iv_gamemode>", "gta:iv", PACKET_IV_SESSION_EPISODE, CBytes().i32(-3)},
        {"<iv_nativemultiplayer>false</iv_nativemultiplayer>", "gta:iv", PACKET_IV_SESSION_EPISODE, CBytes().i32(-3)},
        {"<iv_nativemultiplayer>true</iv_nativemultiplayer>", "gta:sa", PACKET_IV_SESSION_EPISODE, CBytes().i32(-3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_Keys);
        CArchiveContext archive;
        CGTAServer server;
        const std::string xml = std::string("<server><game>") + c.m_Game + "</game>" + c.m_Keys + "</server>";
        auto pText = MakeStrong<CMemoryStream>(xml.data(), xml.size());
        std::unique_ptr<CElementChunk> pDocument(CElementChunk::Load(pText.Get()));
        CServerConfiguration config(pDocument.get());
        ASSERT_TRUE(server.ParseConfig(config));
        CRecordingTransport transport;
        server.GetMachines().SetTransport(&transport);
        NetPeer peer{};
        auto pClient = MakeStrong<CGTAClient>(&server.GetMachines());
        pClient->m_pPeer = &peer;
        pClient->m_bGameFilesVerified = true;
        server.GetMachines().Set(0, pClient.Get());
        auto pStream = ReadStream(CBytes().i8(-3));
        server.ProcessPacket(&peer, PACKET_IV_REQUEST_SESSION, pStream.Get());
        ASSERT_EQ(transport.m_Sends.size(), 1u);
        EXPECT_EQ(transport.m_Sends[0].m_Id, c.m_AnswerId);
        EXPECT_EQ(Hex(transport.m_Sends[0].m_Payload), Hex(c.m_Answer));
        server.GetMachines().ReleaseAll();
    }
}

TEST_F(GameServerTest, SessionsHostDataAndPeerRelays) {
    Start("", "gta:iv");
    // A cancelled request is answered by nobody.
    m_Cancel = {"OnRequestSession"};
    Send(0, PACKET_IV_REQUEST_SESSION, CBytes().i8(1));
    EXPECT_EQ(TakeEvents(), std::vector<std::string>{"OnRequestSession(c0,1)"});
    EXPECT_TRUE(m_Transport.m_Sends.empty());
    m_Cancel.clear();

    Send(0, PACKET_IV_SESSION_INFO, CBytes().u8(9).i8(-2).i8(-7));
    EXPECT_EQ(Client(0)->m_SessionEpisode, -2);
    EXPECT_EQ(Client(0)->m_SessionGameMode, -7);

    // Host data: stored, answered to whoever asks, cleared again.
    Send(1, PACKET_IV_HOST_DATA, CBytes().u8(1).u8(3).u8(0xAA).u8(0xBB).u8(0xCC));
    Send(0, PACKET_IV_QUERY_HOST_DATA, CBytes().u16(1));
    Send(0, PACKET_IV_QUERY_HOST_DATA, CBytes().u16(2));
    Send(0, PACKET_IV_QUERY_HOST_DATA, CBytes().u16(77)); // nobody there
    Send(0, PACKET_IV_QUERY_HOST_DATA, CBytes().u16(300));
    EXPECT_EQ(To(0, PACKET_IV_HOST_DATA_REPLY),
              (std::vector<Bytes>{CBytes().u16(1).u8(1).u8(3).u8(0xAA).u8(0xBB).u8(0xCC), CBytes().u16(2).u8(0)}));
    Send(1, PACKET_IV_HOST_DATA, CBytes().u8(0));
    m_Transport.m_Sends.clear();
    Send(0, PACKET_IV_QUERY_HOST_DATA, CBytes().u16(1));
    EXPECT_EQ(To(0, PACKET_IV_HOST_DATA_REPLY), std::vector<Bytes>{CBytes().u16(1).u8(0)});

    // Peer data goes to its target with the sender's index, unreliable and unsequenced on channel 2.
    m_Transport.m_Sends.clear();
    Send(0, PACKET_IV_PEER_DATA, CBytes().u16(2).u16(3).u8(1).u8(2).u8(3));
    Send(1, PACKET_IV_PEER_MESSAGE, CBytes().u16(0x55).u16(2).u16(1).u8(9));
    ASSERT_EQ(m_Transport.m_Sends.size(), 2u);
    EXPECT_EQ(To(2, PACKET_IV_PEER_DATA), std::vector<Bytes>{CBytes().u16(0).u16(3).u8(1).u8(2).u8(3)});
    EXPECT_EQ(To(2, PACKET_IV_PEER_MESSAGE), std::vector<Bytes>{CBytes().u16(0x55).u16(1).u16(1).u8(9)});
    for (const auto& send : m_Transport.m_Sends) {
        EXPECT_EQ(send.m_Flags, PACKET_FLAGS_UNSEQUENCED);
        EXPECT_EQ(send.m_Channel, 2);
        EXPECT_EQ(send.m_Priority, PACKET_PRIORITY_LOW);
    }
    // Lengths outside 1..4096, missing targets and the console are refused.
    m_Transport.m_Sends.clear();
    Send(0, PACKET_IV_PEER_DATA, CBytes().u16(2).u16(0));
    Send(0, PACKET_IV_PEER_DATA, CBytes().u16(2).u16(4097).u8(1));
    Send(0, PACKET_IV_PEER_DATA, CBytes().u16(9).u16(1).u8(1));
    Send(0, PACKET_IV_PEER_DATA, CBytes().u16(255).u16(1).u8(1));
    EXPECT_TRUE(m_Transport.m_Sends.empty());

    // Two clients in sessions of different episodes cannot reach each other; either outside can.
    Send(0, PACKET_IV_SESSION_JOINED, CBytes().i8(1));
    Send(2, PACKET_IV_SESSION_JOINED, CBytes().i8(2));
    EXPECT_TRUE(Client(0)->m_bInSession);
    Send(0, PACKET_IV_PEER_DATA, CBytes().u16(2).u16(1).u8(1));
    Send(0, PACKET_IV_PEER_DATA, CBytes().u16(1).u16(1).u8(1));
    EXPECT_TRUE(To(2, PACKET_IV_PEER_DATA).empty());
    EXPECT_EQ(To(1, PACKET_IV_PEER_DATA).size(), 1u);
    Send(2, PACKET_IV_SESSION_JOINED, CBytes().i8(1));
    Send(0, PACKET_IV_PEER_DATA, CBytes().u16(2).u16(1).u8(1));
    EXPECT_EQ(To(2, PACKET_IV_PEER_DATA).size(), 1u);
}

TEST_F(GameServerTest, IVNetworkEventsPassTheirBlocksOrNull) {
    Start("", "gta:iv");
    Send(1, PACKET_IV_NETWORK_EVENT, CBytes().u8(3).u16(0).u16(3).u8(1).u8(2).u8(3));
    Send(1, PACKET_IV_NETWORK_EVENT, CBytes().u8(26).u16(1).u8(0xEE).u16(0));
    // Out of bounds: dropped.
    Send(1, PACKET_IV_NETWORK_EVENT, CBytes().u8(27).u16(0).u16(0));
    Send(1, PACKET_IV_NETWORK_EVENT, CBytes().u8(0).u16(1025).zeros(1025).u16(0));
    Send(1, PACKET_IV_NETWORK_EVENT, CBytes().u8(0).u16(2).u8(1));
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"OnAddIVNetworkEvent(c1,3,'WEAPON_DAMAGE_EVENT',null,[01 02 03])",
                                                      "OnAddIVNetworkEvent(c1,26,'HOST_VARIABLES_VERIFY_EVENT',[EE],null)"}));
}

TEST_F(GameServerTest, TheGameWithoutAColourTableDoesNotStart) {
    CArchiveContext archive;
    CGTAServer server;
    const std::string xml = "<server><game>bully</game></server>";
    auto pText = MakeStrong<CMemoryStream>(xml.data(), xml.size());
    std::unique_ptr<CElementChunk> pDocument(CElementChunk::Load(pText.Get()));
    CServerConfiguration config(pDocument.get());
    testing::internal::CaptureStdout();
    EXPECT_FALSE(server.ParseConfig(config));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Failed to load vehicle colours!"), std::string::npos);
}

TEST_F(GameServerTest, GameKeysAndTheirDefaults) {
    Start("<pickupstreamindistance>12</pickupstreamindistance><timesync>false</timesync><planes>true</planes>"
          "<nametags>false</nametags><iv_nativemultiplayer>true</iv_nativemultiplayer>");
    const CGameSettings& s = m_Server.GetGameLayer()->GetSettings();
    EXPECT_EQ(s.m_PickupStreamInDistance, 12.0f);
    EXPECT_EQ(s.m_PickupStreamOutDistance, 100.0f);
    EXPECT_FALSE(s.m_bTimeSync);
    EXPECT_TRUE(s.m_bWeatherSync);
    EXPECT_TRUE(s.m_bPlanes);
    EXPECT_FALSE(s.m_bNametags);
    EXPECT_FALSE(s.m_bIVNativeMultiplayer); // GTA IV only
    EXPECT_EQ(s.m_IVGameMode, 8);
    EXPECT_EQ(s.m_IVEpisode, -1);
    EXPECT_EQ(m_Server.GetGameLayer()->GetWorld().GetMinuteDuration(), 1.0);
    // New pickups take the pickup distances.
    Strong<CServerPickup> pPickup = Strong<CServerPickup>::Adopt(static_cast<CServerPickup*>(Manager().Create(ELEMENT_PICKUP)));
    EXPECT_EQ(pPickup->GetStreamInDistance(), 12.0f);

    CArchiveContext archive;
    CGTAServer iv;
    const std::string xml = "<server><game>gta:iv</game></server>";
    auto pText = MakeStrong<CMemoryStream>(xml.data(), xml.size());
    std::unique_ptr<CElementChunk> pDocument(CElementChunk::Load(pText.Get()));
    CServerConfiguration config(pDocument.get());
    ASSERT_TRUE(iv.ParseConfig(config));
    EXPECT_EQ(iv.GetGameLayer()->GetWorld().GetMinuteDuration(), 2.0);
    EXPECT_TRUE(iv.GetGameLayer()->GetSettings().m_bIVNativeMultiplayer);
}
