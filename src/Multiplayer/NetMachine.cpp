#include "Multiplayer/NetMachine.h"
#include "Multiplayer/NetMachines.h"

#include "Engine/NetObjectRegistry.h"
#include "Network/NetServer.h"

using namespace Tessera3D;

void CNetMachine::SendPacket(const Packet* pPacket, ePacketPriority priority, uint32_t flags, uint8_t channel) const {
    if (m_bConsole || !m_pPeer || !pPacket) return;
    if (CNetServer* pTransport = m_pMachines ? m_pMachines->GetTransport() : nullptr)
        pTransport->SendPacket(m_pPeer, pPacket, priority, flags, channel);
}

CNetObject* CNetMachine::GetPlayer() {
    if (!m_pPlayer && m_PlayerId != -1) {
        INetObjectRegistry* pRegistry = m_pMachines ? m_pMachines->GetRegistry() : nullptr;
        m_pPlayer = pRegistry ? dynamic_cast<CNetObject*>(pRegistry->FindNetObject(m_PlayerId)) : nullptr;
    }
    return m_pPlayer.Get();
}

void CNetMachine::SetPlayer(CNetObject* pElement) {
    if (pElement == m_pPlayer.Get() && (pElement || m_PlayerId == -1)) return;
    m_pPlayer = pElement;
    m_PlayerId = pElement ? pElement->GetNetworkId() : -1;
    if (pElement) pElement->SetName(m_Name.c_str(), m_Name.size());
    CClientPlayer message;
    message.m_Index = m_Index;
    message.m_Player = m_PlayerId;
    if (m_pMachines)
        if (auto pPacket = BuildMessage(message)) m_pMachines->SendToAll(pPacket.Get());
    SendPlayer();
}

void CNetMachine::SendPlayer() {
    if (!m_bInGame) return;
    CNetObject* pPlayer = GetPlayer();
    CLocalPlayer message;
    message.m_Player = pPlayer && pPlayer->IsCreatedFor(m_Index) ? pPlayer->GetNetworkId() : -1;
    if (auto pPacket = BuildMessage(message)) SendPacket(pPacket.Get());
}

void CNetMachine::SendUpdate() {
    CClientUpdate message;
    message.m_Index = m_Index;
    message.m_Flags = GetFlags();
    if (m_pMachines)
        if (auto pPacket = BuildMessage(message)) m_pMachines->SendToAll(pPacket.Get());
}

bool CNetMachine::SetData(const char* key, const CArgument* pValue, bool sync) {
    if (!pValue || pValue->GetType() == ARGUMENT_NIL) {
        // Null removes the key; it is announced like any other value (type 0, no payload).
        if (sync && m_pMachines) {
            CClientData message;
            message.m_Index = m_Index;
            message.m_Key = key;
            if (auto pPacket = BuildMessage(message)) m_pMachines->SendToAll(pPacket.Get());
        }
        m_Data.Remove(key);
        return true;
    }
    CArgument* pClone = pValue->Clone();
    if (!pClone) return false;
    if (sync && m_pMachines) {
        CClientData message;
        message.m_Index = m_Index;
        message.m_Key = key;
        message.m_Value = pClone;
        if (auto pPacket = BuildMessage(message)) m_pMachines->SendToAll(pPacket.Get());
    }
    m_Data.Set(key, pClone);
    return true;
}

bool CNetMachine::RemoveData(const char* key) {
    if (!m_Data.Remove(key)) return false;
    CClientData message;
    message.m_Index = m_Index;
    message.m_Key = key;
    if (m_pMachines)
        if (auto pPacket = BuildMessage(message)) m_pMachines->SendToAll(pPacket.Get());
    return true;
}

void CNetMachine::ClearData() {
    m_Data.Clear();
    CClientDataClear message;
    message.m_Index = m_Index;
    if (m_pMachines)
        if (auto pPacket = BuildMessage(message)) m_pMachines->SendToAll(pPacket.Get());
}

CClientRecord CNetMachine::MakeRecord() const {
    CClientRecord record;
    record.m_Index = m_Index;
    record.m_Flags = GetFlags();
    record.m_Game = m_Game;
    record.m_Player = m_PlayerId;
    record.m_Name = m_Name;
    record.SetData(m_Data);
    return record;
}
