#include "GameLayer.h"

#include "GTAClient.h"
#include "ServerConfiguration.h"

#include "Engine/ArgumentArray.h"
#include "Engine/Log.h"
#include "Multiplayer/NetObjectMgr.h"
#include "Scripting/EventHandlers.h"

using namespace Tessera3D;

namespace {

constexpr int32_t GAME_ID_GTA_IV = 5;

} // namespace

CGameLayer::CGameLayer(CNetObjectMgr* pManager, const CServerSettings* pSettings, EventHandlers::CEventHandlers* pEvents)
    : m_pServerSettings(pSettings), m_pEvents(pEvents), m_pWorld(MakeStrong<CWorld>()), m_Peer2Peer(pManager, &m_Settings),
      m_GamePackets(pManager, this), m_IVSessions(pManager ? pManager->GetMachines() : nullptr, this, &m_Settings) {
    m_pWorld->SetContext(pManager ? pManager->GetMachines() : nullptr, pSettings, &m_Settings);
}

CGameLayer::~CGameLayer() { m_VehicleColours.Clear(); }

bool CGameLayer::ParseConfig(const CServerConfiguration& config) {
    CGameSettings& s = m_Settings;
    const bool iv = GetGame() == GAME_ID_GTA_IV;
    s.m_bSyncLocalEntities = config.GetBoolValue("synclocalentities", false);
    s.m_PickupStreamInDistance = config.GetFloatValue("pickupstreamindistance", 50.0f);
    s.m_PickupStreamOutDistance = config.GetFloatValue("pickupstreamoutdistance", 100.0f);
    s.m_bTimeSync = config.GetBoolValue("timesync", true);
    s.m_bWeatherSync = config.GetBoolValue("weathersync", true);
    s.m_bIVNativeMultiplayer = iv && config.GetBoolValue("iv_nativemultiplayer", true);
    s.m_IVGameMode = config.GetIntValue("iv_gamemode", 8);
    s.m_IVEpisode = config.GetIntValue("iv_episode", -1);
    s.m_bPlanes = config.GetBoolValue("planes", false);
    s.m_bTrains = config.GetBoolValue("trains", false);
    s.m_bStuntJumps = config.GetBoolValue("stuntjumps", false);
    s.m_bUniqueStuntJumps = config.GetBoolValue("uniquestuntjumps", false);
    s.m_bGunShops = config.GetBoolValue("gunshops", false);
    s.m_bToiletCamera = config.GetBoolValue("toiletcamera", false);
    s.m_bNametags = config.GetBoolValue("nametags", true);

    m_VehicleColours.Clear();
    if (!m_VehicleColours.LoadForGame(GetGame())) {
        LogError("Failed to load vehicle colours!");
        return false;
    }
    s.m_MinuteDuration = config.GetFloatValue("minuteduration", iv ? 2.0f : 1.0f);
    m_pWorld->SetMinuteDuration(s.m_MinuteDuration);
    return true;
}

bool CGameLayer::ProcessPacket(CGTAClient* pClient, uint32_t id, Stream* pStream) {
    if (!pClient) return false;
    Strong<CNetMachine> pKeep(pClient);
    return m_Peer2Peer.ProcessPacket(pClient, id, pStream) || m_GamePackets.ProcessPacket(pClient, id, pStream) ||
           m_IVSessions.ProcessPacket(pClient, id, pStream);
}

void CGameLayer::OnPlayerJoined(CNetMachine* pClient) { m_pWorld->SendJoinState(pClient); }

void CGameLayer::Process(double frameTime) { m_pWorld->Process(frameTime); }

bool CGameLayer::TriggerGameEvent(const char* name, CArgumentArray& arguments) {
    EventHandlers::CEventType* pType = m_pEvents ? m_pEvents->FindEventType(name) : nullptr;
    if (!pType) return true;
    if (!pType->IsCancellable()) {
        pType->Trigger(arguments);
        return true;
    }
    bool prevented = false;
    pType->Trigger(arguments, prevented);
    return !prevented;
}
