// The server's table of script constants: built-in, version and game constants at construction, and
// the configured game's header from the built-in archive when the configuration is read.
#include "GTAServer.h"
#include "ServerConfiguration.h"
#include "ServerFileSystem.h"

#include "Engine/Context.h"
#include "Engine/FileSystem.h"
#include "Engine/MemoryStream.h"
#include "Engine/TesseraHBF.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace Tessera3D;

namespace {

// A run context whose file system is the built-in archive (or nothing), installed for the test.
struct ArchiveContext {
    explicit ArchiveContext(bool bWithArchive) {
        m_Context.SetFileSystem(bWithArchive ? MakeServerFileSystem(std::string()) : std::make_unique<CFileSystem>());
        m_pPrevious = GGlobal.m_pContext;
        GGlobal.m_pContext = &m_Context;
    }
    ~ArchiveContext() { GGlobal.m_pContext = m_pPrevious; }

    Context m_Context;
    Context* m_pPrevious;
};

// ParseConfig over a document with only the game key.
bool ParseWithGame(CGTAServer& server, const char* game) {
    const std::string xml = std::string("<server><game>") + game + "</game></server>";
    auto pText = MakeStrong<CMemoryStream>(xml.data(), xml.size());
    std::unique_ptr<CElementChunk> pDocument(CElementChunk::Load(pText.Get()));
    EXPECT_TRUE(pDocument);
    CServerConfiguration config(pDocument.get());
    return server.ParseConfig(config);
}

} // namespace

TEST(GameConstants, ServerTableStartsWithBuiltInVersionAndGameConstants) {
    ArchiveContext context(true);
    CGTAServer server;
    const CDefineHandlers& defines = server.GetDefineHandlers();
    EXPECT_EQ(server.GetScripting().GetDefineHandlers(), &defines);
    ASSERT_GT(defines.GetCount(), 0u);
    EXPECT_EQ(defines.Get(0).m_Name, "KEYSTATE_UP");
    const struct {
        const char* m_Name;
        int32_t m_Value;
    } known[] = {
        {"SERVER_VERSION_MAJOR", 1}, {"SERVER_VERSION_MINOR", 7}, {"SERVER_VERSION_PATCH", 1}, {"GAME_UNKNOWN", 0},
        {"GAME_GTA_III", 1},         {"GAME_GTA_SA", 3},          {"GAME_GTA_IV", 5},          {"GAME_GTA_IV_EFLC", 5},
        {"GAME_BULLY", 7},           {"GAME_MAFIA_ONE_DE", 13},   {"SDLK_a", 0x61},
    };
    for (const auto& k : known) {
        const CDefineHandlers::tDefine* pDefine = defines.Find(k.m_Name);
        ASSERT_NE(pDefine, nullptr) << k.m_Name;
        EXPECT_EQ(pDefine->GetSigned(), k.m_Value) << k.m_Name;
    }
    EXPECT_EQ(defines.Find("PED_PLAYER"), nullptr);
}

TEST(GameConstants, ConfiguredGameHeaderIsParsedFromTheArchive) {
    const struct {
        const char* m_Game;
        size_t m_Added;
        const char* m_Known;
    } games[] = {
        {"gta:iii", 1160, "PEDTYPE_GANG_DIABLO"},
        {"gta:vc", 1433, "OBJECTTYPE_MISSION"},
        {"gta:sa", 1964, "RADAR_SPRITE_CENTRE"},
        {"gta:iv", 3498, "MODEL_PLAYER"},
        {"bully", 0, nullptr},
    };
    for (const auto& g : games) {
        ArchiveContext context(true);
        CGTAServer server;
        const size_t before = server.GetDefineHandlers().GetCount();
        ParseWithGame(server, g.m_Game);
        EXPECT_EQ(server.GetDefineHandlers().GetCount() - before, g.m_Added) << g.m_Game;
        if (g.m_Known) EXPECT_NE(server.GetDefineHandlers().Find(g.m_Known), nullptr) << g.m_Game;
    }
}

TEST(GameConstants, MissingHeaderIsSkippedSilently) {
    ArchiveContext context(false);
    CGTAServer server;
    const size_t before = server.GetDefineHandlers().GetCount();
    testing::internal::CaptureStdout();
    ParseWithGame(server, "gta:sa");
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(server.GetDefineHandlers().GetCount(), before);
    EXPECT_EQ(output.find("Enums.h"), std::string::npos) << output;
}
