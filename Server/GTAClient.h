#pragma once
// A client of the served games: the net machine plus game-specific state.
#include "Multiplayer/NetMachine.h"

#include <vector>

class CGTAClient : public CNetMachine {
public:
    using CNetMachine::CNetMachine;

    // Last values given to the session functions (GTA IV).
    int32_t m_SessionGameMode = -1;
    int32_t m_SessionEpisode = 0;
    // GTA IV: set once the client reports the session it joined; and the host data it published.
    bool m_bInSession = false;
    bool m_bHasHostData = false;
    std::vector<uint8_t> m_HostData;
    // Set once the client's game files matched the anticheat list; until then only the answer to the
    // file check is taken from it.
    bool m_bGameFilesVerified = false;
    uint8_t m_CameraInterior = 0;
    bool m_bTrainers = true;
};
