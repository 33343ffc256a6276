// Player sessions against the real server over real ENet: refusals, admission, chat, leaving and the
// query protocol, with the transport on its own thread and on the main thread.
#include "ServerProcess.h"

#include "Multiplayer/GameMessages.h"
#include "Multiplayer/SessionMessages.h"
#include "TestClient/Datagram.h"
#include "TestClient/QueryProtocol.h"
#include "TestClient/TestClient.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kTimeout = 10000;

class SessionTest : public ::testing::TestWithParam<bool> {
protected:
    // Starts the server with the given extra configuration, multithreaded or not by the parameter.
    void StartServer(const std::string& extra = "") {
        m_Port = CServerProcess::FreePort();
        m_Server.WriteConfig("<httpserver>false</httpserver><port>" + std::to_string(m_Port) + "</port>"
                             "<servername>Test Server</servername><gamemode>Testing</gamemode>"
                             "<multithreaded>" + std::string(GetParam() ? "true" : "false") + "</multithreaded>" +
                             extra);
        m_Server.Start({"-noinput"});
        ASSERT_TRUE(m_Server.WaitForOutput("Resources loaded")) << m_Server.GetOutput();
    }

    std::unique_ptr<CTestClient> NewClient(const std::string& name, const std::function<void(CClientSettings&)>& tweak = {}) {
        CClientSettings settings;
        settings.m_Nickname = name;
        if (tweak) tweak(settings);
        return std::make_unique<CTestClient>(m_Pool, settings);
    }

    std::unique_ptr<CTestClient> Joined(const std::string& name) {
        auto client = NewClient(name);
        EXPECT_TRUE(client->Join("127.0.0.1", m_Port, kTimeout)) << name << "\n" << m_Server.GetOutput();
        return client;
    }

    bool HasLine(const std::string& line) {
        const auto lines = m_Server.GetPlainLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    CServerProcess m_Server;
    CTestClientPool m_Pool;
    uint16_t m_Port = 0;
};

// Decodes the first message with the id at position from or later; false when there is none.
template <typename TMessage>
bool DecodeFirst(const CTestClient& client, uint32_t id, TMessage& message, size_t from = 0) {
    const CReceivedMessage* pMessage = client.FindMessage(id, from);
    return pMessage && pMessage->Decode(message);
}

std::vector<uint32_t> Ids(const CTestClient& client) {
    std::vector<uint32_t> ids;
    for (const CReceivedMessage& message : client.GetMessages()) ids.push_back(message.m_Id);
    return ids;
}

} // namespace

TEST_P(SessionTest, RefusalsLogAndDisconnectWithTheirReason) {
    StartServer("<password>secret</password><maxplayers>2</maxplayers><minclientversion>1.2.0.0</minclientversion>");
    auto occupant = NewClient("Occupant", [](CClientSettings& s) {
        s.m_Password = "secret";
        s.m_Version[1] = 2;
    });
    ASSERT_TRUE(occupant->Join("127.0.0.1", m_Port, kTimeout));

    struct Case {
        const char* name;
        std::function<void(CClientSettings&)> tweak;
        std::string line;
        uint32_t reason;
    } cases[] = {
        {"protocol 28", [](CClientSettings& s) { s.m_ProtocolVersion = 28; },
         "CONNECT: 127.0.0.1 (28) revoked connection [UNSUPPORTED CLIENT]", DISCONNECT_UNSUPPORTED_CLIENT},
        {"client 1.1.9.9", [](CClientSettings& s) { s.m_Version[1] = 1; s.m_Version[2] = 9; s.m_Version[3] = 9; },
         "CONNECT: 127.0.0.1 revoked connection [UNSUPPORTED CLIENT]", DISCONNECT_UNSUPPORTED_CLIENT},
        {"wrong password", [](CClientSettings& s) { s.m_Password = "guess"; },
         "CONNECT: 127.0.0.1 revoked connection [WRONG PASSWORD]", DISCONNECT_WRONG_PASSWORD},
        {"nickname of 32 bytes", [](CClientSettings& s) { s.m_Nickname = std::string(32, 'n'); },
         "CONNECT: 127.0.0.1 revoked connection [INVALID NICKNAME]", DISCONNECT_INVALID_NICKNAME},
        {"nickname starting with NUL", [](CClientSettings& s) { s.m_Nickname = std::string("\0abc", 4); },
         "CONNECT: 127.0.0.1 revoked connection [INVALID NICKNAME]", DISCONNECT_INVALID_NICKNAME},
        {"nickname length 0", [](CClientSettings& s) { s.m_NicknameLength = 0; },
         "CONNECT: 127.0.0.1 revoked connection [INVALID NICKNAME]", DISCONNECT_INVALID_NICKNAME},
        {"another game", [](CClientSettings& s) { s.m_Nickname = "Vic"; s.m_Game = 2; },
         "CONNECT: Vic revoked connection [WRONG GAME]", DISCONNECT_WRONG_GAME},
        {"the console's name", [](CClientSettings& s) { s.m_Nickname = "CONSOLE"; },
         "CONNECT: CONSOLE revoked connection [NICKNAME IN USE]", DISCONNECT_NICKNAME_IN_USE},
        {"a joined client's name", [](CClientSettings& s) { s.m_Nickname = "occupant"; },
         "CONNECT: occupant revoked connection [NICKNAME IN USE]", DISCONNECT_NICKNAME_IN_USE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto client = NewClient("Newcomer", [&](CClientSettings& s) {
            s.m_Password = "secret";
            s.m_Version[1] = 2;
            c.tweak(s);
        });
        ASSERT_TRUE(client->Connect("127.0.0.1", m_Port, kTimeout));
        ASSERT_TRUE(client->WaitForDisconnect(kTimeout));
        EXPECT_EQ(client->GetDisconnectReason(), c.reason);
        EXPECT_TRUE(m_Server.WaitForOutput("\033[33;1m" + c.line + "\033[0;0m\n")) << m_Server.GetOutput();
        EXPECT_EQ(client->FindMessage(PACKET_CONNECT_ACCEPTED), nullptr);
    }

    // Newer versions pass; then the second slot fills and the third client finds the server full.
    auto second = NewClient("Second", [](CClientSettings& s) {
        s.m_Password = "secret";
        s.m_Version[0] = 2;
    });
    ASSERT_TRUE(second->Join("127.0.0.1", m_Port, kTimeout));
    auto third = NewClient("Third", [](CClientSettings& s) { s.m_Password = "secret"; s.m_Version[1] = 2; });
    ASSERT_TRUE(third->Connect("127.0.0.1", m_Port, kTimeout));
    ASSERT_TRUE(third->WaitForDisconnect(kTimeout));
    EXPECT_EQ(third->GetDisconnectReason(), DISCONNECT_SERVER_FULL);
    EXPECT_TRUE(m_Server.WaitForOutput("CONNECT: Third revoked connection [SERVER FULL]"));
}

TEST_P(SessionTest, AdmissionAndJoinMessagesInOrder) {
    StartServer("<cvar name=\"gravity\" value=\"0.008\"/>");
    auto first = Joined("Ann");
    const size_t before = first->GetMessageCount();
    auto second = Joined("Bob");

    const std::vector<uint32_t> expected = {PACKET_GAME_FILE_CHECK, PACKET_CVARS, PACKET_CONNECT_ACCEPTED,
                                            PACKET_GAME_MODE, PACKET_SERVER_NAME, PACKET_CLIENT_LIST,
                                            PACKET_RESOURCE_LIST, PACKET_WORLD_MINUTE_DURATION, PACKET_WORLD_CLOCK,
                                            PACKET_WORLD_WEATHER, PACKET_WORLD_TIMER, PACKET_WORLD_BRIDGE,
                                            PACKET_LOCAL_PLAYER, PACKET_JOIN_COMPLETE};
    EXPECT_EQ(Ids(*second), expected);
    EXPECT_TRUE(m_Server.WaitForOutput("CONNECT: 127.0.0.1 is attempting to connect"));

    CCVarsMessage vars;
    ASSERT_TRUE(DecodeFirst(*second, PACKET_CVARS, vars));
    EXPECT_EQ(vars.m_Vars, (std::vector<std::pair<std::string, std::string>>{{"gravity", "0.008"}}));
    CConnectAccepted accepted;
    ASSERT_TRUE(DecodeFirst(*second, PACKET_CONNECT_ACCEPTED, accepted));
    EXPECT_EQ(accepted.m_Index, 1);
    EXPECT_EQ(accepted.m_HttpPort, 22000);
    EXPECT_EQ(accepted.m_SyncInterval, 30);
    EXPECT_EQ(accepted.m_SyncMethod, 1);
    CGameModeMessage mode;
    ASSERT_TRUE(DecodeFirst(*second, PACKET_GAME_MODE, mode));
    EXPECT_EQ(mode.m_Text, "Testing");
    CServerNameMessage name;
    ASSERT_TRUE(DecodeFirst(*second, PACKET_SERVER_NAME, name));
    EXPECT_EQ(name.m_Text, "Test Server");

    // The list names every occupied slot in slot order, the console pseudo-client included.
    CClientList list;
    ASSERT_TRUE(DecodeFirst(*second, PACKET_CLIENT_LIST, list));
    EXPECT_EQ(list.m_MaxPlayers, 32);
    ASSERT_EQ(list.m_Clients.size(), 3u);
    EXPECT_EQ(list.m_Clients[0].m_Index, 0);
    EXPECT_EQ(list.m_Clients[0].m_Name, "Ann");
    EXPECT_EQ(list.m_Clients[1].m_Name, "Bob");
    EXPECT_EQ(list.m_Clients[2].m_Index, 255);
    EXPECT_EQ(list.m_Clients[2].m_Name, "Console");
    EXPECT_EQ(list.m_Clients[2].m_Flags, CLIENT_FLAG_ADMINISTRATOR | CLIENT_FLAG_CONSOLE);
    CLocalPlayer player;
    ASSERT_TRUE(DecodeFirst(*second, PACKET_LOCAL_PLAYER, player));
    EXPECT_EQ(player.m_Player, -1);

    // The first client hears of the second.
    const CReceivedMessage* joined = first->WaitForMessage(PACKET_CLIENT_JOINED, kTimeout, before);
    ASSERT_NE(joined, nullptr);
    CClientJoined announcement;
    ASSERT_TRUE(joined->Decode(announcement));
    EXPECT_EQ(announcement.m_Client.m_Index, 1);
    EXPECT_EQ(announcement.m_Client.m_Name, "Bob");
    EXPECT_EQ(announcement.m_Client.m_Game, 1);
}

TEST_P(SessionTest, ChatReachesEveryoneAsNameAndText) {
    StartServer();
    auto ann = Joined("Ann");
    auto bob = Joined("Bob");
    const size_t annFrom = ann->GetMessageCount(), bobFrom = bob->GetMessageCount();
    ASSERT_TRUE(bob->SendChat("hi"));
    for (CTestClient* client : {ann.get(), bob.get()}) {
        const CReceivedMessage* chat = client->WaitForMessage(PACKET_CHAT, kTimeout, client == ann.get() ? annFrom : bobFrom);
        ASSERT_NE(chat, nullptr);
        CChatToClient message;
        ASSERT_TRUE(chat->Decode(message));
        EXPECT_EQ(message.m_Text, "Bob: hi");
        EXPECT_EQ(message.m_ChatType, static_cast<uint32_t>(CHAT_TYPE_CHAT));
    }
    EXPECT_TRUE(m_Server.WaitForOutput("\033[32mBob: hi\033[0;0m\n"));

    // Lengths outside 1..4096 and an empty text (up to its first NUL) are ignored.
    for (uint32_t length : {0u, 4097u}) {
        std::vector<uint8_t> payload(4 + std::min(length, 4097u), 'x');
        memcpy(payload.data(), &length, 4);
        bob->SendMessage(PACKET_CHAT, payload);
    }
    bob->SendMessage(PACKET_CHAT, std::vector<uint8_t>{1, 0, 0, 0, 0});
    bob->SendChat("after");
    ASSERT_NE(ann->WaitForMessage(PACKET_CHAT, kTimeout, annFrom + 1), nullptr);
    CChatToClient after;
    ASSERT_TRUE(DecodeFirst(*ann, PACKET_CHAT, after, annFrom + 1));
    EXPECT_EQ(after.m_Text, "Bob: after") << "nothing was sent for the malformed messages";
}

TEST_P(SessionTest, GatesBeforeAdmissionAndBeforeTheFileCheck) {
    StartServer();
    auto ann = Joined("Ann");
    const size_t from = ann->GetMessageCount();
    // A peer without a record may only ask to connect; an admitted one that has not answered the
    // file check may only answer it.
    auto stranger = NewClient("Stranger", [](CClientSettings& s) { s.m_bSendConnectRequest = false; });
    ASSERT_TRUE(stranger->Connect("127.0.0.1", m_Port, kTimeout));
    stranger->SendChat("not admitted");
    auto silent = NewClient("Silent", [](CClientSettings& s) { s.m_bAnswerFileCheck = false; });
    ASSERT_TRUE(silent->Connect("127.0.0.1", m_Port, kTimeout));
    ASSERT_NE(silent->WaitForMessage(PACKET_GAME_FILE_CHECK, kTimeout), nullptr);
    silent->SendChat("unchecked");
    silent->SendClientReady();
    // A second connect request from an admitted client is ignored too.
    ann->SendConnectRequest();
    ann->SendChat("marker");
    ASSERT_NE(ann->WaitForMessage(PACKET_CHAT, kTimeout, from), nullptr);
    CChatToClient chat;
    ASSERT_TRUE(DecodeFirst(*ann, PACKET_CHAT, chat, from));
    EXPECT_EQ(chat.m_Text, "Ann: marker");
    EXPECT_EQ(ann->CountMessages(PACKET_CHAT), 1u);
    EXPECT_EQ(silent->FindMessage(PACKET_JOIN_COMPLETE), nullptr);
    EXPECT_TRUE(ann->IsConnected());
}

TEST_P(SessionTest, LeavingFreesTheSlotForTheNextClient) {
    StartServer();
    auto ann = Joined("Ann");
    auto bob = Joined("Bob");
    const size_t from = bob->GetMessageCount();
    ASSERT_TRUE(ann->SendLeave(6));
    ASSERT_TRUE(ann->WaitForDisconnect(kTimeout));
    EXPECT_EQ(ann->GetDisconnectReason(), 6u);
    const CReceivedMessage* left = bob->WaitForMessage(PACKET_CLIENT_LEFT, kTimeout, from);
    ASSERT_NE(left, nullptr);
    CClientLeft message;
    ASSERT_TRUE(left->Decode(message));
    EXPECT_EQ(message.m_Index, 0);
    EXPECT_EQ(bob->CountMessages(PACKET_CLIENT_LEFT), 1u);

    auto cid = Joined("Cid");
    EXPECT_EQ(cid->GetClientIndex(), 0) << "the freed slot is the first free one";

    // A client that simply drops its connection, giving 12 as its reason, is released as well.
    const size_t before = cid->GetMessageCount();
    bob->Disconnect(DISCONNECT_NICKNAME_IN_USE);
    ASSERT_TRUE(bob->WaitForDisconnect(kTimeout));
    ASSERT_NE(cid->WaitForMessage(PACKET_CLIENT_LEFT, kTimeout, before), nullptr);
    auto dan = Joined("Dan");
    EXPECT_EQ(dan->GetClientIndex(), 1);
}

TEST_P(SessionTest, QueryAnswersFromTheRunningServer) {
    StartServer("<rule name=\"Website\" value=\"example.org\"/><password>pw</password><maxplayers>8</maxplayers>");
    auto ann = NewClient("Ann", [](CClientSettings& s) { s.m_Password = "pw"; });
    ASSERT_TRUE(ann->Join("127.0.0.1", m_Port, kTimeout));

    CDatagramSocket socket;
    ASSERT_TRUE(socket.Open("127.0.0.1", m_Port));
    CQueryAnswer answer;
    // The snapshot follows the main loop; give it a moment to show the joined client.
    for (int attempt = 0; attempt < 50; ++attempt) {
        ASSERT_TRUE(socket.Send(CQueryRequest().Build()));
        std::vector<uint8_t> datagram;
        ASSERT_TRUE(socket.Receive(datagram, 2000));
        ASSERT_TRUE(answer.Parse(datagram));
        if (answer.m_PlayerCount == 1) break;
        m_Pool.Service(20);
    }
    EXPECT_EQ(answer.m_Type, 129);
    EXPECT_EQ(answer.m_Game, 1);
    EXPECT_EQ(answer.m_ProductName, "Corvid");
    EXPECT_EQ(answer.m_ServerFlags, 5) << "4, plus 1 for the password";
    EXPECT_EQ(answer.m_ServerName, "Test Server");
    EXPECT_EQ(answer.m_GameMode, "Testing");
    EXPECT_EQ(answer.m_PlayerCount, 1);
    EXPECT_EQ(answer.m_PlayerLimit, 8);
    EXPECT_EQ(answer.m_Players, (std::vector<std::pair<uint8_t, std::string>>{{0, "Ann"}}));
    EXPECT_EQ(answer.m_Rules, (std::vector<std::pair<std::string, std::string>>{{"Version", "1.7.1"},
                                                                               {"Website", "example.org"}}));

    // Another version gets no answer, and the datagram never reaches ENet (the client stays joined).
    std::vector<uint8_t> request = CQueryRequest().Build();
    request[6] = 2;
    ASSERT_TRUE(socket.Send(request));
    std::vector<uint8_t> none;
    EXPECT_FALSE(socket.Receive(none, 300));
    EXPECT_TRUE(ann->IsConnected());
}

TEST_P(SessionTest, GameFileCheckAdmitsTheRightDigestOnly) {
    // The anticheat file lies next to the executable; its MD5 is the one clients must send.
    m_Server.UsePrivateBinary();
    m_Server.WriteFile("bin/check.dat", "abc");
    const CFileDigest right = ComputeFileDigest("abc", 3);
    StartServer("<anticheat><file path=\"data/check.dat\" src=\"check.dat\"/></anticheat>");
    EXPECT_TRUE(HasLine("Adding anticheat file check.dat. Game path: data/check.dat"));

    struct Case { const char* name; std::vector<CFileDigest> digests; std::string line; } cases[] = {
        {"wrong digest", {{1, 2, 3, 4}}, "CONNECT: 127.0.0.1 revoked connection [CRC CHECK FAILED - data/check.dat]"},
        {"one file too many", {right, right}, "CONNECT: 127.0.0.1 revoked connection [CRC CHECK FAILED]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto client = NewClient("Cheat", [&](CClientSettings& s) { s.m_FileDigests = c.digests; });
        ASSERT_TRUE(client->Connect("127.0.0.1", m_Port, kTimeout));
        ASSERT_TRUE(client->WaitForDisconnect(kTimeout));
        EXPECT_EQ(client->GetDisconnectReason(), DISCONNECT_FILE_CHECK_FAILED);
        EXPECT_TRUE(m_Server.WaitForOutput(c.line)) << m_Server.GetOutput();
    }
    auto honest = NewClient("Honest", [&](CClientSettings& s) { s.m_FileDigests = {right}; });
    ASSERT_TRUE(honest->Join("127.0.0.1", m_Port, kTimeout));
    CGameFileCheckRequest request;
    ASSERT_TRUE(DecodeFirst(*honest, PACKET_GAME_FILE_CHECK, request));
    EXPECT_EQ(request.m_Paths, std::vector<std::string>{"data/check.dat"});
}

INSTANTIATE_TEST_SUITE_P(Transport, SessionTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Multithreaded" : "SingleThreaded";
                         });
