#pragma once
// What clients report about their peds, vehicles and pickups: checked against the element's syncer,
// raised as script events and passed on to the other clients.
#include <cstdint>

namespace Tessera3D { class Stream; }
class CGTAClient;
class CNetObject;
class CNetObjectMgr;
class IGameElementHost;

class CGamePacketHandler {
public:
    CGamePacketHandler(CNetObjectMgr* pManager, IGameElementHost* pHost) : m_pManager(pManager), m_pHost(pHost) {}

    // True for the ids it owns (106, 107, 120, 121, 123 to 126, 128, 132, 144 to 148, 151), whether
    // or not the message passed its checks.
    bool ProcessPacket(CGTAClient* pClient, uint32_t id, Tessera3D::Stream* pStream);

private:
    // The element with the id when its type matches the mask and the client syncs it.
    CNetObject* FindSyncedElement(CGTAClient* pClient, int32_t id, int32_t typeMask) const;
    void HandleVehicleAction(CGTAClient* pClient, Tessera3D::Stream* pStream);
    void HandleWasted(CGTAClient* pClient, Tessera3D::Stream* pStream);
    void HandleEngine(CGTAClient* pClient, Tessera3D::Stream* pStream);
    void HandleToggle(CGTAClient* pClient, Tessera3D::Stream* pStream);
    void HandleFall(CGTAClient* pClient, Tessera3D::Stream* pStream);
    void HandlePickupCollected(CGTAClient* pClient, Tessera3D::Stream* pStream);
    void HandleActionE(CGTAClient* pClient, Tessera3D::Stream* pStream);
    // A message about a ped, passed on as it came to every other client; with an event name the event
    // is raised with the ped first.
    template <typename TMessage>
    void RelayPedMessage(CGTAClient* pClient, Tessera3D::Stream* pStream, const char* eventName);

    CNetObjectMgr* m_pManager;
    IGameElementHost* m_pHost;
};
