#pragma once
// The game layer's settings as the configuration leaves them (defaults for a server without keys).
#include <cstdint>

struct CGameSettings {
    // Clients may announce vehicles and peds their own game created.
    bool m_bSyncLocalEntities = false;
    float m_PickupStreamInDistance = 50.0f;
    float m_PickupStreamOutDistance = 100.0f;
    // Send the game clock and the weather to clients.
    bool m_bTimeSync = true;
    bool m_bWeatherSync = true;
    // Real seconds per game minute.
    double m_MinuteDuration = 1.0;
    // GTA IV: the relay messages, the game mode of automatic quick matches, and the episode forced on
    // session requests (-1: the client's).
    bool m_bIVNativeMultiplayer = false;
    int32_t m_IVGameMode = 8;
    int32_t m_IVEpisode = -1;
    // Accepted and kept; the server does not act on them.
    bool m_bPlanes = false;
    bool m_bTrains = false;
    bool m_bStuntJumps = false;
    bool m_bUniqueStuntJumps = false;
    bool m_bGunShops = false;
    bool m_bToiletCamera = false;
    bool m_bNametags = true;
};
