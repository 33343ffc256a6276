// The host's share of replication: the game layer's element manager, the replication messages of
// admitted clients reaching it, and a leaving client's elements and player element.
#include "GTAClient.h"
#include "GTAServer.h"
#include "GTAServerManager.h"

#include "Engine/BinaryWriter.h"
#include "Engine/MemoryStream.h"
#include "Engine/UnlimitedStream.h"
#include "Multiplayer/ElementMessages.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Tessera3D;

namespace {

// An element on every dimension at any distance, whose sync payload is one float.
class CValueElement : public CNetObject {
public:
    explicit CValueElement(CNetObjectMgr* pManager) : CNetObject(pManager) {
        SetType(ELEMENT_OBJECT);
        SetFlag(NETOBJECT_ON_ALL_DIMENSIONS | NETOBJECT_SEND_SYNC, true);
    }
    bool ReadSyncPacket(Stream* pStream) override {
        if (!CBinaryReader(pStream).ReadFloat(m_Value)) return false;
        return CNetObject::ReadSyncPacket(pStream);
    }
    float m_Value = 0.0f;
};

// A server without a transport host (sends are dropped) with two admitted clients in game.
class ReplicationWiringTest : public ::testing::Test {
protected:
    ReplicationWiringTest() {
        m_Server.CreateConsoleClient();
        for (int i = 0; i < 2; ++i) {
            auto pClient = MakeStrong<CGTAClient>(&m_Server.GetMachines());
            pClient->m_pPeer = &m_Peers[i];
            pClient->m_Name = i ? "Bob" : "Ann";
            pClient->m_bGameFilesVerified = true;
            pClient->m_bInGame = true;
            m_Server.GetMachines().Set(i, pClient.Get());
        }
    }

    CNetObjectMgr& Manager() { return *m_Server.GetManager(); }
    CNetMachine* Client(int index) { return m_Server.GetMachines().Get(index); }

    Strong<CValueElement> AddFor(std::initializer_list<int> clients) {
        auto pElement = MakeStrong<CValueElement>(&Manager());
        EXPECT_TRUE(Manager().RegisterNetObject(pElement.Get()));
        for (int index : clients) Manager().SendCreatePacket(Client(index), pElement.Get());
        return pElement;
    }

    // Hands a message payload to the server as if it came from the client's peer.
    void Receive(int client, uint32_t id, const std::vector<uint8_t>& payload) {
        auto pStream = MakeStrong<CMemoryStream>(static_cast<const void*>(payload.data()), payload.size());
        m_Server.ProcessPacket(&m_Peers[client], id, pStream.Get());
    }

    template <typename TMessage>
    static std::vector<uint8_t> Payload(const TMessage& message) {
        Strong<Packet> pPacket = BuildMessage(message);
        return std::vector<uint8_t>(pPacket->GetData() + PACKET_HEADER_SIZE, pPacket->GetData() + pPacket->GetSize());
    }

    NetPeer m_Peers[2] = {};
    CGTAServer m_Server;
};

} // namespace

TEST_F(ReplicationWiringTest, TheGameLayerOwnsTheManagerThatResolvesIds) {
    EXPECT_NE(dynamic_cast<CGTAServerManager*>(m_Server.GetManager()), nullptr);
    EXPECT_EQ(m_Server.GetMachines().GetRegistry(), m_Server.GetManager());
    auto pElement = AddFor({});
    EXPECT_EQ(m_Server.GetMachines().GetRegistry()->FindNetObject(pElement->GetNetworkId()), pElement.Get());
}

TEST_F(ReplicationWiringTest, ReplicationMessagesFromClientsReachTheManager) {
    auto pElement = AddFor({0, 1});
    ASSERT_EQ(pElement->GetSyncer(), Client(0)) << "the first client that got it";

    CRequestSyncer request;
    request.m_Id = pElement->GetNetworkId();
    Receive(1, PACKET_REQUEST_SYNCER, Payload(request));
    EXPECT_EQ(pElement->GetSyncer(), Client(1));

    CElementSync sync;
    CElementRecord record;
    record.m_Type = ELEMENT_OBJECT;
    record.m_Id = pElement->GetNetworkId();
    record.m_Payload = {0x00, 0x00, 0x20, 0x41}; // 10.0f
    sync.m_Records.push_back(record);
    Receive(1, PACKET_ELEMENT_SYNC, Payload(sync));
    EXPECT_EQ(pElement->m_Value, 10.0f);

    CElementDelete dropped;
    dropped.m_Ids = {pElement->GetNetworkId()};
    Receive(0, PACKET_ELEMENT_DELETE, Payload(dropped));
    EXPECT_FALSE(pElement->IsCreatedFor(0));
    EXPECT_TRUE(pElement->IsCreatedFor(1));

    // Before the game-file check nothing of this reaches the manager.
    static_cast<CGTAClient*>(Client(0))->m_bGameFilesVerified = false;
    request.m_Id = pElement->GetNetworkId();
    Receive(0, PACKET_REQUEST_SYNCER, Payload(request));
    EXPECT_EQ(pElement->GetSyncer(), Client(1));
}

TEST_F(ReplicationWiringTest, ALeavingClientGivesUpItsElementsAndItsPlayer) {
    auto pPlayer = AddFor({1});
    Client(1)->SetPlayer(pPlayer.Get());
    EXPECT_STREQ(pPlayer->GetName(), "Bob");
    auto pSynced = AddFor({1, 0});
    ASSERT_EQ(pSynced->GetSyncer(), Client(1));
    auto pTransient = AddFor({1});
    pTransient->SetFlag(NETOBJECT_TRANSIENT, true);

    Strong<CNetMachine> pBob = Client(1);
    m_Server.OnPlayerDisconnect(&m_Peers[1], 0);
    EXPECT_EQ(Client(1), nullptr) << "the slot is free";
    EXPECT_FALSE(pPlayer->IsRegistered()) << "its player element is destroyed";
    EXPECT_EQ(pBob->GetPlayer(), nullptr);
    EXPECT_EQ(pSynced->GetSyncer(), nullptr);
    EXPECT_FALSE(pSynced->IsCreatedFor(1));
    EXPECT_TRUE(pSynced->IsRegistered());
    EXPECT_FALSE(pTransient->IsRegistered()) << "nobody has it any more";
    EXPECT_TRUE(Manager().GetCreatedSet(1).IsEmpty());
}
