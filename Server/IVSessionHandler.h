#pragma once
// GTA IV sessions: which episode and game mode each client plays, the host data clients publish, and
// the peer data they relay to each other within a session.
#include <cstdint>

namespace Tessera3D { class Stream; }
class CGTAClient;
class CNetMachines;
class IGameElementHost;
struct CGameSettings;

class CIVSessionHandler {
public:
    CIVSessionHandler(CNetMachines* pMachines, IGameElementHost* pHost, const CGameSettings* pSettings)
        : m_pMachines(pMachines), m_pHost(pHost), m_pSettings(pSettings) {}

    // True for the ids it owns (133, 138 to 141, 143, 152, 154), whether or not the message passed its
    // checks.
    bool ProcessPacket(CGTAClient* pClient, uint32_t id, Tessera3D::Stream* pStream);

    // Store the session values in the client and tell it.
    static void QuickMatch(CGTAClient* pClient, int32_t gameMode, int32_t episode);
    static void HostSession(CGTAClient* pClient, int32_t gameMode, int32_t episode);
    // The client takes the host's game mode and episode.
    static void JoinSession(CGTAClient* pClient, CGTAClient* pHost);
    // A relay from one client to another is allowed unless both are in sessions of different episodes.
    static bool MayRelay(const CGTAClient& sender, const CGTAClient& target);

private:
    bool IsNativeMultiplayer() const;
    // An occupied client slot other than the console, or null.
    CGTAClient* GetClient(uint32_t index) const;
    void HandleRequestSession(CGTAClient* pClient, Tessera3D::Stream* pStream);
    void HandleHostData(CGTAClient* pClient, Tessera3D::Stream* pStream);
    void HandleQueryHostData(CGTAClient* pClient, Tessera3D::Stream* pStream);
    void HandlePeerData(CGTAClient* pClient, Tessera3D::Stream* pStream);
    void HandlePeerMessage(CGTAClient* pClient, Tessera3D::Stream* pStream);
    void HandleNetworkEvent(CGTAClient* pClient, Tessera3D::Stream* pStream);

    CNetMachines* m_pMachines;
    IGameElementHost* m_pHost;
    const CGameSettings* m_pSettings;
};
