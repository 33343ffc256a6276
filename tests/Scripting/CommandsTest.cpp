// The command registry: splitting operator lines, privilege, the unhandled-command handler, script
// handlers and their arguments, replacing and removing by resource, and handlers that change the table
// while they run.
#include "ScriptingTestUtil.h"

#include "Scripting/CommandHandlers.h"

#include <gtest/gtest.h>

using namespace Tessera3D;
using namespace ScriptingTest;

namespace {

struct CThing : CBaseObject {};

// One call a native handler saw; parameters "(null)" when it got none.
struct SCall {
    std::string m_Handler, m_Command, m_Parameters;
    CBaseObject* m_pClient = nullptr;
    bool operator==(const SCall& other) const {
        return m_Handler == other.m_Handler && m_Command == other.m_Command && m_Parameters == other.m_Parameters &&
               m_pClient == other.m_pClient;
    }
};

std::ostream& operator<<(std::ostream& out, const SCall& call) {
    return out << call.m_Handler << "(" << call.m_Command << ", \"" << call.m_Parameters << "\")";
}

class CRecordingHandler : public CCommandHandler {
public:
    CRecordingHandler(std::vector<SCall>& calls, std::string label, bool restricted = true)
        : CCommandHandler(restricted), m_Calls(calls), m_Label(std::move(label)) {}
    void Execute(const char* command, const char* parameters, CBaseObject* client) override {
        m_Calls.push_back({m_Label, command ? command : "(null)", parameters ? parameters : "(null)", client});
    }
    std::vector<SCall>& m_Calls;
    std::string m_Label;
};

class CommandsTest : public ::testing::Test {
protected:
    CommandsTest() {
        m_Commands.AddCommandHandler(std::make_unique<CRecordingHandler>(m_Calls, "start"), "Start");
        m_Commands.AddCommandHandler(std::make_unique<CRecordingHandler>(m_Calls, "say"), "say");
        m_Commands.AddCommandHandler(std::make_unique<CRecordingHandler>(m_Calls, "open", false), "open");
        m_Commands.SetUnhandledHandler(std::make_unique<CRecordingHandler>(m_Calls, "unhandled"));
    }

    CCommandHandlers m_Commands;
    std::vector<SCall> m_Calls;
    Strong<CThing> m_Client = MakeStrong<CThing>();
    Strong<CThing> m_Resource1 = MakeStrong<CThing>(), m_Resource2 = MakeStrong<CThing>();
};

} // namespace

TEST_F(CommandsTest, OperatorLinesReachTheirHandlers) {
    const std::string longLine(300, 'x');
    const std::string longParameters = "open " + std::string(260, 'p');
    enum eEntry { CONSOLE, ONLY, TRIGGER };
    struct Case {
        eEntry entry;
        std::string text;
        bool privileged;
        bool result;
        std::vector<SCall> calls; // client filled in below
    } cases[] = {
        {CONSOLE, "/start res", true, true, {{"start", "start", "res"}}},
        {CONSOLE, "/START  two words\r\n", true, true, {{"start", "START", " two words"}}},
        {CONSOLE, "/start res", false, false, {}},  // restricted, and the unhandled handler is too
        {CONSOLE, "/open door", false, true, {{"open", "open", "door"}}},
        {CONSOLE, "hello world", true, true, {{"say", "say", "hello world"}}},
        {CONSOLE, "/nothing", true, false, {{"unhandled", "nothing", "(null)"}}},
        {CONSOLE, "/nothing here", true, false, {{"unhandled", "nothing", "here"}}},
        {CONSOLE, "/ start", true, false, {{"unhandled", "", "start"}}},
        {CONSOLE, "/", true, false, {}},
        {CONSOLE, "", true, false, {}},
        {CONSOLE, longLine, true, false, {}},
        {ONLY, "start\nres", true, true, {{"start", "start", "res"}}},
        {ONLY, "start\r\n", true, true, {{"start", "start", ""}}},
        {ONLY, "start", true, true, {{"start", "start", ""}}},
        {ONLY, "hello world", true, false, {{"unhandled", "hello", "world"}}},
        {ONLY, longParameters, true, true, {{"open", "open", std::string(250, 'p')}}}, // the line is cut to 255
        {TRIGGER, "open", true, true, {{"open", "open", std::string(255, 'q')}}},      // parameters cut to 255
        {TRIGGER, "missing", true, false, {}},                                          // no unhandled fallback
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        m_Calls.clear();
        bool result = false;
        switch (c.entry) {
        case CONSOLE: result = m_Commands.ConsoleCommand(c.text.c_str(), m_Client.Get(), c.privileged); break;
        case ONLY: result = m_Commands.ConsoleCommandOnly(c.text.c_str(), m_Client.Get(), c.privileged); break;
        case TRIGGER:
            result = m_Commands.Trigger(c.text.c_str(), (std::string(300, 'q') + "\r\n").c_str(), m_Client.Get(), c.privileged);
            break;
        }
        EXPECT_EQ(result, c.result);
        for (SCall& call : c.calls) call.m_pClient = m_Client.Get();
        EXPECT_EQ(m_Calls, c.calls);
    }

    // Chat without a "say" handler goes to the unhandled handler as the command "say".
    m_Calls.clear();
    EXPECT_TRUE(m_Commands.RemoveCommandHandler("SAY", nullptr));
    EXPECT_FALSE(m_Commands.ConsoleCommand("hi there", nullptr, true));
    EXPECT_EQ(m_Calls, (std::vector<SCall>{{"unhandled", "say", "hi there", nullptr}}));

    // An unrestricted unhandled handler hears unprivileged callers too.
    m_Calls.clear();
    m_Commands.SetUnhandledHandler(std::make_unique<CRecordingHandler>(m_Calls, "anyone", false));
    EXPECT_FALSE(m_Commands.ConsoleCommand("/start", nullptr, false));
    EXPECT_EQ(m_Calls, (std::vector<SCall>{{"anyone", "start", "(null)", nullptr}}));
}

TEST_F(CommandsTest, ScriptHandlersByResource) {
    auto function = Recorder(), other = Recorder();
    EXPECT_TRUE(m_Commands.AddScriptCommandHandler("MyCmd", function.Get(), m_Resource1.Get(), false));
    EXPECT_TRUE(m_Commands.HasCommandHandler("mycmd"));
    EXPECT_FALSE(m_Commands.FindCommandHandler("mycmd")->IsRestricted());
    EXPECT_FALSE(m_Commands.AddScriptCommandHandler("mycmd", other.Get(), m_Resource1.Get(), false)) << "taken";
    EXPECT_FALSE(m_Commands.AddScriptCommandHandler("mycmd", other.Get(), m_Resource2.Get(), true))
        << "another resource cannot replace it";
    EXPECT_FALSE(m_Commands.AddScriptCommandHandler("start", other.Get(), m_Resource1.Get(), true))
        << "nor a resource the host's handler";

    // Arguments: name, parameters ("" when none), and the client only when clients are passed.
    EXPECT_TRUE(m_Commands.ConsoleCommand("/MYCMD", nullptr, false));
    m_Commands.SetPassClient(true);
    EXPECT_TRUE(m_Commands.ConsoleCommand("/mycmd a b", m_Client.Get(), false));
    EXPECT_TRUE(m_Commands.ConsoleCommand("/mycmd", nullptr, false));
    ASSERT_EQ(function->GetCallCount(), 3u);
    EXPECT_EQ(function->GetCall(0).GetCount(), 2u);
    EXPECT_STREQ(function->GetCall(0).Get(0)->ToString(), "MYCMD");
    EXPECT_STREQ(function->GetCall(0).Get(1)->ToString(), "");
    ASSERT_EQ(function->GetCall(1).GetCount(), 3u);
    EXPECT_STREQ(function->GetCall(1).Get(1)->ToString(), "a b");
    EXPECT_EQ(function->GetCall(1).Get(2)->ToObject(), m_Client.Get());
    EXPECT_TRUE(function->GetCall(2).Get(2)->IsNil());

    // The same resource replaces its own handler.
    EXPECT_TRUE(m_Commands.AddScriptCommandHandler("mycmd", other.Get(), m_Resource1.Get(), true));
    m_Commands.Trigger("mycmd", nullptr, nullptr, false);
    EXPECT_EQ(function->GetCallCount(), 3u);
    EXPECT_EQ(other->GetCallCount(), 1u);

    // Removal: only by the owner, or by the host (no resource).
    EXPECT_FALSE(m_Commands.RemoveCommandHandler("mycmd", m_Resource2.Get()));
    EXPECT_FALSE(m_Commands.RemoveCommandHandler("start", m_Resource1.Get()));
    EXPECT_TRUE(m_Commands.RemoveCommandHandler("MyCmd", m_Resource1.Get()));
    EXPECT_FALSE(m_Commands.RemoveCommandHandler("mycmd", nullptr));

    m_Commands.AddScriptCommandHandler("a", function.Get(), m_Resource1.Get(), false);
    m_Commands.AddScriptCommandHandler("b", function.Get(), m_Resource1.Get(), false);
    m_Commands.AddScriptCommandHandler("c", function.Get(), m_Resource2.Get(), false);
    EXPECT_EQ(m_Commands.RemoveHandlers(m_Resource1.Get()), 2u);
    EXPECT_EQ(m_Commands.RemoveHandlers(nullptr), 0u) << "the host's handlers stay";
    EXPECT_TRUE(m_Commands.HasCommandHandler("c"));
    EXPECT_TRUE(m_Commands.HasCommandHandler("start"));
}

// A handler that removes or replaces itself while it runs is freed only after it returned (ASan
// checks); the change itself is visible at once.
TEST_F(CommandsTest, HandlersChangingTheTableWhileTheyRun) {
    std::vector<std::string> ran;
    auto replacement = Recorder([&](const CArgumentArray&) { ran.push_back("replacement"); });
    auto self = Recorder([&](const CArgumentArray&) {
        ran.push_back("self");
        EXPECT_TRUE(m_Commands.AddScriptCommandHandler("cmd", replacement.Get(), m_Resource1.Get(), true));
        ran.push_back(m_Commands.HasCommandHandler("cmd") ? "still named" : "gone");
        // A nested command runs the replacement already.
        m_Commands.Trigger("cmd", "", nullptr, false);
        EXPECT_TRUE(m_Commands.RemoveCommandHandler("cmd", m_Resource1.Get()));
        ran.push_back(m_Commands.HasCommandHandler("cmd") ? "still named" : "gone");
    });
    m_Commands.AddScriptCommandHandler("cmd", self.Get(), m_Resource1.Get(), false);
    self.Detach()->Release(); // the handler holds the only reference
    EXPECT_TRUE(m_Commands.Trigger("cmd", "", nullptr, false));
    EXPECT_EQ(ran, (std::vector<std::string>{"self", "still named", "replacement", "gone"}));
    EXPECT_FALSE(m_Commands.Trigger("cmd", "", nullptr, false));
}

TEST_F(CommandsTest, LoggerCanBeSubstitutedAndRestored) {
    struct CCollectingLogger : Logger {
        void Log(int type, const char* text) override { m_Lines.push_back(std::to_string(type) + " " + text); }
        std::vector<std::string> m_Lines;
    } remote;
    Logger* pConsole = m_Commands.GetLogger();
    ASSERT_NE(pConsole, nullptr);
    EXPECT_EQ(m_Commands.SetLogger(&remote), pConsole);
    m_Commands.GetLogger()->LogFormatted(LOGTYPE_ERROR, "'%s' is odd", "x");
    EXPECT_EQ(remote.m_Lines, (std::vector<std::string>{"5 'x' is odd"}));
    EXPECT_EQ(m_Commands.SetLogger(nullptr), &remote);
    EXPECT_EQ(m_Commands.GetLogger(), pConsole);
}
