#pragma once
// Vehicles and peds a client's own game created: announced by that client, they become ordinary
// elements with the announcing client as syncer (only while "synclocalentities" is on).
#include <cstdint>

namespace Tessera3D { class Stream; }
class CNetMachine;
class CNetObjectMgr;
struct CGameSettings;

class CPeer2PeerSystem {
public:
    // A vehicle of creation kind 1 or 3 this close to an existing entity is a duplicate.
    static constexpr float DUPLICATE_DISTANCE = 10.0f;

    CPeer2PeerSystem(CNetObjectMgr* pManager, const CGameSettings* pSettings) : m_pManager(pManager), m_pSettings(pSettings) {}

    // Sees every accepted message; true when it was an announcement it handled.
    bool ProcessPacket(CNetMachine* pClient, uint32_t id, Tessera3D::Stream* pStream);

private:
    CNetObjectMgr* m_pManager;
    const CGameSettings* m_pSettings;
};
