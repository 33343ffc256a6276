#include "GamePacketHandler.h"

#include "Elements/Ped.h"
#include "Elements/Vehicle.h"
#include "GTAClient.h"

#include "Engine/ArgumentArray.h"
#include "Multiplayer/EntityMessages.h"
#include "Multiplayer/GameMessages.h"
#include "Multiplayer/NetObjectMgr.h"

using namespace Tessera3D;

CNetObject* CGamePacketHandler::FindSyncedElement(CGTAClient* pClient, int32_t id, int32_t typeMask) const {
    CNetObject* pElement = m_pManager ? m_pManager->GetObjectFromId(id) : nullptr;
    if (!pElement || !pElement->IsType(typeMask) || pElement->GetSyncer() != pClient) return nullptr;
    return pElement;
}

bool CGamePacketHandler::ProcessPacket(CGTAClient* pClient, uint32_t id, Stream* pStream) {
    switch (id) {
    case PACKET_PED_VEHICLE_ACTION: HandleVehicleAction(pClient, pStream); return true;
    case PACKET_PED_WASTED: HandleWasted(pClient, pStream); return true;
    case PACKET_VEHICLE_ENGINE: HandleEngine(pClient, pStream); return true;
    case PACKET_VEHICLE_TOGGLE: HandleToggle(pClient, pStream); return true;
    case PACKET_PED_FALL: HandleFall(pClient, pStream); return true;
    case PACKET_PED_JUMP: RelayPedMessage<CPedJump>(pClient, pStream, "OnPedJump"); return true;
    case PACKET_PED_CROUCH: RelayPedMessage<CPedCrouch>(pClient, pStream, "OnPedCrouch"); return true;
    case PACKET_PED_UNCROUCH: RelayPedMessage<CPedUncrouch>(pClient, pStream, "OnPedUncrouch"); return true;
    case PACKET_PED_ACTION_A: RelayPedMessage<CPedActionA>(pClient, pStream, nullptr); return true;
    case PACKET_PICKUP_COLLECTED: HandlePickupCollected(pClient, pStream); return true;
    case PACKET_PED_ACTION_B: RelayPedMessage<CPedActionB>(pClient, pStream, nullptr); return true;
    case PACKET_PED_ACTION_C: RelayPedMessage<CPedActionC>(pClient, pStream, nullptr); return true;
    case PACKET_PED_ACTION_D: RelayPedMessage<CPedActionD>(pClient, pStream, nullptr); return true;
    case PACKET_PED_ACTION_E: HandleActionE(pClient, pStream); return true;
    case PACKET_PED_ACTION_F: RelayPedMessage<CPedActionF>(pClient, pStream, nullptr); return true;
    case PACKET_CAMERA_INTERIOR: {
        CCameraInterior message;
        if (ReadMessage(pStream, message)) pClient->m_CameraInterior = message.m_Interior;
        return true;
    }
    default: return false;
    }
}

template <typename TMessage>
void CGamePacketHandler::RelayPedMessage(CGTAClient* pClient, Stream* pStream, const char* eventName) {
    TMessage message;
    if (!ReadMessage(pStream, message)) return;
    Strong<CNetObject> pPed = FindSyncedElement(pClient, message.m_Ped, ELEMENT_PED);
    if (!pPed) return;
    if (eventName && m_pHost) {
        CArgumentArray arguments(1);
        arguments.AddObject(pPed.Get());
        m_pHost->TriggerGameEvent(eventName, arguments);
    }
    if (auto pPacket = BuildMessage(message)) m_pManager->SendPacketExcluding(pPacket.Get(), pClient);
}

void CGamePacketHandler::HandleVehicleAction(CGTAClient* pClient, Stream* pStream) {
    CPedVehicleAction message;
    if (!ReadMessage(pStream, message)) return;
    Strong<CNetObject> pElement = FindSyncedElement(pClient, message.m_Ped, ELEMENT_PED);
    if (!pElement) return;
    auto* pPed = static_cast<CServerPed*>(pElement.Get());

    if (message.m_Action == PED_VEHICLE_ACTION_EXIT) {
        if (pPed->GetVehicleId() == INVALID_NETWORK_ID) return;
        CArgumentArray arguments(2);
        arguments.AddObject(pPed);
        arguments.AddObject(m_pManager->GetObjectFromId(pPed->GetVehicleId()));
        if (m_pHost && !m_pHost->TriggerGameEvent("OnPedExitVehicle", arguments)) return;
        CPedVehicleAction relay;
        relay.m_Ped = message.m_Ped;
        relay.m_Action = PED_VEHICLE_ACTION_EXIT;
        if (auto pPacket = BuildMessage(relay)) m_pManager->SendObjectRelatedPacket(pPacket.Get(), pPed);
        return;
    }
    if (!CPedVehicleAction::HasVehicle(message.m_Action)) return;
    Strong<CNetObject> pVehicle = m_pManager->GetObjectFromId(message.m_Vehicle);
    if (!pVehicle || !pVehicle->IsType(ELEMENT_VEHICLE)) return;
    CArgumentArray arguments(3);
    arguments.AddObject(pPed);
    arguments.AddObject(pVehicle.Get());
    arguments.AddNumber(int32_t(message.m_Action == PED_VEHICLE_ACTION_ENTER ? 1 : 0));
    if (m_pHost && !m_pHost->TriggerGameEvent("OnPedEnterVehicle", arguments)) return;
    // The ped's client drives the car it gets into.
    pVehicle->SetSyncer(pPed->GetSyncer(), false);
    if (auto pPacket = BuildMessage(message)) m_pManager->SendObjectRelatedPacket(pPacket.Get(), pPed);
}

void CGamePacketHandler::HandleWasted(CGTAClient* pClient, Stream* pStream) {
    CPedWasted message;
    if (!ReadMessage(pStream, message)) return;
    Strong<CNetObject> pElement = FindSyncedElement(pClient, message.m_Ped, ELEMENT_PED);
    if (!pElement) return;
    static_cast<CServerPed*>(pElement.Get())->SetWasted(true);
    if (!m_pHost) return;
    CArgumentArray arguments(5);
    arguments.AddObject(pElement.Get());
    arguments.AddObject(m_pManager->GetObjectFromId(message.m_Killer));
    arguments.AddNumber(int32_t(message.m_A));
    arguments.AddNumber(int32_t(message.m_B));
    arguments.AddObject(pClient);
    m_pHost->TriggerGameEvent("OnPedWasted", arguments);
}

void CGamePacketHandler::HandleEngine(CGTAClient* pClient, Stream* pStream) {
    CVehicleEngine message;
    if (!ReadMessage(pStream, message)) return;
    if (CNetObject* pVehicle = FindSyncedElement(pClient, message.m_Id, ELEMENT_VEHICLE))
        static_cast<CServerVehicle*>(pVehicle)->SetEngine(message.m_On != 0);
}

void CGamePacketHandler::HandleToggle(CGTAClient* pClient, Stream* pStream) {
    CVehicleToggle message;
    if (!ReadMessage(pStream, message)) return;
    auto* pVehicle = static_cast<CServerVehicle*>(FindSyncedElement(pClient, message.m_Vehicle, ELEMENT_VEHICLE));
    const bool value = message.m_Value != 0;
    if (!pVehicle || pVehicle->GetToggle() == value) return;
    pVehicle->SetToggle(value);
    message.m_Value = value ? 1 : 0;
    if (auto pPacket = BuildMessage(message)) m_pManager->SendObjectRelatedPacket(pPacket.Get(), pVehicle);
}

void CGamePacketHandler::HandleFall(CGTAClient* pClient, Stream* pStream) {
    CPedFall message;
    if (!ReadMessage(pStream, message)) return;
    Strong<CNetObject> pPed = FindSyncedElement(pClient, message.m_Ped, ELEMENT_PED);
    if (!pPed) return;
    if (m_pHost) {
        CArgumentArray arguments(4);
        arguments.AddObject(pPed.Get());
        arguments.AddNumber(message.m_A);
        arguments.AddNumber(message.m_B);
        arguments.AddNumber(int32_t(static_cast<int8_t>(message.m_C)));
        m_pHost->TriggerGameEvent("OnPedFall", arguments);
    }
    if (auto pPacket = BuildMessage(message)) m_pManager->SendPacketExcluding(pPacket.Get(), pClient);
}

void CGamePacketHandler::HandlePickupCollected(CGTAClient* pClient, Stream* pStream) {
    CPickupCollected message;
    if (!ReadMessage(pStream, message)) return;
    Strong<CNetObject> pPickup = FindSyncedElement(pClient, message.m_Pickup, ELEMENT_PICKUP);
    CNetObject* pPed = pPickup ? m_pManager->GetObjectFromId(message.m_Ped) : nullptr;
    if (!pPed || !pPed->IsType(ELEMENT_PED) || !m_pHost) return;
    CArgumentArray arguments(2);
    arguments.AddObject(pPickup.Get());
    arguments.AddObject(pPed);
    m_pHost->TriggerGameEvent("OnPickupCollected", arguments);
}

void CGamePacketHandler::HandleActionE(CGTAClient* pClient, Stream* pStream) {
    CPedActionE message;
    if (!ReadMessage(pStream, message)) return;
    if (!(message.m_F > 0.0f && message.m_F <= 2.0f)) return;
    if (!FindSyncedElement(pClient, message.m_Ped, ELEMENT_PED)) return;
    if (auto pPacket = BuildMessage(message)) m_pManager->SendPacketExcluding(pPacket.Get(), pClient);
}
