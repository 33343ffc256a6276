// The host's small parts: command-line parsing, the command-file reader, console variables, rules and
// the games list.
#include "CVarSystem.h"
#include "CommandLine.h"
#include "ConsoleInput.h"
#include "NetGamesList.h"
#include "Rules.h"

#include "Engine/MemoryStream.h"
#include "Engine/TextReader.h"

#include <gtest/gtest.h>

using namespace Tessera3D;

TEST(CommandLine, OptionsAndValues) {
    const char* argv[] = {"Server", "-PORT", "abc", "-maxplayers", "200", "-bindip",
                          "0123456789012345678901234567890123456789012345678901234567890123456789",
                          "-whatever", "-noinput", "-DumpDoc", "-multithreaded", "-disablemultithreaded",
                          "-config", "-port"};
    CCommandLineOptions options;
    options.Parse(sizeof(argv) / sizeof(argv[0]), argv);
    EXPECT_TRUE(options.m_bPortGiven);
    EXPECT_EQ(options.m_Port, 0) << "text that is no number reads as 0";
    EXPECT_TRUE(options.m_bMaxPlayersGiven);
    EXPECT_EQ(options.m_MaxPlayers, 200);
    EXPECT_EQ(options.m_BindIP.size(), 63u);
    EXPECT_TRUE(options.m_bNoInput);
    EXPECT_TRUE(options.m_bDumpDoc);
    EXPECT_TRUE(options.m_bMultithreadedGiven);
    EXPECT_FALSE(options.m_bMultithreaded) << "the later option wins";
    EXPECT_EQ(options.m_ConfigPath, "-port") << "a value is the next argument, whatever it is";
    EXPECT_FALSE(options.m_bHttpPortGiven);
}

TEST(CommandLine, OptionWithoutValueAtTheEndIsIgnored) {
    const char* argv[] = {"Server", "-port"};
    CCommandLineOptions options;
    options.Parse(2, argv);
    EXPECT_FALSE(options.m_bPortGiven);
}

TEST(CommandFile, LineSplittingAndLimits) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"carriage returns skipped", "/a 1\r\n/b\n", {"/a 1", "/b"}},
        {"last line without line feed is not run", "/a\n/b", {"/a"}},
        {"NUL ends the reading", std::string("/a\n/b\n\0/c\n", 11), {"/a", "/b"}},
        {"empty lines skipped", "\n\n/a\n", {"/a"}},
        {"255 characters run, 256 do not", std::string(255, 'x') + "\n" + std::string(256, 'y') + "\n/z\n",
         {std::string(255, 'x'), "/z"}},
        {"characters above 255 become ?", "/say \xE2\x82\xAC\xC3\xA9\n", {"/say ?\xE9"}},
        {"byte-order mark skipped", "\xEF\xBB\xBF/a\n", {"/a"}},
    };
    for (const Case& c : cases) {
        auto stream = MakeStrong<CMemoryStream>(static_cast<const void*>(c.text.data()), c.text.size());
        CTextReader reader(stream.Get());
        std::vector<std::string> lines;
        ReadCommandLines(reader, [&](const std::string& line) { lines.push_back(line); });
        EXPECT_EQ(lines, c.lines) << c.name;
    }
}

TEST(CVarSystem, CaseInsensitiveNamesKeepFirstSpelling) {
    CVarSystem vars;
    vars.Set("Trainers", "1").m_bReadOnly = true;
    vars.Set("TRAINERS", "0");
    ASSERT_NE(vars.Find("trainers"), nullptr);
    EXPECT_EQ(vars.Find("trainers")->m_Value, "0");
    EXPECT_EQ(vars.Find("trainers")->m_Name, "Trainers");
    EXPECT_TRUE(vars.Find("trainers")->m_bReadOnly);
    EXPECT_EQ(vars.Find("other"), nullptr);
    EXPECT_EQ(vars.GetAll().size(), 1u);
}

TEST(Rules, OrderedCaseSensitiveReplaceInPlace) {
    CRules rules;
    rules.SetRule("Version", "1.7.1");
    rules.SetRule("Owner", "me");
    rules.SetRule("Version", "2");
    rules.SetRule("version", "3");
    ASSERT_EQ(rules.GetRules().size(), 3u);
    EXPECT_EQ(rules.GetRules()[0], std::make_pair(std::string("Version"), std::string("2")));
    EXPECT_EQ(*rules.GetRule("version"), "3");
    EXPECT_EQ(rules.GetRule("VERSION"), nullptr);
}

TEST(NetGamesList, CaseInsensitiveLookupAndLimit) {
    CNetGamesList games;
    games.Register(1, "gta:iii");
    games.Register(5, "gta:iv");
    EXPECT_EQ(games.Find("GTA:IV"), 5);
    EXPECT_EQ(games.Find("gta:v"), -1);
    for (int i = 0; i < 40; ++i) games.Register(100 + i, ("game" + std::to_string(i)).c_str());
    EXPECT_EQ(games.Find("game29"), 129);
    EXPECT_EQ(games.Find("game30"), -1) << "the 33rd entry is not registered";
}
