#include "IVSessionHandler.h"

#include "Elements/GameElementHost.h"
#include "GTAClient.h"
#include "GameSettings.h"

#include "Engine/ArgumentArray.h"
#include "Multiplayer/GameMessages.h"
#include "Multiplayer/NetMachines.h"

using namespace Tessera3D;

namespace {

// The peer relays go unreliable and unsequenced on their own channel.
constexpr uint32_t PEER_RELAY_FLAGS = PACKET_FLAGS_UNSEQUENCED;
constexpr uint8_t PEER_RELAY_CHANNEL = 2;

} // namespace

bool CIVSessionHandler::IsNativeMultiplayer() const { return m_pSettings && m_pSettings->m_bIVNativeMultiplayer; }

CGTAClient* CIVSessionHandler::GetClient(uint32_t index) const {
    if (!m_pMachines || index >= static_cast<uint32_t>(CNetMachines::MAX_MACHINES)) return nullptr;
    CNetMachine* pMachine = m_pMachines->Get(static_cast<int32_t>(index));
    return pMachine && !pMachine->m_bConsole ? dynamic_cast<CGTAClient*>(pMachine) : nullptr;
}

bool CIVSessionHandler::MayRelay(const CGTAClient& sender, const CGTAClient& target) {
    return !target.m_bInSession || !sender.m_bInSession || sender.m_SessionEpisode == target.m_SessionEpisode;
}

void CIVSessionHandler::QuickMatch(CGTAClient* pClient, int32_t gameMode, int32_t episode) {
    pClient->m_SessionGameMode = gameMode;
    pClient->m_SessionEpisode = episode;
    CIVQuickMatch message;
    message.m_GameMode = gameMode;
    message.m_Episode = episode;
    if (auto pPacket = BuildMessage(message)) pClient->SendPacket(pPacket.Get());
}

void CIVSessionHandler::HostSession(CGTAClient* pClient, int32_t gameMode, int32_t episode) {
    pClient->m_SessionGameMode = gameMode;
    pClient->m_SessionEpisode = episode;
    CIVHostSession message;
    message.m_GameMode = gameMode;
    message.m_Episode = episode;
    if (auto pPacket = BuildMessage(message)) pClient->SendPacket(pPacket.Get());
}

void CIVSessionHandler::JoinSession(CGTAClient* pClient, CGTAClient* pHost) {
    pClient->m_SessionGameMode = pHost->m_SessionGameMode;
    pClient->m_SessionEpisode = pHost->m_SessionEpisode;
    CIVJoinSession message;
    message.m_GameMode = pHost->m_SessionGameMode;
    message.m_Episode = pHost->m_SessionEpisode;
    message.m_Host = pHost->m_Index;
    if (auto pPacket = BuildMessage(message)) pClient->SendPacket(pPacket.Get());
}

bool CIVSessionHandler::ProcessPacket(CGTAClient* pClient, uint32_t id, Stream* pStream) {
    switch (id) {
    case PACKET_IV_SESSION_INFO: {
        CIVSessionInfo message;
        if (!ReadMessage(pStream, message)) return true;
        pClient->m_SessionEpisode = message.m_Episode;
        pClient->m_SessionGameMode = message.m_GameMode;
        return true;
    }
    case PACKET_IV_REQUEST_SESSION: HandleRequestSession(pClient, pStream); return true;
    case PACKET_IV_HOST_DATA: HandleHostData(pClient, pStream); return true;
    case PACKET_IV_QUERY_HOST_DATA: HandleQueryHostData(pClient, pStream); return true;
    case PACKET_IV_PEER_DATA: HandlePeerData(pClient, pStream); return true;
    case PACKET_IV_PEER_MESSAGE: HandlePeerMessage(pClient, pStream); return true;
    case PACKET_IV_SESSION_JOINED: {
        CIVSessionJoined message;
        if (!ReadMessage(pStream, message)) return true;
        pClient->m_bInSession = true;
        pClient->m_SessionEpisode = message.m_Episode;
        return true;
    }
    case PACKET_IV_NETWORK_EVENT: HandleNetworkEvent(pClient, pStream); return true;
    default: return false;
    }
}

void CIVSessionHandler::HandleRequestSession(CGTAClient* pClient, Stream* pStream) {
    CIVRequestSession message;
    if (!ReadMessage(pStream, message)) return;
    Strong<CNetMachine> pKeep(pClient);
    if (m_pHost) {
        CArgumentArray arguments(2);
        arguments.AddObject(pClient);
        arguments.AddNumber(int32_t(message.m_Episode));
        if (!m_pHost->TriggerGameEvent("OnRequestSession", arguments)) return;
    }
    const int32_t forced = m_pSettings ? m_pSettings->m_IVEpisode : -1;
    const int32_t episode = forced != -1 ? forced : message.m_Episode;
    const int32_t gameMode = m_pSettings ? m_pSettings->m_IVGameMode : -1;
    if (gameMode != -1 && IsNativeMultiplayer()) {
        QuickMatch(pClient, gameMode, episode);
        return;
    }
    pClient->m_SessionGameMode = -1;
    pClient->m_SessionEpisode = episode;
    CIVSessionEpisode answer;
    answer.m_Episode = episode;
    if (auto pPacket = BuildMessage(answer)) pClient->SendPacket(pPacket.Get());
}

void CIVSessionHandler::HandleHostData(CGTAClient* pClient, Stream* pStream) {
    if (!IsNativeMultiplayer()) return;
    CIVHostData message;
    if (!ReadMessage(pStream, message)) return;
    pClient->m_bHasHostData = (message.m_Flags & 1) != 0;
    pClient->m_HostData = pClient->m_bHasHostData ? std::move(message.m_Data) : std::vector<uint8_t>();
}

void CIVSessionHandler::HandleQueryHostData(CGTAClient* pClient, Stream* pStream) {
    if (!IsNativeMultiplayer()) return;
    CIVQueryHostData message;
    if (!ReadMessage(pStream, message) || !m_pMachines || message.m_Index >= CNetMachines::MAX_MACHINES) return;
    CNetMachine* pMachine = m_pMachines->Get(message.m_Index);
    if (!pMachine) return;
    auto* pTarget = dynamic_cast<CGTAClient*>(pMachine);
    CIVHostDataReply reply;
    reply.m_Index = message.m_Index;
    reply.m_bHasData = pTarget && pTarget->m_bHasHostData;
    if (reply.m_bHasData) reply.m_Data = pTarget->m_HostData;
    if (auto pPacket = BuildMessage(reply)) pClient->SendPacket(pPacket.Get());
}

void CIVSessionHandler::HandlePeerData(CGTAClient* pClient, Stream* pStream) {
    if (!IsNativeMultiplayer()) return;
    CIVPeerData message;
    if (!ReadMessage(pStream, message)) return;
    CGTAClient* pTarget = GetClient(message.m_Peer);
    if (!pTarget || !MayRelay(*pClient, *pTarget)) return;
    message.m_Peer = static_cast<uint16_t>(pClient->m_Index);
    if (auto pPacket = BuildMessage(message)) pTarget->SendPacket(pPacket.Get(), PACKET_PRIORITY_LOW, PEER_RELAY_FLAGS, PEER_RELAY_CHANNEL);
}

void CIVSessionHandler::HandlePeerMessage(CGTAClient* pClient, Stream* pStream) {
    if (!IsNativeMultiplayer()) return;
    CIVPeerMessage message;
    if (!ReadMessage(pStream, message)) return;
    CGTAClient* pTarget = GetClient(message.m_Peer);
    if (!pTarget || !MayRelay(*pClient, *pTarget)) return;
    message.m_Peer = static_cast<uint16_t>(pClient->m_Index);
    if (auto pPacket = BuildMessage(message)) pTarget->SendPacket(pPacket.Get(), PACKET_PRIORITY_LOW, PEER_RELAY_FLAGS, PEER_RELAY_CHANNEL);
}

void CIVSessionHandler::HandleNetworkEvent(CGTAClient* pClient, Stream* pStream) {
    CIVNetworkEvent message;
    if (!ReadMessage(pStream, message) || !m_pHost) return;
    CArgumentArray arguments(5);
    arguments.AddObject(pClient);
    arguments.AddNumber(int32_t(message.m_Type));
    arguments.AddString(CIVNetworkEvent::GetTypeName(message.m_Type));
    if (message.m_A.empty()) arguments.AddNull();
    else arguments.AddBytes(message.m_A.data(), message.m_A.size());
    if (message.m_B.empty()) arguments.AddNull();
    else arguments.AddBytes(message.m_B.data(), message.m_B.size());
    m_pHost->TriggerGameEvent("OnAddIVNetworkEvent", arguments);
}
