// The machine table and a machine's data and binding messages, against a transport that records what
// would go out.
#include "ByteTable.h"

#include "Engine/Argument.h"
#include "Multiplayer/NetMachines.h"
#include "Multiplayer/NetObjectMgr.h"
#include "Network/NetServer.h"

#include <gtest/gtest.h>

#include <memory>

using namespace Tessera3D;

namespace {

class CRecordingTransport : public CNetServer {
public:
    struct Send {
        NetPeer* m_pPeer;
        Bytes m_Bytes;
    };
    bool Initialise(uint16_t, const char*, bool) override { return true; }
    bool Disconnect(NetPeer*, uint32_t) override { return true; }
    void Update() override {}
    bool SendPacket(NetPeer* pPeer, const Packet* pPacket, ePacketPriority, uint32_t, uint8_t) override {
        m_Sends.push_back({pPeer, Bytes(pPacket->GetData(), pPacket->GetData() + pPacket->GetSize())});
        return true;
    }
    bool SendEveryonePacket(const Packet* pPacket, ePacketPriority priority, uint32_t flags, uint8_t channel) override {
        return SendPacket(nullptr, pPacket, priority, flags, channel);
    }
    bool GetIPAddress(NetPeer*, CIPAddress&) override { return false; }
    uint32_t GetLastPing(NetPeer*) override { return 0; }

    std::vector<Send> m_Sends;
};

// Two clients in slots 0 and 1 and the console in 255; peers are only compared, never used.
struct MachinesFixture : ::testing::Test {
    MachinesFixture() : m_Machines(&m_Transport) {
        for (int i = 0; i < 2; ++i) {
            auto pClient = MakeStrong<CNetMachine>(&m_Machines);
            pClient->m_pPeer = &m_Peers[i];
            pClient->m_Name = i ? "Bob" : "Ann";
            m_Machines.Set(i, pClient.Get());
        }
        auto pConsole = MakeStrong<CNetMachine>(&m_Machines);
        pConsole->m_bConsole = true;
        m_Machines.Set(255, pConsole.Get());
    }

    // Each message went once to each client, never to the console, with the same bytes.
    Bytes SentToBoth() {
        EXPECT_EQ(m_Transport.m_Sends.size(), 2u);
        if (m_Transport.m_Sends.size() != 2) return {};
        EXPECT_EQ(m_Transport.m_Sends[0].m_pPeer, &m_Peers[0]);
        EXPECT_EQ(m_Transport.m_Sends[1].m_pPeer, &m_Peers[1]);
        EXPECT_EQ(m_Transport.m_Sends[0].m_Bytes, m_Transport.m_Sends[1].m_Bytes);
        Bytes bytes = m_Transport.m_Sends[0].m_Bytes;
        m_Transport.m_Sends.clear();
        return bytes;
    }

    CRecordingTransport m_Transport;
    NetPeer m_Peers[2] = {};
    CNetMachines m_Machines;
};

} // namespace

TEST_F(MachinesFixture, TableSlotsAndLookups) {
    EXPECT_EQ(m_Machines.GetCount(), 3u);
    EXPECT_EQ(m_Machines.FindFreeSlot(), 2);
    EXPECT_EQ(m_Machines.GetMachineFromPeer(&m_Peers[1])->m_Name, "Bob");
    EXPECT_EQ(m_Machines.Get(256), nullptr);
    Strong<CNetMachine> pAnn = m_Machines.Get(0);
    m_Machines.Release(0);
    EXPECT_EQ(pAnn->m_Index, -1);
    EXPECT_EQ(m_Machines.FindFreeSlot(), 0);
    EXPECT_EQ(m_Machines.GetMachineFromPeer(&m_Peers[0]), nullptr);
    m_Machines.ReleaseAll();
    EXPECT_EQ(m_Machines.GetCount(), 0u);
}

TEST_F(MachinesFixture, DataMessagesGoToEveryClient) {
    CNetMachine* pBob = m_Machines.Get(1);
    auto pValue = MakeStrong<CArgumentInteger>(7);
    ASSERT_TRUE(pBob->SetData("score", pValue.Get(), true));
    EXPECT_EQ(Hex(SentToBoth()), Hex(HexBytes("02 34 52 54  18 00 00 00" // header, PACKET_CLIENT_DATA
                                              "01 00  01 00 00 00"       // one record, client 1
                                              "01 00  05 73 63 6F 72 65" // one entry, "score"
                                              "04  07 00 00 00")));      // integer 7
    EXPECT_EQ(pBob->GetData().Get("score")->GetType(), ARGUMENT_INTEGER);

    ASSERT_TRUE(pBob->SetData("quiet", pValue.Get(), false));
    EXPECT_TRUE(m_Transport.m_Sends.empty()) << "unsynced data is stored silently";

    ASSERT_TRUE(pBob->RemoveData("score"));
    EXPECT_EQ(Hex(SentToBoth()), Hex(HexBytes("02 34 52 54 18 00 00 00  01 00 01 00 00 00  01 00 05 73 63 6F 72 65  00")));
    EXPECT_FALSE(pBob->RemoveData("score"));
    EXPECT_TRUE(m_Transport.m_Sends.empty()) << "removing an absent key sends nothing";

    pBob->ClearData();
    EXPECT_EQ(Hex(SentToBoth()), Hex(HexBytes("02 34 52 54 19 00 00 00  01 00 01 00 00 00")));
    EXPECT_TRUE(pBob->GetData().IsEmpty());
}

TEST_F(MachinesFixture, NullValueRemovesTheKeyAndIsAnnouncedAsTypeZero) {
    CNetMachine* pAnn = m_Machines.Get(0);
    auto pValue = MakeStrong<CArgumentBoolean>(true);
    ASSERT_TRUE(pAnn->SetData("flag", pValue.Get(), false));
    auto pNull = Strong<CArgument>::Adopt(CArgument::Create(ARGUMENT_NIL));
    ASSERT_TRUE(pAnn->SetData("flag", pNull.Get(), true));
    EXPECT_EQ(Hex(SentToBoth()), Hex(HexBytes("02 34 52 54 18 00 00 00  01 00 00 00 00 00  01 00 04 66 6C 61 67  00")));
    EXPECT_EQ(pAnn->GetData().Get("flag"), nullptr);
}

TEST_F(MachinesFixture, PlayerBindingAndUpdates) {
    auto pManager = std::make_unique<CNetObjectMgr>(&m_Machines);
    CNetMachine* pAnn = m_Machines.Get(0);
    auto pElement = MakeStrong<CNetObject>(pManager.get());
    ASSERT_TRUE(pManager->RegisterNetObject(pElement.Get()));
    ASSERT_EQ(pElement->GetNetworkId(), 1);
    pAnn->SetPlayer(pElement.Get());
    EXPECT_EQ(Hex(SentToBoth()), Hex(HexBytes("02 34 52 54 1A 00 00 00  01 00 00 00 00 00  01 00 00 00")));
    EXPECT_STREQ(pElement->GetName(), "Ann") << "binding names the element after the client";
    pAnn->SetPlayer(pElement.Get());
    EXPECT_TRUE(m_Transport.m_Sends.empty()) << "binding the bound element again sends nothing";
    EXPECT_EQ(pAnn->GetPlayer(), pElement.Get());

    pAnn->SendPlayer();
    EXPECT_TRUE(m_Transport.m_Sends.empty()) << "nothing before the client is in game";
    pAnn->m_bInGame = true;
    pAnn->SendPlayer();
    pManager->SendCreatePacket(pAnn, pElement.Get());
    pAnn->SendPlayer();
    ASSERT_EQ(m_Transport.m_Sends.size(), 4u);
    EXPECT_EQ(Hex(m_Transport.m_Sends[0].m_Bytes), Hex(HexBytes("02 34 52 54 05 00 00 00 FF FF FF FF")))
        << "-1 until the element exists for the client";
    EXPECT_EQ(m_Transport.m_Sends[1].m_Bytes[4], PACKET_ELEMENT_CREATE);
    EXPECT_EQ(m_Transport.m_Sends[2].m_Bytes[4], PACKET_ELEMENT_SYNCER);
    EXPECT_EQ(Hex(m_Transport.m_Sends[3].m_Bytes), Hex(HexBytes("02 34 52 54 05 00 00 00 01 00 00 00")));
    m_Transport.m_Sends.clear();

    pAnn->m_bAdministrator = true;
    pAnn->SendUpdate();
    EXPECT_EQ(Hex(SentToBoth()), Hex(HexBytes("02 34 52 54 22 00 00 00  01 00 00 00 00 00  01")));

    // Destroying the element unbinds it.
    ASSERT_TRUE(pManager->DestroyObject(pElement.Get(), true, false));
    EXPECT_EQ(pAnn->GetPlayer(), nullptr);
    EXPECT_EQ(pAnn->GetPlayerId(), -1);
}
