#pragma once
// The server host specialised for the served games.
#include "BaseServer.h"
#include "NetGamesList.h"

#include "Engine/DefineHandlers.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

enum eGame : int32_t {
    GAME_UNKNOWN = 0,
    GAME_GTA_III = 1,
    GAME_GTA_VC = 2,
    GAME_GTA_SA = 3,
    GAME_GTA_IV = 5,
    GAME_BULLY = 7,
    GAME_MAFIA_ONE = 10,
    GAME_MAFIA_TWO = 11,
    GAME_MAFIA_THREE = 12,
    GAME_MAFIA_ONE_DE = 13,
};

class CGTAClient;
class CGTAServerManager;
class CGameLayer;

class CGTAServer : public CBaseServer {
public:
    CGTAServer();
    ~CGTAServer() override;

    bool ParseConfig(CServerConfiguration& config) override;
    bool ProcessPacket(Tessera3D::NetPeer* pPeer, uint32_t id, Tessera3D::Stream* pStream) override;
    const CNetGamesList& GetGamesList() const { return m_Games; }

    // Adds a game file clients must match: its MD5 digest is taken from sourcePath through the
    // virtual file system. False (after a warning) when the file cannot be read.
    bool AddFileToAnticheat(const char* gamePath, const char* sourcePath);

    // The named constants every script environment receives: the built-in ones, the server's version
    // and game ids, and those of the configured game's header.
    Tessera3D::CDefineHandlers& GetDefineHandlers() { return m_Defines; }

    // The element manager, which knows the element kinds of the served games.
    CGTAServerManager* GetGameManager() const;

    // The game settings, the world clock and weather, the vehicle colours and the game messages.
    CGameLayer* GetGameLayer() const { return m_pGameLayer.get(); }

protected:
    CNetMachine* NewMachine() override;
    void OnPlayerJoin(CNetMachine* pClient) override;
    // Sends the world state: minute duration, clock, weather, timer and bridge.
    void OnPlayerJoined(CNetMachine* pClient) override;
    int FindGame(const char* name) const override { return m_Games.Find(name); }
    // The game layer's share of each main-loop iteration; raises "OnProcess" with the frame time.
    void ProcessFrame(double frameTime) override;
    std::string GetGameName(int game) const override { return m_Games.GetName(game); }

private:
    struct CAnticheatFile {
        std::string m_GamePath;
        std::string m_SourcePath;
        std::array<uint32_t, 4> m_Digest;
    };

    void ParseAnticheat(CServerConfiguration& config);
    void DefineServerConstants();
    // Parses the configured game's constants header, when the file system has it.
    void LoadGameConstants();
    void HandleGameFileCheck(CGTAClient* pClient, Tessera3D::Stream* pStream);

    CNetGamesList m_Games;
    std::vector<CAnticheatFile> m_AnticheatFiles;
    std::unique_ptr<CGameLayer> m_pGameLayer;
    Tessera3D::CDefineHandlers m_Defines;
};
