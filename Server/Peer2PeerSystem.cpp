#include "Peer2PeerSystem.h"

#include "Elements/Entity.h"
#include "GameSettings.h"

#include "Engine/BinaryReader.h"
#include "Multiplayer/GameMessages.h"
#include "Multiplayer/NetMachine.h"
#include "Multiplayer/NetObjectMgr.h"

#include <cmath>

using namespace Tessera3D;

namespace {

void Answer(CNetMachine* pClient, int32_t type, const CLocalElementHead& head, int32_t id) {
    CLocalElementAccepted answer;
    answer.m_Type = type;
    answer.m_ClientId = head.m_ClientId;
    answer.m_Handle = head.m_Handle;
    answer.m_Id = id;
    if (auto pPacket = BuildMessage(answer)) pClient->SendPacket(pPacket.Get());
}

// Another entity already stands where the vehicle is.
bool IsDuplicate(const CNetObjectMgr& manager, const CNetObject& vehicle) {
    CVector3D position;
    if (!vehicle.GetPosition(position)) return false;
    bool duplicate = false;
    manager.ForEach([&](CNetObject& element) {
        CVector3D other;
        if (duplicate || !element.IsType(ELEMENT_ENTITY) || !element.GetPosition(other)) return;
        const CVector3D d = other - position;
        duplicate = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z) < CPeer2PeerSystem::DUPLICATE_DISTANCE;
    });
    return duplicate;
}

} // namespace

bool CPeer2PeerSystem::ProcessPacket(CNetMachine* pClient, uint32_t id, Stream* pStream) {
    if (id != PACKET_LOCAL_VEHICLE_CREATED && id != PACKET_LOCAL_PED_CREATED) return false;
    if (!m_pSettings || !m_pSettings->m_bSyncLocalEntities || !m_pManager || !pClient || !pStream) return false;
    Strong<CNetMachine> pKeepClient(pClient);

    CLocalElementHead head;
    CBinaryReader reader(pStream);
    if (!head.Read(reader)) return true;

    const int32_t type = id == PACKET_LOCAL_VEHICLE_CREATED ? ELEMENT_VEHICLE : ELEMENT_PED;
    Strong<CNetObject> pElement = Strong<CNetObject>::Adopt(m_pManager->Create(type));
    if (!pElement || !pElement->IsType(ELEMENT_ENTITY)) return true;
    auto* pEntity = static_cast<CServerEntity*>(pElement.Get());
    pEntity->SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER | NETOBJECT_TRANSIENT, true);
    pEntity->SetClientSideId(head.m_ClientId);
    // A payload the element cannot read is no element.
    if (!pEntity->ReadCreatePacket(pStream) || !pEntity->ReadSyncPacket(pStream)) return true;

    if (type == ELEMENT_VEHICLE && (pEntity->GetCreationKind() == 1 || pEntity->GetCreationKind() == 3) &&
        IsDuplicate(*m_pManager, *pEntity)) {
        Answer(pClient, type, head, INVALID_NETWORK_ID);
        return true;
    }
    if (!m_pManager->RegisterNetObject(pEntity)) return true;
    Answer(pClient, type, head, pEntity->GetNetworkId());
    pEntity->SetSyncer(pClient, false);
    return true;
}
