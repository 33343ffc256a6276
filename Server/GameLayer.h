#pragma once
// The game server's own state beside the element table: its settings, the vehicle colour table, the
// world clock and weather, the elements clients announce, and the handlers of the game messages. It is
// also what the game's elements ask about the game they belong to.
#include "Elements/GameElementHost.h"
#include "GamePacketHandler.h"
#include "GameClock.h"
#include "GameSettings.h"
#include "IVSessionHandler.h"
#include "Peer2PeerSystem.h"
#include "ServerSettings.h"
#include "VehicleColours.h"

#include "Engine/References.h"

namespace Tessera3D {
class Stream;
namespace EventHandlers { class CEventHandlers; }
}
class CGTAClient;
class CNetMachine;
class CNetObjectMgr;
class CServerConfiguration;

class CGameLayer : public IGameElementHost {
public:
    // The manager, the settings and the event registry belong to the server and outlive the layer;
    // without a registry no event is raised and nothing is cancelled.
    CGameLayer(CNetObjectMgr* pManager, const CServerSettings* pSettings, Tessera3D::EventHandlers::CEventHandlers* pEvents);
    ~CGameLayer();
    CGameLayer(const CGameLayer&) = delete;
    CGameLayer& operator=(const CGameLayer&) = delete;

    // The game keys of the configuration, the vehicle colour table of the configured game and the
    // minute duration; false (after logging why) when the game has no colour table.
    bool ParseConfig(const CServerConfiguration& config);

    // The game layer's messages, after the file-check gate: client-created elements, then the game's
    // own ids. True when the message was one of them.
    bool ProcessPacket(CGTAClient* pClient, uint32_t id, Tessera3D::Stream* pStream);
    // The world state a client gets once it is in game.
    void OnPlayerJoined(CNetMachine* pClient);
    // Advances the world and sends what changed.
    void Process(double frameTime);

    CGameSettings& GetSettings() { return m_Settings; }
    const CGameSettings& GetSettings() const { return m_Settings; }
    CWorld& GetWorld() { return *m_pWorld; }
    CVehicleColours& GetVehicleColourTable() { return m_VehicleColours; }
    CIVSessionHandler& GetIVSessions() { return m_IVSessions; }

    // IGameElementHost
    int32_t GetGame() const override { return m_pServerSettings->m_Game; }
    CVehicleColours* GetVehicleColours() override { return &m_VehicleColours; }
    float GetStreamInDistance() const override { return m_pServerSettings->m_StreamInDistance; }
    float GetStreamOutDistance() const override { return m_pServerSettings->m_StreamOutDistance; }
    float GetPickupStreamInDistance() const override { return m_Settings.m_PickupStreamInDistance; }
    float GetPickupStreamOutDistance() const override { return m_Settings.m_PickupStreamOutDistance; }
    bool TriggerGameEvent(const char* name, Tessera3D::CArgumentArray& arguments) override;

private:
    const CServerSettings* m_pServerSettings;
    Tessera3D::EventHandlers::CEventHandlers* m_pEvents;
    CGameSettings m_Settings;
    CVehicleColours m_VehicleColours;
    Tessera3D::Strong<CWorld> m_pWorld;
    CPeer2PeerSystem m_Peer2Peer;
    CGamePacketHandler m_GamePackets;
    CIVSessionHandler m_IVSessions;
};
