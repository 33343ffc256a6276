#pragma once
// The host's settings as the configuration document and the command line leave them.
#include <cstdint>
#include <string>
#include <vector>

enum eSyncMethod : int { SYNC_METHOD_NONE = 0, SYNC_METHOD_INTERVAL = 1, SYNC_METHOD_REPLAY = 2 };

// Host of the server listing service when `serverlistingurl` names none.
constexpr const char* DEFAULT_SERVER_LISTING_HOST = "serverlist.corvid-mp.net";

struct CServerSettings {
    std::string m_LogPath;
    std::string m_LogTimeStamp = "%d/%m/%Y - %X";
    std::string m_BindIP;
    std::string m_ServerName;
    std::string m_GameMode;
    std::string m_ServerListingURL = DEFAULT_SERVER_LISTING_HOST;
    bool m_bServerBrowser = false;
    int32_t m_MaxPlayers = 32;
    bool m_bServerQuery = true;
    uint16_t m_Port = 22000;
    uint16_t m_HttpPort = 22000;
    std::string m_HttpURL;
    uint16_t m_RconPort = 23000;
    bool m_bHttpServer = true;
    bool m_bRcon = false;
    uint16_t m_SyncInterval = 30;
    int32_t m_WaitEventTimeout = 5;
    int m_SyncMethod = SYNC_METHOD_INTERVAL;
    int m_SyncPacketPriority = 3;
    uint32_t m_SyncPacketFlags = 0;
    bool m_bDuplicateNames = false;
    bool m_bMultithreaded = true;
    int m_MinClientVersion[4] = {1, 0, 0, 0};
    std::string m_GameName = "gta:iii";
    int m_Game = 1;
    std::vector<int> m_AcceptedGames{1};
    float m_StreamInDistance = 100.0f;
    float m_StreamOutDistance = 200.0f;
    uint16_t m_StreamInterval = 1000;
};
