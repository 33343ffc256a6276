// The test client against a plain ENet host: the bytes it sends, how it answers the game-file check
// and reports ready, what it records and decodes, disconnect reasons, and many clients on one host.
#include "LoopbackServer.h"
#include "TestClient/TestClient.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

constexpr uint32_t TIMEOUT_MS = 5000;

Bytes ConnectRequestBytes(const std::string& fields) { return Concat({HeaderFor(PACKET_CONNECT_REQUEST), HexBytes(fields)}); }

class TestClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_Server.IsValid());
        ASSERT_TRUE(m_Pool.IsValid());
    }

    // Services the server host too while the client waits: both live in this thread.
    bool Pump(CTestClient& client, const std::function<bool()>& predicate, uint32_t timeoutMs = TIMEOUT_MS) {
        return client.WaitFor(
            [&] {
                m_Server.Service();
                return predicate();
            },
            timeoutMs);
    }

    // Connects the client and waits until the server has its connect request; returns the server's peer.
    ENetPeer* ConnectAndTakeRequest(CTestClient& client) {
        const size_t before = m_Server.m_Received.size();
        if (!client.BeginConnect("127.0.0.1", m_Server.GetPort())) return nullptr;
        if (!Pump(client, [&] { return m_Server.m_Received.size() > before; })) return nullptr;
        return m_Server.m_Received[before].m_pPeer;
    }

    CLoopbackServer m_Server;
    CTestClientPool m_Pool;
};

} // namespace

TEST_F(TestClientTest, ConnectRequestCarriesEveryFieldAsSet) {
    CClientSettings defaults;
    defaults.m_Nickname = "Bob";
    CClientSettings custom;
    custom.m_ProtocolVersion = 28;
    custom.m_Version[0] = 2;
    custom.m_Version[1] = 3;
    custom.m_Version[2] = 4;
    custom.m_Version[3] = 5;
    custom.m_Password = "pw";
    custom.m_Nickname = std::string("A\0B", 3);
    custom.m_NicknameLength = 32; // disagrees with the three bytes
    custom.m_Game = 3;
    struct Case {
        const char* m_Name;
        CClientSettings m_Settings;
        Bytes m_Expected;
    } cases[] = {
        {"defaults", defaults,
         ConnectRequestBytes("1D 00 00 00"                                      // protocol version 29
                             "01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"  // version 1.0.0.0
                             "00"                                               // no password
                             "03 00 42 6F 62"                                   // nickname length 3, "Bob"
                             "01")},                                            // game 1
        {"every field set", custom,
         ConnectRequestBytes("1C 00 00 00"                                      // protocol version 28
                             "02 00 00 00 03 00 00 00 04 00 00 00 05 00 00 00"  // version 2.3.4.5
                             "02 70 77"                                         // password "pw"
                             "20 00"                                            // nickname length 32 as set
                             "41 00 42"                                         // the bytes as set
                             "03")},                                            // game 3
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_Name);
        CTestClient client(m_Pool, c.m_Settings);
        ENetPeer* pPeer = ConnectAndTakeRequest(client);
        ASSERT_TRUE(pPeer);
        EXPECT_TRUE(client.IsConnected());
        const auto received = m_Server.From(pPeer);
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].m_Bytes, c.m_Expected);
        EXPECT_EQ(received[0].m_Channel, 0);
        EXPECT_TRUE(received[0].m_Flags & ENET_PACKET_FLAG_RELIABLE);
    }
}

// The admission order: the file check request comes before the acceptance; the client answers it and
// reports ready only after the acceptance, so the server sees answer, then ready.
TEST_F(TestClientTest, AnswersTheGameFileCheckThenReportsReady) {
    const CFileDigest known = {0x11223344, 0x55667788, 0x99AABBCC, 0xDDEEFF00};
    struct Case {
        const char* m_Name;
        std::function<void(CClientSettings&)> m_Configure;
        const char* m_Answer;
    } cases[] = {
        {"default: no digests", [](CClientSettings&) {}, "00 00 00 00"},
        {"digests by path, in the order asked",
         [&](CClientSettings& settings) { settings.m_FileDigestsByPath["b.img"] = known; },
         "02 00 00 00"                                        // count
         "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"    // "a.dat": unknown, zeros
         "44 33 22 11 88 77 66 55 CC BB AA 99 00 FF EE DD"},  // "b.img": four little-endian words
        {"digests as configured",
         [&](CClientSettings& settings) { settings.m_FileDigests = {known}; },
         "01 00 00 00 44 33 22 11 88 77 66 55 CC BB AA 99 00 FF EE DD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_Name);
        CClientSettings settings;
        c.m_Configure(settings);
        CTestClient client(m_Pool, settings);
        ENetPeer* pPeer = ConnectAndTakeRequest(client);
        ASSERT_TRUE(pPeer);

        m_Server.Send(pPeer, PACKET_GAME_FILE_CHECK, HexBytes("02 00 00 00 05 61 2E 64 61 74 05 62 2E 69 6D 67"));
        m_Server.Send(pPeer, PACKET_CONNECT_ACCEPTED, HexBytes("03 00 00 00 F0 55 00 1E 00 00 01"));
        ASSERT_TRUE(Pump(client, [&] { return m_Server.From(pPeer).size() >= 3; }));

        const auto received = m_Server.From(pPeer);
        ASSERT_EQ(received.size(), 3u);
        EXPECT_EQ(received[1].m_Bytes, Concat({HeaderFor(PACKET_GAME_FILE_CHECK), HexBytes(c.m_Answer)}));
        EXPECT_EQ(received[2].m_Bytes, HeaderFor(PACKET_CLIENT_READY));
        EXPECT_TRUE(client.HasAnsweredFileCheck());
        EXPECT_EQ(client.GetClientIndex(), 3);
        EXPECT_FALSE(client.HasJoined());
    }
}

TEST_F(TestClientTest, LeavesTheCheckAndReadinessToTheCallerWhenAsked) {
    CClientSettings settings;
    settings.m_bAnswerFileCheck = false;
    settings.m_bSendReady = false;
    CTestClient client(m_Pool, settings);
    ENetPeer* pPeer = ConnectAndTakeRequest(client);
    ASSERT_TRUE(pPeer);
    m_Server.Send(pPeer, PACKET_GAME_FILE_CHECK, HexBytes("00 00 00 00"));
    m_Server.Send(pPeer, PACKET_CONNECT_ACCEPTED, HexBytes("03 00 00 00 F0 55 00 1E 00 00 01"));
    ASSERT_TRUE(client.WaitForMessage(PACKET_CONNECT_ACCEPTED, TIMEOUT_MS));
    // Another round trip makes sure nothing else was on its way.
    ASSERT_TRUE(client.SendChat("x"));
    ASSERT_TRUE(Pump(client, [&] { return m_Server.From(pPeer).size() >= 2; }));
    const auto received = m_Server.From(pPeer);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1].m_Bytes, Concat({HeaderFor(PACKET_CHAT), HexBytes("01 00 00 00 78")}));
    EXPECT_FALSE(client.HasAnsweredFileCheck());
}

TEST_F(TestClientTest, RecordsAndDecodesEveryReceivedMessage) {
    CTestClient client(m_Pool);
    ENetPeer* pPeer = ConnectAndTakeRequest(client);
    ASSERT_TRUE(pPeer);

    struct Case {
        uint32_t m_Id; // 0: bytes without a header
        Bytes m_Payload;
        uint8_t m_Channel;
        const char* m_Text;
    } cases[] = {
        {PACKET_CVARS, HexBytes("01 00 05 01 61 02 62 63"), 0, "PACKET_CVARS count=1 vars={\"a\": \"bc\"}"},
        {PACKET_CONNECT_ACCEPTED, HexBytes("03 00 00 00 F0 55 01 68 1E 00 00 01"), 0,
         "PACKET_CONNECT_ACCEPTED index=3 httpport=22000 httpaddress=\"h\" syncinterval=30 syncmethod=1"},
        {PACKET_GAME_MODE, HexBytes("08 46 72 65 65 72 6F 61 6D"), 0, "PACKET_GAME_MODE text=\"Freeroam\""},
        {PACKET_CLIENT_LIST,
         HexBytes("01 00 20 00 FF 00 00 00 03 01 FF FF FF FF 07 43 6F 6E 73 6F 6C 65 00 00"), 0,
         "PACKET_CLIENT_LIST count=1 maxplayers=32 clients=[{index=255 flags=3 game=1 player=-1 name=\"Console\" data={}}]"},
        {PACKET_CHAT, HexBytes("07 00 00 00 01 00 00 00 42 6F 62 3A 20 68 69"), 0, "PACKET_CHAT type=1 text=\"Bob: hi\""},
        {PACKET_CLIENT_DATA, HexBytes("01 00 02 00 00 00 01 00 01 6B 04 0A 00 00 00"), 0,
         "PACKET_CLIENT_DATA index=2 key=\"k\" value=10"},
        {PACKET_ELEMENT_SYNC, HexBytes("00 00"), 1, "PACKET_ELEMENT_SYNC (4) [2] 00 00"},
        {200, HexBytes("AA"), 7, "message (200) [1] AA"},
        {PACKET_CHAT, HexBytes("07 00 00 00"), 0, "PACKET_CHAT (6) malformed [4] 07 00 00 00"},
        {0, HexBytes("01 02 03"), 0, "(no header) 01 02 03"},
        {PACKET_JOIN_COMPLETE, {}, 0, "PACKET_JOIN_COMPLETE"},
    };
    for (const Case& c : cases) {
        if (c.m_Id)
            m_Server.Send(pPeer, c.m_Id, c.m_Payload, c.m_Channel);
        else
            m_Server.SendBytes(pPeer, c.m_Payload, c.m_Channel);
    }
    ASSERT_TRUE(client.WaitForMessage(PACKET_JOIN_COMPLETE, TIMEOUT_MS));
    EXPECT_TRUE(client.HasJoined());

    // Channels are delivered in order each, so compare as per-channel sequences kept in arrival order.
    ASSERT_EQ(client.GetMessageCount(), std::size(cases));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_Text);
        bool bFound = false;
        for (const CReceivedMessage& message : client.GetMessages()) {
            if (message.m_Text != c.m_Text) continue;
            bFound = true;
            EXPECT_EQ(message.m_bHasHeader, c.m_Id != 0);
            EXPECT_EQ(message.m_Id, c.m_Id);
            EXPECT_EQ(message.m_Channel, c.m_Channel);
            EXPECT_EQ(message.m_Payload, c.m_Payload);
        }
        EXPECT_TRUE(bFound);
    }

    CChatToClient chat;
    const CReceivedMessage* pChat = client.FindMessage(PACKET_CHAT);
    ASSERT_TRUE(pChat);
    ASSERT_TRUE(pChat->Decode(chat));
    EXPECT_EQ(chat.m_Text, "Bob: hi");
    EXPECT_EQ(client.CountMessages(PACKET_CHAT), 2u);
    // Searching on from a position finds the later message with the same id, and then none.
    size_t second = 0;
    const auto& messages = client.GetMessages();
    for (size_t i = 0; i < messages.size(); ++i)
        if (messages[i].m_Id == PACKET_CHAT && &messages[i] != pChat) second = i;
    EXPECT_EQ(client.FindMessage(PACKET_CHAT, static_cast<size_t>(pChat - &messages[0]) + 1), &messages[second]);
    EXPECT_FALSE(messages[second].Decode(chat));
    EXPECT_FALSE(client.FindMessage(PACKET_CHAT, second + 1));
}

TEST_F(TestClientTest, SendsEveryClientMessage) {
    CKeyEventMessage key;
    key.m_Down = 1;
    key.m_ScanCode = 30;
    key.m_KeyCode = 65;
    key.m_Modifiers = 2;
    key.m_RepeatCount = 1;
    struct Case {
        const char* m_Name;
        std::function<bool(CTestClient&)> m_Send;
        Bytes m_Expected;
        uint8_t m_Channel;
        uint32_t m_Flags;
    } cases[] = {
        {"chat", [](CTestClient& c) { return c.SendChat("hi"); },
         Concat({HeaderFor(PACKET_CHAT), HexBytes("02 00 00 00 68 69")}), 0, ENET_PACKET_FLAG_RELIABLE},
        {"empty chat, for the server to refuse", [](CTestClient& c) { return c.SendChat(""); },
         Concat({HeaderFor(PACKET_CHAT), HexBytes("00 00 00 00")}), 0, ENET_PACKET_FLAG_RELIABLE},
        {"command", [](CTestClient& c) { return c.SendCommand("kick", "Bob"); },
         Concat({HeaderFor(PACKET_COMMAND), HexBytes("04 00 00 00 6B 69 63 6B 03 00 00 00 42 6F 62")}), 0,
         ENET_PACKET_FLAG_RELIABLE},
        {"leave request", [](CTestClient& c) { return c.SendLeave(DISCONNECT_QUIT); },
         Concat({HeaderFor(PACKET_DISCONNECT_REQUEST), HexBytes("06 00 00 00")}), 0, ENET_PACKET_FLAG_RELIABLE},
        {"leave request without reason", [](CTestClient& c) { return c.SendLeaveWithoutReason(); },
         HeaderFor(PACKET_DISCONNECT_REQUEST), 0, ENET_PACKET_FLAG_RELIABLE},
        {"element streaming", [](CTestClient& c) { return c.SendElementStreaming(true); },
         Concat({HeaderFor(PACKET_ELEMENT_STREAMING), HexBytes("01")}), 0, ENET_PACKET_FLAG_RELIABLE},
        {"sync", [](CTestClient& c) { return c.SendSync(HexBytes("01 00 08 00 1E 00 00 00 05 00 00 00")); },
         Concat({HeaderFor(PACKET_ELEMENT_SYNC), HexBytes("01 00 08 00 1E 00 00 00 05 00 00 00")}), 1,
         ENET_PACKET_FLAG_RELIABLE},
        {"unsequenced sync", [](CTestClient& c) { return c.SendSync(HexBytes("00 00"), SEND_UNSEQUENCED); },
         Concat({HeaderFor(PACKET_ELEMENT_SYNC), HexBytes("00 00")}), 1, ENET_PACKET_FLAG_UNSEQUENCED},
        {"element deletion", [](CTestClient& c) { return c.SendElementDelete({5, -1}); },
         Concat({HeaderFor(PACKET_ELEMENT_DELETE), HexBytes("02 00 05 00 00 00 FF FF FF FF")}), 0,
         ENET_PACKET_FLAG_RELIABLE},
        {"syncer request", [](CTestClient& c) { return c.SendRequestSyncer(5); },
         Concat({HeaderFor(PACKET_REQUEST_SYNCER), HexBytes("05 00 00 00")}), 0, ENET_PACKET_FLAG_RELIABLE},
        {"key event", [&](CTestClient& c) { return c.SendKeyEvent(key); },
         Concat({HeaderFor(PACKET_KEY_EVENT), HexBytes("01"                // down
                                                       "1E 00 00 00"       // scan code
                                                       "41 00 00 00"       // key code
                                                       "02 00"             // modifiers
                                                       "01 00 00 00")}),   // repeat count
         0, ENET_PACKET_FLAG_RELIABLE},
        {"key up", [](CTestClient& c) { return c.SendKeyEvent(65, false); },
         Concat({HeaderFor(PACKET_KEY_EVENT), HexBytes("00 00 00 00 00 41 00 00 00 00 00 00 00 00 00")}), 0,
         ENET_PACKET_FLAG_RELIABLE},
        {"any id", [](CTestClient& c) { return c.SendMessage(2, HexBytes("AA BB"), SEND_RELIABLE, 9); },
         Concat({HeaderFor(2), HexBytes("AA BB")}), 9, ENET_PACKET_FLAG_RELIABLE},
        {"bytes without a header", [](CTestClient& c) { return c.SendBytes("\x02\x34\x52", 3); }, HexBytes("02 34 52"),
         0, ENET_PACKET_FLAG_RELIABLE},
        {"file check answer", [](CTestClient& c) { return c.SendGameFileCheckAnswer({{1, 2, 3, 4}}); },
         Concat({HeaderFor(PACKET_GAME_FILE_CHECK),
                 HexBytes("01 00 00 00 01 00 00 00 02 00 00 00 03 00 00 00 04 00 00 00")}),
         0, ENET_PACKET_FLAG_RELIABLE},
    };

    CTestClient client(m_Pool);
    ENetPeer* pPeer = ConnectAndTakeRequest(client);
    ASSERT_TRUE(pPeer);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_Name);
        const size_t before = m_Server.From(pPeer).size();
        ASSERT_TRUE(c.m_Send(client));
        ASSERT_TRUE(Pump(client, [&] { return m_Server.From(pPeer).size() > before; }));
        const auto received = m_Server.From(pPeer);
        ASSERT_EQ(received.size(), before + 1);
        EXPECT_EQ(received.back().m_Bytes, c.m_Expected);
        EXPECT_EQ(received.back().m_Channel, c.m_Channel);
        EXPECT_EQ(received.back().m_Flags & (ENET_PACKET_FLAG_RELIABLE | ENET_PACKET_FLAG_UNSEQUENCED), c.m_Flags);
    }
}

TEST_F(TestClientTest, ReportsTheServersDisconnectReason) {
    CTestClient client(m_Pool);
    std::vector<CTestClient::eState> states;
    client.SetStateCallback([&](CTestClient::eState state) { states.push_back(state); });
    ENetPeer* pPeer = ConnectAndTakeRequest(client);
    ASSERT_TRUE(pPeer);
    m_Server.Disconnect(pPeer, DISCONNECT_INVALID_NICKNAME);
    ASSERT_TRUE(Pump(client, [&] { return client.IsDisconnected(); }));
    EXPECT_EQ(client.GetDisconnectReason(), static_cast<uint32_t>(DISCONNECT_INVALID_NICKNAME));
    EXPECT_FALSE(client.IsConnected());
    EXPECT_FALSE(client.GetPeer());
    EXPECT_FALSE(client.SendChat("too late"));
    EXPECT_TRUE(client.WaitForDisconnect(0));
    EXPECT_EQ(states, (std::vector<CTestClient::eState>{CTestClient::STATE_CONNECTED, CTestClient::STATE_DISCONNECTED}));

    // The same client can connect again; a leave request answered by the server's disconnect with
    // the same reason.
    pPeer = ConnectAndTakeRequest(client);
    ASSERT_TRUE(pPeer);
    EXPECT_EQ(client.GetDisconnectReason(), 0u);
    ASSERT_TRUE(client.SendLeave(DISCONNECT_QUIT));
    ASSERT_TRUE(Pump(client, [&] { return m_Server.From(pPeer).size() >= 2; }));
    m_Server.Disconnect(pPeer, DISCONNECT_QUIT);
    ASSERT_TRUE(Pump(client, [&] { return client.IsDisconnected(); }));
    EXPECT_EQ(client.GetDisconnectReason(), static_cast<uint32_t>(DISCONNECT_QUIT));
}

TEST_F(TestClientTest, ClientDisconnectsCarryTheirDataToTheServer) {
    // What was queued before the disconnect still arrives first.
    CTestClient leaving(m_Pool);
    ENetPeer* pLeaving = ConnectAndTakeRequest(leaving);
    ASSERT_TRUE(pLeaving);
    ASSERT_TRUE(leaving.SendLeave(DISCONNECT_QUIT));
    leaving.Disconnect(12);
    EXPECT_EQ(leaving.GetState(), CTestClient::STATE_DISCONNECTING);
    ASSERT_TRUE(Pump(leaving, [&] { return leaving.IsDisconnected() && !m_Server.m_Disconnected.empty(); }));
    EXPECT_EQ(m_Server.m_Disconnected[0].first, pLeaving);
    EXPECT_EQ(m_Server.m_Disconnected[0].second, 12u);
    ASSERT_EQ(m_Server.m_Received.size(), 2u);
    EXPECT_EQ(m_Server.m_Received[1].m_Bytes, Concat({HeaderFor(PACKET_DISCONNECT_REQUEST), HexBytes("06 00 00 00")}));

    // A client that goes away drops its connection at once.
    auto pGone = std::make_unique<CTestClient>(m_Pool);
    ENetPeer* pGonePeer = ConnectAndTakeRequest(*pGone);
    ASSERT_TRUE(pGonePeer);
    pGone.reset();
    CTestClient other(m_Pool);
    ASSERT_TRUE(Pump(other, [&] { return m_Server.m_Disconnected.size() >= 2; }));
    EXPECT_EQ(m_Server.m_Disconnected[1].first, pGonePeer);
    EXPECT_EQ(m_Pool.GetClientCount(), 2u);
}

TEST_F(TestClientTest, ManyClientsShareOneHost) {
    constexpr int kClients = 40;
    std::vector<std::unique_ptr<CTestClient>> clients;
    for (int i = 0; i < kClients; ++i) {
        CClientSettings settings;
        settings.m_Nickname = "c" + std::to_string(i);
        clients.push_back(std::make_unique<CTestClient>(m_Pool, settings));
        ASSERT_TRUE(clients.back()->BeginConnect("127.0.0.1", m_Server.GetPort()));
    }
    CTestClient& first = *clients[0];
    ASSERT_TRUE(Pump(first, [&] { return m_Server.m_Received.size() >= kClients; }));

    // Answer every peer with its own nickname; each client must get exactly its own.
    for (const CLoopbackServer::CReceived& request : m_Server.m_Received) {
        CConnectRequest decoded;
        ASSERT_TRUE(DecodePayload(Bytes(request.m_Bytes.begin() + 8, request.m_Bytes.end()), decoded));
        CChatToClient chat;
        chat.m_ChatType = CHAT_TYPE_INFO;
        chat.m_Text = decoded.m_Nickname;
        Bytes message = EncodeMessage(chat);
        m_Server.SendBytes(request.m_pPeer, message);
    }
    ASSERT_TRUE(Pump(first, [&] {
        for (const auto& pClient : clients)
            if (!pClient->FindMessage(PACKET_CHAT)) return false;
        return true;
    }));
    for (int i = 0; i < kClients; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(clients[i]->CountMessages(PACKET_CHAT), 1u);
        EXPECT_EQ(clients[i]->FindMessage(PACKET_CHAT)->m_Text, "PACKET_CHAT type=2 text=\"c" + std::to_string(i) + "\"");
    }
    EXPECT_EQ(m_Pool.GetClientCount(), static_cast<size_t>(kClients));
}

TEST_F(TestClientTest, ConnectGivesUpWhenNobodyAnswers) {
    // A bound UDP port that never answers.
    CLoopbackServer silent;
    ASSERT_TRUE(silent.IsValid());
    CTestClient client(m_Pool);
    EXPECT_FALSE(client.Connect("127.0.0.1", silent.GetPort(), 200));
    EXPECT_TRUE(client.IsDisconnected());
    EXPECT_FALSE(client.GetPeer());
    EXPECT_FALSE(client.SendChat("nobody"));
    EXPECT_FALSE(client.Connect("no such host.invalid", 1, 200));
}

TEST_F(TestClientTest, ClientOutlivingItsPoolReportsDisconnected) {
    auto pPool = std::make_unique<CTestClientPool>(4);
    CTestClient client(*pPool);
    ASSERT_TRUE(client.BeginConnect("127.0.0.1", m_Server.GetPort()));
    ASSERT_TRUE(Pump(client, [&] { return client.IsConnected(); }));
    pPool.reset();
    EXPECT_TRUE(client.IsDisconnected());
    EXPECT_FALSE(client.GetPool());
    EXPECT_FALSE(client.SendChat("x"));
    EXPECT_FALSE(client.WaitForMessage(PACKET_CHAT, 10));
    // The server hears of it at once.
    CTestClient other(m_Pool);
    EXPECT_TRUE(Pump(other, [&] { return m_Server.m_Disconnected.size() == 1; }));
}
