// Console administration against the real server: lines typed on standard input, the lines of
// "/commandline.txt", and commands sent by clients.
#include "ServerProcess.h"

#include "Multiplayer/SessionMessages.h"
#include "TestClient/TestClient.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kTimeout = 10000;
const char kNotRecognized[] = "' is not recognized as an internal or external command, operable program or batch file.";

std::string NotRecognized(const std::string& word) { return "'" + word + kNotRecognized; }

class ConsoleTest : public ::testing::Test {
protected:
    void StartServer(const std::vector<std::string>& arguments = {}) {
        m_Port = CServerProcess::FreePort();
        m_Server.WriteConfig("<httpserver>false</httpserver><port>" + std::to_string(m_Port) + "</port>");
        m_Server.Start(arguments);
    }
    void StartAndWait() {
        StartServer();
        ASSERT_TRUE(m_Server.WaitForOutput("Resources loaded")) << m_Server.GetOutput();
    }

    size_t CountLines(const std::string& line) {
        const auto lines = m_Server.GetPlainLines();
        return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
    }

    CServerProcess m_Server;
    CTestClientPool m_Pool;
    uint16_t m_Port = 0;
};

} // namespace

TEST_F(ConsoleTest, QuitAndExitStopTheServerWithStatusZero) {
    for (const char* word : {"quit", "QUIT", "Exit"}) {
        SCOPED_TRACE(word);
        CServerProcess server;
        server.WriteConfig("<httpserver>false</httpserver><port>" + std::to_string(CServerProcess::FreePort()) + "</port>");
        server.Start();
        ASSERT_TRUE(server.WaitForOutput("Resources loaded")) << server.GetOutput();
        server.SendInput(std::string(word) + "\n");
        EXPECT_EQ(server.WaitForExit(), 0);
        const auto lines = server.GetPlainLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "Server shutting down...");
    }
}

TEST_F(ConsoleTest, UnknownWordsEmptyAndLongLines) {
    StartAndWait();
    // Nothing happens for an empty line or one of 300 characters; the unknown word is reported once,
    // as an error; a known command in any letter case is not.
    m_Server.SendInput("\n");
    m_Server.SendInput(std::string(300, 'x') + "\n");
    m_Server.SendInput("frobnicate now please\n");
    ASSERT_TRUE(m_Server.WaitForOutput("\033[31;1m" + NotRecognized("frobnicate") + "\033[0;0m\n")) << m_Server.GetOutput();
    m_Server.SendInput("Say\n"); // "say" with nothing to say is still a command, not an unknown word
    m_Server.SendInput("quit\n");
    EXPECT_EQ(m_Server.WaitForExit(), 0);
    EXPECT_EQ(CountLines(NotRecognized("frobnicate")), 1u);
    size_t reported = 0;
    for (const std::string& line : m_Server.GetPlainLines()) reported += line.find(kNotRecognized) != std::string::npos;
    EXPECT_EQ(reported, 1u) << m_Server.GetOutput();
}

TEST_F(ConsoleTest, SayReachesClientsAsConsoleChat) {
    StartAndWait();
    CClientSettings settings;
    settings.m_Nickname = "Ann";
    CTestClient ann(m_Pool, settings);
    ASSERT_TRUE(ann.Join("127.0.0.1", m_Port, kTimeout)) << m_Server.GetOutput();
    const size_t from = ann.GetMessageCount();
    m_Server.SendInput("say hello\n");
    const CReceivedMessage* pChat = ann.WaitForMessage(PACKET_CHAT, kTimeout, from);
    ASSERT_NE(pChat, nullptr);
    CChatToClient chat;
    ASSERT_TRUE(pChat->Decode(chat));
    EXPECT_EQ(chat.m_Text, "Console: hello");
    EXPECT_EQ(chat.m_ChatType, static_cast<uint32_t>(CHAT_TYPE_CHAT));
    EXPECT_TRUE(m_Server.WaitForOutput("Console: hello"));

    // Commands from a client without administrator rights: "quit" is restricted and an unknown command
    // gets no answer; neither stops the server nor prints anything.
    ASSERT_TRUE(ann.SendCommand("quit"));
    ASSERT_TRUE(ann.SendCommand("nosuchthing", "x"));
    ASSERT_TRUE(ann.SendChat("still here"));
    ASSERT_NE(ann.WaitForMessage(PACKET_CHAT, kTimeout, from + 1), nullptr);
    EXPECT_TRUE(ann.IsConnected());
    m_Server.SendInput("quit\n");
    EXPECT_EQ(m_Server.WaitForExit(), 0);
    const std::string output = m_Server.GetOutput();
    EXPECT_EQ(output.find(kNotRecognized), std::string::npos) << output;
}

TEST_F(ConsoleTest, CommandLineFileRunsItsLinesAtStart) {
    m_Server.UsePrivateBinary();
    // Chat without a client does nothing; "/" lines are commands; the last line has no line feed and
    // is not run; "/quit" stops the server before anyone types anything.
    m_Server.WriteFile("bin/commandline.txt", "hello from the file\r\n"
                                              "/nosuchcommand with arguments\n"
                                              "/" + std::string(300, 'y') + "\n"
                                              "/quit\n"
                                              "/unterminated");
    StartServer({"-noinput"});
    EXPECT_EQ(m_Server.WaitForExit(), 0) << m_Server.GetOutput();
    const auto lines = m_Server.GetPlainLines();
    ASSERT_GE(lines.size(), 3u) << m_Server.GetOutput();
    const std::vector<std::string> tail(lines.end() - 3, lines.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"0/0 Resources loaded, 0 failed", NotRecognized("nosuchcommand"),
                                              "Server shutting down..."}));
    EXPECT_EQ(CountLines(NotRecognized("nosuchcommand")), 1u) << m_Server.GetOutput();
    EXPECT_EQ(m_Server.GetOutput().find("hello from the file"), std::string::npos);
    EXPECT_EQ(m_Server.GetOutput().find("unterminated"), std::string::npos);
    EXPECT_EQ(m_Server.GetOutput().find("yyyy"), std::string::npos);
}
