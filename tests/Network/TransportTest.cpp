// The transport over real ENet on loopback, with and without the network thread.
#include "LoopbackHarness.h"

#include "Engine/Packet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <memory>

using namespace Tessera3D;
using namespace NetworkTest;

namespace {

class TransportBase : public ::testing::Test {
protected:
    virtual bool Multithreaded() const = 0;

    void SetUp() override {
        // Another process may take the port between probing and binding: try a few.
        for (int attempt = 0; attempt < 5 && !m_pServer; ++attempt) {
            m_Port = FindFreeUdpPort();
            auto pServer = std::make_unique<CENetServer>(&m_Recorder);
            if (pServer->Initialise(m_Port, "127.0.0.1", Multithreaded())) m_pServer = std::move(pServer);
        }
        ASSERT_TRUE(m_pServer);
    }

    // Server updates and every client's servicing, until done.
    bool Pump(const std::function<bool()>& done, int timeoutMs = 5000) {
        return PumpUntil([this] { m_pServer->Update(); ServiceClients(); }, done, timeoutMs);
    }
    // Clients only: the main thread of the server is stalled.
    bool PumpClients(const std::function<bool()>& done, int timeoutMs = 5000) {
        return PumpUntil([this] { ServiceClients(); }, done, timeoutMs);
    }
    void ServiceClients() {
        for (CTestClient* pClient : m_Clients) pClient->Service();
    }

    // Connects a client and waits until both sides know it; the server's peer.
    NetPeer* Connect(CTestClient& client) {
        m_Clients.push_back(&client);
        const size_t before = m_Recorder.m_Connects.size();
        if (!client.Connect(m_Port)) return nullptr;
        if (!Pump([&] { return client.m_bConnected && m_Recorder.m_Connects.size() > before; })) return nullptr;
        return m_Recorder.m_Connects.back();
    }

    int ExpectedThreads() const { return Multithreaded() ? 1 : 0; }
    // A new thread names itself once it runs; wait for that rather than for a fixed time.
    int NetworkThreadsAfterStart() {
        PumpUntil([] {}, [&] { return CountNetworkThreads() == ExpectedThreads(); }, 2000);
        return CountNetworkThreads();
    }

    CRecorder m_Recorder;
    std::unique_ptr<CENetServer> m_pServer;
    uint16_t m_Port = 0;
    std::vector<CTestClient*> m_Clients;
};

// Every behaviour with and without the network thread.
class Transport : public TransportBase, public ::testing::WithParamInterface<bool> {
protected:
    bool Multithreaded() const override { return GetParam(); }
};

// Behaviours that exist only while the network thread lets ENet run ahead of the main thread.
class NetworkThreadTransport : public TransportBase {
protected:
    bool Multithreaded() const override { return true; }
};

Bytes Framed(uint32_t id, const std::string& payload) {
    Packet packet(id);
    packet.Write(payload.data(), payload.size());
    return StreamBytes(packet);
}

TEST_P(Transport, ConnectedPeerIsReportedWithItsAddressAndPing) {
    EXPECT_EQ(CountNetworkThreads(), 0);
    CTestClient client;
    NetPeer* pPeer = Connect(client);
    ASSERT_NE(pPeer, nullptr);
    ASSERT_EQ(m_Recorder.m_Connects.size(), 1u);
    EXPECT_EQ(m_Recorder.m_ConnectData[0], nullptr) << "per-peer data cleared on connect";
    EXPECT_EQ(m_pServer->GetConnectedPeerCount(), 1u);
    EXPECT_EQ(m_pServer->HasNetworkThread(), Multithreaded());
    EXPECT_EQ(NetworkThreadsAfterStart(), ExpectedThreads());

    CIPAddress address;
    ASSERT_TRUE(m_pServer->GetIPAddress(pPeer, address));
    EXPECT_EQ(address.m_Family, CIPAddress::FAMILY_IPV4);
    EXPECT_EQ(address.m_Port, client.GetLocalPort());
    char text[32];
    ASSERT_TRUE(address.ToString(text, sizeof(text)));
    EXPECT_STREQ(text, "127.0.0.1");

    EXPECT_NE(m_pServer->GetLastPing(pPeer), 4294967295u);
    EXPECT_EQ(m_pServer->GetLastPing(nullptr), 4294967295u);
    EXPECT_EQ(m_pServer->GetLastPing(client.m_pPeer), 4294967295u) << "a peer of another host";
}

TEST_P(Transport, FramedMessagesReachTheHandlerAndOthersAreDropped) {
    CTestClient client;
    NetPeer* pPeer = Connect(client);
    ASSERT_NE(pPeer, nullptr);

    struct Case { const char* bytes; bool dispatched; uint32_t id; const char* payload; } cases[] = {
        {"02 34 52 54  2A 00 00 00  68 69", true, 42, "68 69"},         // id 42, payload "hi"
        {"02 34 52 55  2A 00 00 00  68 69", false, 0, ""},              // last magic byte differs
        {"54 52 34 02  2A 00 00 00", false, 0, ""},                     // magic in the wrong byte order
        {"02 34 52 54  07 00 00", false, 0, ""},                        // id cut short
        {"02 34 52", false, 0, ""},                                     // magic cut short
        {"02 34 52 54  FF FF FF FF", true, 0xFFFFFFFF, ""},             // header only
        {"02 34 52 54  01 00 00 00  02 34 52 54", true, 1, "02 34 52 54"},
    };
    size_t expected = 0;
    for (const Case& c : cases) {
        ASSERT_TRUE(client.Send(HexBytes(c.bytes), 2));
        expected += c.dispatched;
    }
    // Reliable on one channel, so once the last arrives every earlier one has been handled.
    ASSERT_TRUE(client.Send(Framed(99, ""), 2));
    ASSERT_TRUE(Pump([&] { return m_Recorder.m_Messages.size() == expected + 1; }));
    Pump([] { return false; }, 20);
    ASSERT_EQ(m_Recorder.m_Messages.size(), expected + 1);

    size_t index = 0;
    for (const Case& c : cases) {
        if (!c.dispatched) continue;
        const CRecorder::Message& message = m_Recorder.m_Messages[index++];
        EXPECT_EQ(message.m_pPeer, pPeer) << c.bytes;
        EXPECT_EQ(message.m_Id, c.id) << c.bytes;
        EXPECT_EQ(message.m_Payload, HexBytes(c.payload)) << c.bytes;
        EXPECT_EQ(message.m_Position, 8) << c.bytes;
        EXPECT_FALSE(message.m_bWritable) << c.bytes;
    }
    EXPECT_EQ(m_Recorder.m_Messages.back().m_Id, 99u);
}

TEST_P(Transport, SendsPacketBytesOnTheChosenChannelWithMappedFlags) {
    CTestClient first, second;
    NetPeer* pFirst = Connect(first);
    ASSERT_NE(pFirst, nullptr);
    ASSERT_NE(Connect(second), nullptr);

    struct Case { uint32_t flags; uint8_t channel; uint32_t enetFlags; } cases[] = {
        {PACKET_FLAGS_RELIABLE, 0, ENET_PACKET_FLAG_RELIABLE},
        {PACKET_FLAGS_UNSEQUENCED, 2, ENET_PACKET_FLAG_UNSEQUENCED},
        {PACKET_FLAGS_NONE, 1, 0},                                        // unreliable, sequenced
        {PACKET_FLAGS_RELIABLE | PACKET_FLAGS_UNSEQUENCED, 3, ENET_PACKET_FLAG_RELIABLE},
    };
    uint32_t id = 100;
    for (const Case& c : cases) {
        Packet packet(id++);
        packet.Write("payload", 7);
        const size_t before = first.m_Received.size();
        ASSERT_TRUE(m_pServer->SendPacket(pFirst, &packet, PACKET_PRIORITY_LOW, c.flags, c.channel));
        ASSERT_TRUE(Pump([&] { return first.m_Received.size() > before; })) << c.flags;
        const CTestClient::Received& received = first.m_Received.back();
        EXPECT_EQ(received.m_Bytes, StreamBytes(packet)) << c.flags;
        EXPECT_EQ(received.m_Channel, c.channel) << c.flags;
        EXPECT_EQ(received.m_Flags & (ENET_PACKET_FLAG_RELIABLE | ENET_PACKET_FLAG_UNSEQUENCED), c.enetFlags) << c.flags;
    }

    // A large message is fragmented by ENet and arrives whole.
    Packet large(7);
    for (int i = 0; i < 20000; ++i) large.Write(&i, sizeof(i));
    const size_t before = first.m_Received.size();
    ASSERT_TRUE(m_pServer->SendPacket(pFirst, &large, PACKET_PRIORITY_LOW, PACKET_FLAGS_RELIABLE, 0));
    ASSERT_TRUE(Pump([&] { return first.m_Received.size() > before; }));
    EXPECT_EQ(first.m_Received.back().m_Bytes, StreamBytes(large));

    Packet everyone(200);
    everyone.Write("all", 3);
    ASSERT_TRUE(m_pServer->SendEveryonePacket(&everyone, PACKET_PRIORITY_LOW, PACKET_FLAGS_RELIABLE, 3));
    ASSERT_TRUE(Pump([&] { return !second.m_Received.empty() && first.m_Received.size() == std::size(cases) + 2; }));
    ASSERT_EQ(second.m_Received.size(), 1u) << "sends to one peer reach only that peer";
    EXPECT_EQ(second.m_Received[0].m_Bytes, StreamBytes(everyone));
    EXPECT_EQ(second.m_Received[0].m_Channel, 3);
    EXPECT_EQ(first.m_Received.back().m_Bytes, StreamBytes(everyone));
}

TEST_P(Transport, DisconnectDeliversTheReasonAfterWhatWasSentBefore) {
    CTestClient client;
    NetPeer* pPeer = Connect(client);
    ASSERT_NE(pPeer, nullptr);

    Packet farewell(6);
    farewell.Write("bye", 3);
    ASSERT_TRUE(m_pServer->SendPacket(pPeer, &farewell, PACKET_PRIORITY_LOW, PACKET_FLAGS_RELIABLE, 0));
    ASSERT_TRUE(m_pServer->Disconnect(pPeer, 13));
    ASSERT_TRUE(Pump([&] { return client.m_bDisconnected && !m_Recorder.m_Disconnects.empty(); }));

    EXPECT_EQ(client.m_DisconnectData, 13u);
    ASSERT_EQ(client.m_ReceivedBeforeDisconnect, 1u) << "the message sent before the disconnect is not lost";
    EXPECT_EQ(client.m_Received[0].m_Bytes, StreamBytes(farewell));
    ASSERT_EQ(m_Recorder.m_Disconnects.size(), 1u);
    EXPECT_EQ(m_Recorder.m_Disconnects[0].m_pPeer, pPeer);
    EXPECT_EQ(m_Recorder.m_Disconnects[0].m_Reason, 0u) << "ENet reports 0 for a disconnect the server started";

    // The peer is gone: every operation on it is refused without touching ENet.
    EXPECT_FALSE(m_pServer->SendPacket(pPeer, &farewell, PACKET_PRIORITY_LOW, PACKET_FLAGS_RELIABLE, 0));
    EXPECT_FALSE(m_pServer->Disconnect(pPeer, 1));
    EXPECT_EQ(m_pServer->GetLastPing(pPeer), 4294967295u);
    EXPECT_EQ(m_pServer->GetConnectedPeerCount(), 0u);
    EXPECT_FALSE(m_pServer->HasNetworkThread());
    EXPECT_EQ(CountNetworkThreads(), 0);
}

TEST_P(Transport, NetworkThreadLivesOnlyWhilePeersAreConnected) {
    CTestClient first, second;
    NetPeer* pFirst = Connect(first);
    ASSERT_NE(pFirst, nullptr);
    NetPeer* pSecond = Connect(second);
    ASSERT_NE(pSecond, nullptr);
    EXPECT_EQ(NetworkThreadsAfterStart(), ExpectedThreads());

    first.Disconnect(12);
    ASSERT_TRUE(Pump([&] { return m_Recorder.m_Disconnects.size() == 1; }));
    EXPECT_EQ(m_Recorder.m_Disconnects[0].m_pPeer, pFirst);
    EXPECT_EQ(m_Recorder.m_Disconnects[0].m_Reason, 12u) << "the client's own disconnect data";
    EXPECT_EQ(m_pServer->HasNetworkThread(), Multithreaded()) << "one peer is still connected";
    EXPECT_EQ(NetworkThreadsAfterStart(), ExpectedThreads());

    second.Disconnect(0);
    ASSERT_TRUE(Pump([&] { return m_Recorder.m_Disconnects.size() == 2; }));
    EXPECT_EQ(m_Recorder.m_Disconnects[1].m_pPeer, pSecond);
    EXPECT_FALSE(m_pServer->HasNetworkThread());
    EXPECT_EQ(CountNetworkThreads(), 0) << "joined, not left running";

    // A later connection starts it again, and the main loop services ENet in between.
    CTestClient third;
    ASSERT_NE(Connect(third), nullptr);
    EXPECT_EQ(NetworkThreadsAfterStart(), ExpectedThreads());
}

TEST_P(Transport, DatagramsStartingFFFFAreAnsweredDirectlyOthersGoToENet) {
    CUdpSocket browser;
    CTestClient client;
    // First with the main thread servicing ENet, then with a peer connected (the network thread's
    // turn when there is one).
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        if (round == 1) {
            ASSERT_NE(Connect(client), nullptr);
        }
        const size_t before = m_Recorder.Datagrams().size();
        ASSERT_TRUE(browser.SendTo(m_Port, HexBytes("FF")));                      // one byte: ENet's
        ASSERT_TRUE(browser.SendTo(m_Port, HexBytes("FF FF 4F 47 50 00 01 01")));  // a query
        Bytes answer;
        ASSERT_TRUE(Pump([&] { return browser.TryReceive(answer); }));
        EXPECT_EQ(answer, HexBytes("FF FF 61 6E 73 77 65 72  4F 47 50 00 01 01"));
        const std::vector<Bytes> datagrams = m_Recorder.Datagrams();
        ASSERT_EQ(datagrams.size(), before + 1) << "the one-byte datagram is not the server's";
        EXPECT_EQ(datagrams.back(), HexBytes("FF FF 4F 47 50 00 01 01"));
    }
    {
        std::lock_guard<std::mutex> lock(m_Recorder.m_DatagramMutex);
        EXPECT_EQ(m_Recorder.m_DatagramThreads[0], std::this_thread::get_id());
        EXPECT_EQ(m_Recorder.m_DatagramThreads[1] != std::this_thread::get_id(), Multithreaded());
    }
    // ENet traffic is unaffected by the hook.
    ASSERT_TRUE(client.Send(Framed(5, "ok"), 0));
    ASSERT_TRUE(Pump([&] { return m_Recorder.m_Messages.size() == 1; }));
}

// While the main thread has not yet handled a disconnect, ENet may already give the slot to a new
// connection; what the main thread sent to the old connection must not reach the new one, and the
// server's data for the old connection must still be in place when it handles the disconnect.
TEST_F(NetworkThreadTransport, SendToAConnectionWhoseSlotWasReusedIsDropped) {
    CTestClient first, second;
    NetPeer* pFirst = Connect(first);
    ASSERT_NE(pFirst, nullptr);
    void* pFirstRecord = pFirst->data;

    first.DisconnectNow();
    // Once the network thread has taken the disconnect from ENet, the slot is free for the next.
    ASSERT_TRUE(PumpClients([&] { return m_pServer->GetQueuedEventCount() == 1; }));
    m_Clients.push_back(&second);
    ASSERT_TRUE(second.Connect(m_Port));
    // The network thread has taken both the disconnect and the new connect from ENet.
    ASSERT_TRUE(PumpClients([&] { return second.m_bConnected && m_pServer->GetQueuedEventCount() == 2; }));

    Packet stale(66);
    stale.Write("stale", 5);
    EXPECT_TRUE(m_pServer->SendPacket(pFirst, &stale, PACKET_PRIORITY_LOW, PACKET_FLAGS_RELIABLE, 0))
        << "the main thread still knows the old connection";
    PumpClients([] { return false; }, 30);

    ASSERT_TRUE(Pump([&] { return m_Recorder.m_Connects.size() == 2; }));
    ASSERT_EQ(m_Recorder.m_Disconnects.size(), 1u);
    EXPECT_EQ(m_Recorder.m_Disconnects[0].m_pPeer, pFirst);
    EXPECT_EQ(m_Recorder.m_Disconnects[0].m_pData, pFirstRecord);
    NetPeer* pSecond = m_Recorder.m_Connects[1];
    ASSERT_EQ(pSecond, pFirst) << "ENet reused the slot";
    EXPECT_EQ(m_Recorder.m_ConnectData[1], nullptr);

    Packet marker(67);
    ASSERT_TRUE(m_pServer->SendPacket(pSecond, &marker, PACKET_PRIORITY_LOW, PACKET_FLAGS_RELIABLE, 0));
    ASSERT_TRUE(Pump([&] { return !second.m_Received.empty(); }));
    ASSERT_EQ(second.m_Received.size(), 1u);
    EXPECT_EQ(second.m_Received[0].m_Bytes, StreamBytes(marker));
}

// A stalled main thread: the network thread stops taking events at the limit, loses nothing, and
// the flood is delivered in order once the main thread catches up.
TEST_F(NetworkThreadTransport, EventQueueStaysBoundedWhileTheMainThreadLags) {
    struct Case { size_t maxEvents; size_t maxBytes; size_t payload; size_t bound; } cases[] = {
        {8, 1 << 20, 16, 8},   // the event count binds
        {1000, 64, 40, 2},     // the byte count binds: 48-byte messages, one past the limit at most
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.maxEvents);
        m_pServer->SetEventQueueLimits(c.maxEvents, c.maxBytes);
        CTestClient client;
        ASSERT_NE(Connect(client), nullptr);
        m_Recorder.m_Messages.clear();
        const uint32_t count = 100;
        for (uint32_t i = 0; i < count; ++i) ASSERT_TRUE(client.Send(Framed(i, std::string(c.payload, 'x'))));

        ASSERT_TRUE(PumpClients([&] { return m_pServer->GetQueuedEventCount() == c.bound; }));
        PumpClients([&] { return m_pServer->GetQueuedEventCount() > c.bound; }, 100);
        EXPECT_EQ(m_pServer->GetQueuedEventCount(), c.bound);

        ASSERT_TRUE(Pump([&] { return m_Recorder.m_Messages.size() == count; }));
        for (uint32_t i = 0; i < count; ++i) EXPECT_EQ(m_Recorder.m_Messages[i].m_Id, i);
        client.Disconnect(0);
        ASSERT_TRUE(Pump([&] { return m_pServer->GetConnectedPeerCount() == 0; }));
        m_Clients.clear();
    }
}

// Packets in every queue when the server goes: received messages not yet handled, sends not yet
// made, a broadcast nobody takes. The leak checker of the sanitizer build sees any left behind.
TEST_P(Transport, TeardownAndUnclaimedBroadcastsFreeEveryPacket) {
    Packet packet(3);
    packet.Write("nobody", 6);
    EXPECT_TRUE(m_pServer->SendEveryonePacket(&packet, PACKET_PRIORITY_LOW, PACKET_FLAGS_RELIABLE, 0));
    m_pServer->Update();

    CTestClient client;
    NetPeer* pPeer = Connect(client);
    ASSERT_NE(pPeer, nullptr);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(client.Send(Framed(i, "queued")));
    if (Multithreaded()) ASSERT_TRUE(PumpClients([&] { return m_pServer->GetQueuedEventCount() >= 1; }));
    else PumpClients([] { return false; }, 20);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(m_pServer->SendPacket(pPeer, &packet, PACKET_PRIORITY_LOW, PACKET_FLAGS_RELIABLE, 0));
    EXPECT_TRUE(m_pServer->SendEveryonePacket(&packet, PACKET_PRIORITY_LOW, PACKET_FLAGS_NONE, 1));
    m_pServer.reset();
    EXPECT_EQ(CountNetworkThreads(), 0);
}

INSTANTIATE_TEST_SUITE_P(, Transport, ::testing::Bool(),
    [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Multithreaded" : "SingleThreaded"; });

TEST(TransportSetup, RefusesATakenPortAndDoesNothingBeforeInitialise) {
    CRecorder recorder;
    CUdpSocket taken;
    CENetServer server(&recorder);
    EXPECT_FALSE(server.Initialise(taken.GetPort(), "127.0.0.1", false));

    Packet packet(1);
    EXPECT_FALSE(server.SendEveryonePacket(&packet, PACKET_PRIORITY_LOW, PACKET_FLAGS_RELIABLE, 0));
    EXPECT_FALSE(server.SendPacket(nullptr, &packet, PACKET_PRIORITY_LOW, PACKET_FLAGS_RELIABLE, 0));
    EXPECT_FALSE(server.Disconnect(nullptr, 1));
    server.Update();
    EXPECT_EQ(server.GetLastPing(nullptr), 4294967295u);

    const uint16_t port = FindFreeUdpPort();
    EXPECT_TRUE(server.Initialise(port, "", false)) << "an empty bind address means any";
    EXPECT_FALSE(server.Initialise(port, "", false)) << "once only";
}

} // namespace
