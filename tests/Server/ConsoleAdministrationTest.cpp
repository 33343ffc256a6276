// Console administration inside the server: the server's script functions (rules, bans, settings,
// messages, shutdown), the command layer's wiring (say, the unhandled-command line, client rights,
// cancelled client commands), key events from clients, and the ban path of a real connect request.
#include "../Network/LoopbackHarness.h"
#include "../Scripting/ScriptingTestUtil.h"

#include "GTAClient.h"
#include "GTAServer.h"

#include "Engine/Clock.h"
#include "Engine/MemoryStream.h"
#include "Engine/NativeState.h"
#include "Multiplayer/SessionMessages.h"

#include <gtest/gtest.h>

#include <initializer_list>

using namespace Tessera3D;
using namespace ScriptingTest;

namespace {

// A server without a transport host, with one admitted client "Ann" on a fake peer.
class ConsoleAdministrationTest : public ::testing::Test {
protected:
    ConsoleAdministrationTest() {
        m_Server.CreateConsoleClient();
        m_Server.GetRules().SetRule("Version", "1.7.1");
        m_pAnn = MakeStrong<CGTAClient>(&m_Server.GetMachines());
        m_pAnn->m_pPeer = &m_Peer;
        m_pAnn->m_Name = "Ann";
        m_pAnn->m_bGameFilesVerified = true;
        m_Server.GetMachines().Set(0, m_pAnn.Get());
    }

    // A function of the global namespace, or of the namespace "server" when the name starts with it.
    const ReflectedFunction* Find(const std::string& name) {
        ReflectedNamespace* pGlobal = &m_Server.GetScripting().m_Global;
        if (name.rfind("server.", 0) == 0) return pGlobal->FindNamespace("server")->FindFunction(name.c_str() + 7);
        return pGlobal->FindFunction(name.c_str());
    }

    // "none", "null", "true"/"false", a quoted string, or "error: <text>".
    std::string Run(const ScriptFunction& function, void* pUser, std::initializer_list<CArgument*> args) {
        CArgumentArray arguments;
        for (CArgument* pValue : args) arguments.Append(pValue);
        CNativeState state(&m_Server.GetScripting(), nullptr, &arguments);
        if (!state.Call(function, pUser)) return std::string("error: ") + GetLastError();
        CArgument* pResult = state.m_RVal.GetReturnArgument();
        if (!pResult) return "none";
        if (pResult->IsNull()) return "null";
        if (pResult->IsBoolean()) return pResult->ToBoolean() ? "true" : "false";
        if (pResult->IsString()) return std::string("\"") + pResult->ToString() + "\"";
        if (pResult->IsNumber()) {
            int64_t value = 0;
            pResult->ToNumber(value);
            return std::to_string(value);
        }
        return "other";
    }
    std::string Call(const std::string& name, std::initializer_list<CArgument*> args = {}) {
        const ReflectedFunction* pFunction = Find(name);
        if (!pFunction) return "no function " + name;
        return Run(pFunction->m_Function, pFunction->m_pUser, args);
    }
    std::string Get(const char* property) {
        const ReflectedProperty* pProperty = m_Server.GetScripting().m_Global.FindNamespace("server")->FindProperty(property);
        return Run(pProperty->m_Getter, pProperty->m_pUser, {});
    }
    std::string Set(const char* property, CArgument* pValue) {
        const ReflectedProperty* pProperty = m_Server.GetScripting().m_Global.FindNamespace("server")->FindProperty(property);
        return Run(pProperty->m_Setter, pProperty->m_pUser, {pValue});
    }

    // A client message as the transport hands it over.
    void Receive(uint32_t id, const std::vector<uint8_t>& payload) {
        auto pPayload = MakeStrong<CMemoryStream>(static_cast<const void*>(payload.data()), payload.size());
        m_Server.ProcessPacket(&m_Peer, id, pPayload.Get());
    }
    template <typename TMessage>
    void Receive(const TMessage& message) {
        Strong<Packet> pPacket = BuildMessage(message);
        ASSERT_TRUE(pPacket);
        std::vector<uint8_t> bytes(pPacket->GetData() + PACKET_HEADER_SIZE, pPacket->GetData() + pPacket->GetSize());
        Receive(TMessage::ID, bytes);
    }

    static CArgument* Str(const std::string& text) { return new CArgumentString(text.c_str()); }
    static CArgument* Int(int32_t value) { return new CArgumentInteger(value); }

    CGTAServer m_Server;
    NetPeer m_Peer{};
    Strong<CGTAClient> m_pAnn;
};

// The logger of the command layer, collecting what a remote console would be sent.
struct CCollectingLogger : Logger {
    void Log(int type, const char* text) override { m_Lines.push_back(std::to_string(type) + " " + text); }
    std::vector<std::string> m_Lines;
};

} // namespace

TEST_F(ConsoleAdministrationTest, RulesAndBansFromScripts) {
    const struct {
        const char* what;
        std::string name;
        std::vector<std::string> args;
        std::string expected;
    } rows[] = {
        {"a configured rule", "server.getRule", {"Version"}, "\"1.7.1\""},
        {"names are case-sensitive", "server.getRule", {"version"}, "null"},
        {"replace in place", "server.setRule", {"Version", "2.0"}, "none"},
        {"replaced", "server.getRule", {"Version"}, "\"2.0\""},
        {"append", "server.setRule", {"Website", "example.org"}, "none"},
        {"ban for ever without a duration", "server.banIP", {"1.2.3.4"}, "none"},
        {"banned", "server.isIPBanned", {"1.2.3.4"}, "true"},
        {"exact address only", "server.isIPBanned", {"1.2.3.40"}, "false"},
        {"unban", "server.unbanIP", {"1.2.3.4"}, "true"},
        {"unban again", "server.unbanIP", {"1.2.3.4"}, "false"},
        {"no longer banned", "server.isIPBanned", {"1.2.3.4"}, "false"},
        {"ban another", "server.banIP", {"5.6.7.8"}, "none"},
        {"unban all", "server.unbanAllIPs", {}, "none"},
        {"after unban all", "server.isIPBanned", {"5.6.7.8"}, "false"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const ReflectedFunction* pFunction = Find(row.name);
        ASSERT_NE(pFunction, nullptr);
        CArgumentArray arguments;
        for (const std::string& arg : row.args) arguments.AddString(arg.c_str());
        CNativeState state(&m_Server.GetScripting(), nullptr, &arguments);
        ASSERT_TRUE(state.Call(pFunction->m_Function, pFunction->m_pUser)) << GetLastError();
        CArgument* pResult = state.m_RVal.GetReturnArgument();
        std::string got = !pResult ? "none" : pResult->IsNull() ? "null" : pResult->IsBoolean() ? (pResult->ToBoolean() ? "true" : "false")
                                                                         : std::string("\"") + pResult->ToString() + "\"";
        EXPECT_EQ(got, row.expected);
    }
    EXPECT_EQ(m_Server.GetRules().GetRules(),
              (std::vector<std::pair<std::string, std::string>>{{"Version", "2.0"}, {"Website", "example.org"}}));

    // A timed ban expires with the clock: the first check after the expiry removes it.
    EXPECT_EQ(Call("server.banIP", {Str("9.9.9.9"), Int(60000)}), "none");
    const uint32_t now = OS::GetMillisecondsSinceStart();
    EXPECT_TRUE(m_Server.GetBanList().IsBanned("9.9.9.9", now + 59000));
    EXPECT_FALSE(m_Server.GetBanList().IsBanned("9.9.9.9", now + 61000));
    EXPECT_FALSE(m_Server.GetBanList().IsBanned("9.9.9.9", now)) << "removed by the check that found it expired";

    const struct {
        const char* what;
        std::string result, expected;
    } errors[] = {
        {"setRule, name not a string", Call("server.setRule", {Int(1), Str("x")}), "error: Expected string for argument 1"},
        {"setRule, no value", Call("server.setRule", {Str("x")}), "error: Expected string for argument 2"},
        {"banIP, duration not a number", Call("server.banIP", {Str("1.1.1.1"), Str("x")}), "error: Expected integer for argument 2"},
        {"isIPBanned, no address", Call("server.isIPBanned"), "error: Expected string for argument 1"},
    };
    for (const auto& row : errors) EXPECT_EQ(row.result, row.expected) << row.what;
}

TEST_F(ConsoleAdministrationTest, SettingsMessagesAndShutdown) {
    m_Server.GetSettings().m_ServerName = "Old";
    m_Server.GetSettings().m_Port = 22005;
    EXPECT_EQ(Get("game"), "1");
    EXPECT_EQ(Get("port"), "22005");
    EXPECT_EQ(Get("maxClients"), "32");
    EXPECT_EQ(Get("name"), "\"Old\"");
    EXPECT_EQ(Set("name", Str(std::string(100, 'n'))), "none");
    EXPECT_EQ(Get("name"), "\"" + std::string(63, 'n') + "\"") << "at most 63 characters are kept";
    EXPECT_EQ(Set("gameMode", Str("Racing")), "none");
    EXPECT_EQ(m_Server.GetSettings().m_GameMode, "Racing");
    EXPECT_EQ(Set("gameMode", Int(5)), "error: Expected string for argument 1");

    EXPECT_EQ(Call("message", {Str("hello"), Int(0x7F0000FF)}), "none");
    EXPECT_EQ(Call("messageClient", {Str("hello"), new CArgumentObject(m_pAnn.Get())}), "none");
    EXPECT_EQ(Call("messageClient", {Str("hello"), Str("Ann")}), "error: Expected Instance for argument 2");
    EXPECT_EQ(Call("messageAllExcept", {Str("hello"), new CArgumentObject(MakeStrong<CBaseObject>().Get())}),
              "error: Expected Client for argument 2");
    EXPECT_EQ(Call("message", {Str("hello"), Str("red")}), "error: Expected integer for argument 2");

    CLogCapture log;
    EXPECT_FALSE(m_Server.IsQuitting());
    EXPECT_EQ(Call("server.shutdown"), "none");
    EXPECT_TRUE(m_Server.IsQuitting());
    EXPECT_EQ(log.Lines("[INFO]    "), (std::vector<std::string>{"Script requested server shutdown!"}));
}

TEST_F(ConsoleAdministrationTest, CommandsByCallerAndRights) {
    CLogCapture log;
    CCollectingLogger remote;
    CCommandHandlers& commands = m_Server.GetCommandHandlers();
    commands.SetLogger(&remote);
    CNetMachine* pConsole = m_Server.GetConsoleClient();

    // The console, no client at all, and a client: only the first two hear about unknown commands.
    EXPECT_FALSE(commands.Execute("nope", "", pConsole, true, ""));
    EXPECT_FALSE(commands.ConsoleCommand("/nothing here", nullptr, true));
    m_pAnn->m_bAdministrator = true;
    EXPECT_FALSE(commands.Execute("nope", "", m_pAnn.Get(), true, ""));
    EXPECT_EQ(remote.m_Lines,
              (std::vector<std::string>{
                  "5 'nope' is not recognized as an internal or external command, operable program or batch file.",
                  "5 'nothing' is not recognized as an internal or external command, operable program or batch file.",
              }));
    commands.SetLogger(nullptr);

    // "say" from the console and from an administrator; without a client it does nothing.
    EXPECT_TRUE(commands.Execute("SAY", "from the console", pConsole, true, ""));
    EXPECT_TRUE(commands.ConsoleCommand("chat without a client", nullptr, true));
    CCommandMessage say;
    say.m_Name = "say";
    say.m_Arguments = "hi";
    Receive(say);
    // Without administrator rights the restricted commands are refused, whatever their case.
    m_pAnn->m_bAdministrator = false;
    say.m_Arguments = "refused";
    Receive(say);
    CCommandMessage quit;
    quit.m_Name = "QUIT";
    Receive(quit);
    EXPECT_FALSE(m_Server.IsQuitting());
    EXPECT_EQ(log.Lines("[INFO]    "), (std::vector<std::string>{"Console: from the console", "Ann: hi"}));

    // A cancelled "OnPlayerCommand" keeps the command from running; arguments over 255 characters
    // are never run.
    auto cancel = Recorder([](const CArgumentArray& values) {
        if (auto* pEvent = dynamic_cast<EventHandlers::CCancellableEvent*>(values.Get(0)->ToObject())) pEvent->PreventDefault();
    });
    auto ran = Recorder();
    commands.AddScriptCommandHandler("mine", ran.Get(), nullptr, false);
    CCommandMessage mine;
    mine.m_Name = "mine";
    mine.m_Arguments = std::string(256, 'a');
    Receive(mine);
    EXPECT_EQ(ran->GetCallCount(), 0u);
    mine.m_Arguments = "ok";
    Receive(mine);
    ASSERT_EQ(ran->GetCallCount(), 1u);
    EXPECT_EQ(ran->GetCall(0).Get(2)->ToObject(), m_pAnn.Get()) << "script handlers get the client";
    m_Server.GetEventHandlers().FindEventType("OnPlayerCommand")->AddHandler(
        std::make_unique<EventHandlers::CScriptEventHandler>(&m_Server.GetEventHandlers(), nullptr, nullptr, cancel.Get()));
    Receive(mine);
    EXPECT_EQ(ran->GetCallCount(), 1u);
    EXPECT_EQ(cancel->GetCallCount(), 1u);
    ASSERT_EQ(cancel->GetCall(0).GetCount(), 4u);
    EXPECT_STREQ(cancel->GetCall(0).Get(2)->ToString(), "mine");
    EXPECT_STREQ(cancel->GetCall(0).Get(3)->ToString(), "ok");
}

TEST_F(ConsoleAdministrationTest, KeyEventsReachBindsWithTheClient) {
    auto bind = Recorder();
    m_Server.GetKeyBinds().BindKey(0x20, KEYSTATE_DOWN, bind.Get(), false, nullptr);
    const std::vector<uint8_t> payload = {1, 44, 0, 0, 0, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Receive(PACKET_KEY_EVENT, std::vector<uint8_t>(payload.begin(), payload.end() - 1)); // cut short
    EXPECT_EQ(bind->GetCallCount(), 0u);
    Receive(PACKET_KEY_EVENT, payload);
    ASSERT_EQ(bind->GetCallCount(), 1u);
    ASSERT_EQ(bind->GetCall(0).GetCount(), 2u);
    auto* pEvent = dynamic_cast<CKeyEvent*>(bind->GetCall(0).Get(0)->ToObject());
    ASSERT_NE(pEvent, nullptr);
    EXPECT_EQ(pEvent->m_ScanCode, 44);
    EXPECT_EQ(pEvent->GetReflectedClass(), m_Server.GetScripting().m_Global.FindClass("KeyEvent"));
    EXPECT_EQ(bind->GetCall(0).Get(1)->ToObject(), m_pAnn.Get());

    // Until the game-file check has passed, a client's key events are not taken.
    m_pAnn->m_bGameFilesVerified = false;
    Receive(PACKET_KEY_EVENT, payload);
    EXPECT_EQ(bind->GetCallCount(), 1u);
}

TEST_F(ConsoleAdministrationTest, ServerEventsAndTheirRegistrationOrder) {
    // The events a host raises carry the arguments their declarations ask for.
    struct Case {
        const char* name;
        int32_t arguments;
        bool cancellable;
    } cases[] = {
        {"OnPlayerConnect", 1, true}, {"OnPlayerJoin", 1, false}, {"OnPlayerJoined", 1, false}, {"OnPlayerQuit", 2, false},
        {"OnPlayerChat", 2, true},    {"OnPlayerCommand", 3, true}, {"OnProcess", 1, false},    {"OnServerStart", 0, false},
        {"OnElementDestroy", 1, true}, {"OnPedWasted", 5, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EventHandlers::CEventType* pType = m_Server.GetEventHandlers().FindEventType(c.name);
        ASSERT_NE(pType, nullptr);
        EXPECT_EQ(pType->GetArgumentCount(), c.arguments);
        EXPECT_EQ(pType->IsCancellable(), c.cancellable);
    }
    const auto& types = m_Server.GetEventHandlers().GetEventTypes();
    EXPECT_EQ(types.front()->GetName(), "OnResourceStart");
    EXPECT_EQ(types[2]->GetName(), "OnPlayerConnect");

    // A chat handler that cancels keeps the line from being logged.
    CLogCapture log;
    auto cancel = Recorder([](const CArgumentArray& values) {
        static_cast<EventHandlers::CCancellableEvent*>(values.Get(0)->ToObject())->PreventDefault();
    });
    m_Server.UserChat(m_pAnn.Get(), "before");
    m_Server.GetEventHandlers().FindEventType("OnPlayerChat")->AddHandler(
        std::make_unique<EventHandlers::CScriptEventHandler>(&m_Server.GetEventHandlers(), nullptr, nullptr, cancel.Get()));
    m_Server.UserChat(m_pAnn.Get(), "after");
    EXPECT_EQ(log.Lines("[INFO]    "), (std::vector<std::string>{"Ann: before"}));
    EXPECT_EQ(cancel->GetCallCount(), 1u);

    // The registries' functions come first, in their order, then the server's own.
    const auto& functions = m_Server.GetScripting().m_Global.m_Functions;
    std::vector<std::string> names;
    for (const auto& pFunction : functions) names.push_back(pFunction->m_Function.GetName());
    auto position = [&](const char* name) { return std::find(names.begin(), names.end(), name) - names.begin(); };
    EXPECT_LT(position("addEvent"), position("addCommandHandler"));
    EXPECT_LT(position("addCommandHandler"), position("setTimeout"));
    EXPECT_LT(position("setTimeout"), position("bindKey"));
    EXPECT_LT(position("bindKey"), position("message"));
    EXPECT_LT(position("message"), static_cast<long>(names.size()));
}

// A real connect request from a banned address over loopback ENet: refused with [BANNED] and reason 7
// until the ban expires.
TEST(BanPath, BannedAddressIsRefusedUntilTheBanExpires) {
    CGTAServer server;
    server.GetSettings().m_Port = NetworkTest::FindFreeUdpPort();
    server.GetSettings().m_bMultithreaded = false;
    ASSERT_TRUE(server.StartNetwork());
    server.CreateConsoleClient();

    CConnectRequest request;
    request.m_ProtocolVersion = NETWORK_PROTOCOL_VERSION;
    request.m_Version[0] = 1;
    request.m_Nickname = "Ann";
    request.m_NicknameLength = 3;
    request.m_Game = 1;
    Strong<Packet> pRequest = BuildMessage(request);
    ASSERT_TRUE(pRequest);
    const NetworkTest::Bytes bytes(pRequest->GetData(), pRequest->GetData() + pRequest->GetSize());

    const uint32_t bannedAt = OS::GetMillisecondsSinceStart();
    server.GetBanList().Ban("127.0.0.1", 200, bannedAt);
    CLogCapture log;
    NetworkTest::CTestClient refused;
    ASSERT_TRUE(refused.Connect(server.GetSettings().m_Port));
    auto step = [&](NetworkTest::CTestClient& client) {
        return [&] {
            server.GetTransport()->Update();
            client.Service();
        };
    };
    ASSERT_TRUE(NetworkTest::PumpUntil(step(refused), [&] { return refused.m_bConnected; }));
    ASSERT_TRUE(refused.Send(bytes));
    ASSERT_TRUE(NetworkTest::PumpUntil(step(refused), [&] { return refused.m_bDisconnected; }));
    EXPECT_EQ(refused.m_DisconnectData, static_cast<uint32_t>(DISCONNECT_BANNED));
    EXPECT_EQ(log.Warnings(), (std::vector<std::string>{"CONNECT: 127.0.0.1 revoked connection [BANNED]"}));
    EXPECT_EQ(server.GetConnectedClientCount(), 0u);

    // Wait for the clock to pass the expiry (no timing is asserted), then the same address gets in.
    while (OS::GetMillisecondsSinceStart() - bannedAt < 200) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    NetworkTest::CTestClient admitted;
    ASSERT_TRUE(admitted.Connect(server.GetSettings().m_Port));
    ASSERT_TRUE(NetworkTest::PumpUntil(step(admitted), [&] { return admitted.m_bConnected; }));
    ASSERT_TRUE(admitted.Send(bytes));
    EXPECT_TRUE(NetworkTest::PumpUntil(step(admitted), [&] { return server.GetConnectedClientCount() == 1; }));
    EXPECT_FALSE(admitted.m_bDisconnected);
    EXPECT_FALSE(server.GetBanList().IsBanned("127.0.0.1", OS::GetMillisecondsSinceStart()));

    // A ban does not touch a client that is already connected.
    server.GetBanList().Ban("127.0.0.1", 0, OS::GetMillisecondsSinceStart());
    NetworkTest::PumpUntil(step(admitted), [] { return false; }, 100);
    EXPECT_FALSE(admitted.m_bDisconnected);
    EXPECT_EQ(server.GetConnectedClientCount(), 1u);
}
