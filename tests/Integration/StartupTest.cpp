// Start-up, configuration refusals, command-line overrides, shutdown and the log file, observed from
// outside the running server.
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <regex>
#include <sstream>

namespace {

// A configuration on a free game port, without listeners that could clash between tests.
std::string BaseConfig(const std::string& extra = "", uint16_t port = CServerProcess::FreePort()) {
    return "<httpserver>false</httpserver><port>" + std::to_string(port) + "</port>\n" + extra;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string ReadWhole(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

// Starts, waits for the main loop, stops with SIGINT and checks the clean exit.
void StartAndStop(CServerProcess& server, const std::vector<std::string>& arguments = {}) {
    server.Start(arguments);
    ASSERT_TRUE(server.WaitForOutput("Resources loaded")) << server.GetOutput();
    server.Interrupt();
    EXPECT_EQ(server.WaitForExit(), 0);
    EXPECT_TRUE(Contains(server.GetPlainLines(), "Server shutting down..."));
}

} // namespace

TEST(Startup, FailedStartsReportPauseAndExitWithOne) {
    struct Case {
        const char* name;
        const char* config; // null: no server.xml at all
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {"missing file", nullptr, {}, "I can't start because server.xml doesn't exist..."},
        {"-config names a missing file", "", {"-config", "other.xml"}, "I can't start because server.xml doesn't exist..."},
        {"not a document", "<server><unclosed></server", {}, "I can't start because server.xml failed to parse..."},
        {"maxplayers 0", "<maxplayers>0</maxplayers>", {}, "The max players should at least be 1!"},
        {"maxplayers not a number", "<maxplayers>abc</maxplayers>", {}, "The max players should at least be 1!"},
        {"maxplayers 128", "<maxplayers>128</maxplayers>", {}, "The max players should not be set to anything more than 127!"},
        {"maxplayers -1", "<maxplayers>-1</maxplayers>", {}, "The max players should not be set to anything more than 127!"},
        {"rcon port clash", "<rcon>true</rcon><rconport>22005</rconport><httpport>22005</httpport>", {}, "The rconport and httpport cannot match!"},
        {"streaminterval 499", "<streaminterval>499</streaminterval>", {}, "The streaminterval must be greater than or equal to 500 and less than or equal to 5000!"},
        {"streaminterval 5001", "<streaminterval>5001</streaminterval>", {}, "The streaminterval must be greater than or equal to 500 and less than or equal to 5000!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CServerProcess server;
        if (c.config) {
            if (std::string(c.config).rfind("<server>", 0) == 0) server.WriteFile("server.xml", c.config);
            else server.WriteConfig(c.config);
        }
        server.Start(c.arguments);
        ASSERT_TRUE(server.WaitForOutput("Press any key to continue ...")) << server.GetOutput();
        server.SendInput("x");
        EXPECT_EQ(server.WaitForExit(), 1);
        const std::string output = server.GetOutput();
        EXPECT_NE(output.find(std::string("\033[31;1m") + c.message + "\033[0;0m\n"), std::string::npos)
            << "the error is printed in bright red: " << output;
        EXPECT_EQ(output.find("Server is starting..."), std::string::npos);
    }
}

TEST(Startup, GamePortThatCannotBeOpenedStopsTheStart) {
    // The port is held by another socket of this test; the bind address names no host.
    const int holder = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    socklen_t length = sizeof(address);
    getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
    for (const char* extra : {"", "<bindip>no.such.host.invalid</bindip>"}) {
        CServerProcess server;
        server.WriteConfig(BaseConfig(extra, ntohs(address.sin_port)));
        server.Start();
        server.CloseInput();
        EXPECT_EQ(server.WaitForExit(), 1);
        const auto lines = server.GetPlainLines();
        EXPECT_TRUE(Contains(lines, "Failed to start the server!")) << server.GetOutput();
        EXPECT_FALSE(Contains(lines, "Starting resources..."));
    }
    close(holder);
}

TEST(Startup, PauseNeverHangsWithoutATerminal) {
    CServerProcess server;
    server.Start();
    server.CloseInput(); // end of input instead of a key
    EXPECT_EQ(server.WaitForExit(std::chrono::seconds(10)), 1);
}

TEST(Startup, AcceptedOddValuesAndDefaults) {
    // These are all accepted: the 16-bit value of 65536 + 500, an odd sync method spelling, a bad
    // priority (logged, then low), rcon off with equal ports.
    CServerProcess server;
    server.WriteConfig(BaseConfig("<streaminterval>66036</streaminterval>"
                                  "<syncmethod>Replay</syncmethod>"
                                  "<syncpacketpriority>fastest</syncpacketpriority>"
                                  "<rconport>22000</rconport><rcon>false</rcon>"
                                  "<multithreaded>false</multithreaded>"));
    StartAndStop(server);
    const auto lines = server.GetPlainLines();
    EXPECT_TRUE(Contains(lines, "Invalid syncpriority specified, using low!"));
    EXPECT_FALSE(Contains(lines, "Invalid syncmethod specified, using interval!"));
    EXPECT_TRUE(Contains(lines, "Multithreading: disabled"));
}

TEST(Startup, StartSequenceAndCleanInterrupt) {
    CServerProcess server;
    const uint16_t port = CServerProcess::FreePort();
    server.WriteConfig(BaseConfig("<syncmethod>fast</syncmethod>"
                                  "<cvar name=\"a\" value=\"1\"/><cvar value=\"2\"/><cvar name=\"b\"/>"
                                  "<rule name=\"r\"/><rule value=\"v\"/>"
                                  "<resources><resource src=\"missing\"/><other/></resources>",
                                  port));
    StartAndStop(server);
    const auto lines = server.GetPlainLines();
    const std::vector<std::string> expected = {
        "Invalid syncmethod specified, using interval!",
        "CVar in config without name attribute!",
        "CVar b in config without value attribute!",
        "Rule r in config without value attribute!",
        "Rule in config without name attribute!",
        "Server is starting...",
        "Multithreading: enabled",
        "Server is now listening on port " + std::to_string(port) + " max players 32...",
        "Starting resources...",
        "Error loading resource missing: resource not found!",
        "0/1 Resources loaded, 1 failed",
        "Server shutting down...",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_NE(server.GetOutput().find("\033[33;1m0/1 Resources loaded, 1 failed\033[0;0m\n"), std::string::npos)
        << "a failed resource makes the summary a warning";
}

TEST(Startup, CommandLineOverridesAfterValidation) {
    // -maxplayers 200 passes although the file would refuse it; options are case-insensitive, unknown
    // ones ignored, and -disablemultithreaded beats the file.
    CServerProcess server;
    server.WriteFile("alt.xml", "<server><httpserver>false</httpserver><maxplayers>5</maxplayers></server>");
    const std::string port = std::to_string(CServerProcess::FreePort());
    StartAndStop(server, {"-MAXPLAYERS", "200", "-unknown", "-Config", "alt.xml", "-port", "abc", "-port", port,
                          "-DisableMultithreaded", "-noinput", "-allowadmin"});
    EXPECT_TRUE(Contains(server.GetPlainLines(), "Multithreading: disabled"));
    EXPECT_TRUE(Contains(server.GetPlainLines(), "Server is now listening on port " + port + " max players 200..."));
}

TEST(Startup, SecondInterruptDoesNothingMore) {
    CServerProcess server;
    server.WriteConfig(BaseConfig());
    server.Start();
    ASSERT_TRUE(server.WaitForOutput("Resources loaded"));
    server.Interrupt();
    server.Interrupt();
    EXPECT_EQ(server.WaitForExit(), 0);
    const std::string output = server.GetOutput();
    EXPECT_EQ(output.find("Server shutting down..."), output.rfind("Server shutting down..."));
}

TEST(Startup, LogFileBannersStampsAndLineEndings) {
    CServerProcess server;
    server.UsePrivateBinary();
    server.WriteConfig(BaseConfig("<logpath>logs</logpath><syncmethod>fast</syncmethod>"));
    StartAndStop(server);
    // The log folder is looked up next to the executable.
    const std::string log = ReadWhole(server.GetFolder() / "bin" / "logs" / "ServerLog.log");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.substr(0, 3), "\xEF\xBB\xBF") << "a new log starts with the byte-order mark";
    const std::string rule(60, '-');
    const std::regex stamp(R"(<\d\d/\d\d/\d{4} - \d\d:\d\d:\d\d> )");
    std::vector<std::string> lines;
    for (size_t start = 3, end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = log.substr(start, end - start);
        std::smatch match;
        ASSERT_TRUE(std::regex_search(line, match, stamp) && match.position(0) == 0) << line;
        lines.push_back(line.substr(match.length(0)));
    }
    ASSERT_GE(lines.size(), 14u);
    EXPECT_EQ(lines[0], rule);
    EXPECT_EQ(lines[1], "--------------------- Logging Started ----------------------");
    EXPECT_EQ(lines[2], rule);
    EXPECT_EQ(lines[3], "Tessera 1.2.0");
    EXPECT_EQ(lines[4], "Platform: Linux");
    EXPECT_EQ(lines[6], rule);
    EXPECT_EQ(lines[7], "[ERROR]   Invalid syncmethod specified, using interval!");
    EXPECT_EQ(lines[8], "[INFO]    Server is starting...");
    EXPECT_EQ(lines[lines.size() - 4], "[INFO]    Server shutting down...");
    EXPECT_EQ(lines[lines.size() - 2], "---------------------- Logging Ended -----------------------");

    // An empty stamp format drops the stamps.
    CServerProcess again;
    again.UsePrivateBinary();
    again.WriteConfig(BaseConfig("<logpath>logs</logpath><logtimestamp></logtimestamp>"));
    StartAndStop(again);
    const std::string plain = ReadWhole(again.GetFolder() / "bin" / "logs" / "ServerLog.log");
    EXPECT_NE(plain.find("\r\n[INFO]    Server is starting...\r\n"), std::string::npos) << plain;
}
