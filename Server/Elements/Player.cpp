#include "Player.h"

#include "Vehicle.h"

#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"
#include "Multiplayer/EntityMessages.h"

using namespace Tessera3D;

CServerPlayer::CServerPlayer(CNetObjectMgr* pManager, IGameElementHost* pHost) : CServerPed(pManager, pHost) {
    SetType(ELEMENT_PLAYER);
    SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
}

bool CServerPlayer::SetPosition(const CVector3D& position) {
    CServerPed::SetPosition(position);
    if (IsRegistered()) {
        CPlayerPosition message;
        message.m_Id = GetNetworkId();
        message.m_Position = position;
        if (auto pPacket = BuildMessage(message)) SendToClientsWithElement(pPacket.Get());
    }
    return true;
}

bool CServerPlayer::WriteExtras(CBinaryWriter& writer, const CPlayerExtras& extras) {
    return writer.WriteUInt16(extras.m_First) && writer.WriteBytes(extras.m_Block.data(), extras.m_Block.size()) &&
           writer.WriteBytes(extras.m_Value.data(), extras.m_Value.size()) && writer.WriteBoolean(extras.m_bFlag) &&
           writer.WriteUInt16(extras.m_Last);
}

bool CServerPlayer::ReadExtras(CBinaryReader& reader, CPlayerExtras& extras) {
    return reader.ReadUInt16(extras.m_First) && reader.ReadBytes(extras.m_Block.data(), extras.m_Block.size()) &&
           reader.ReadBytes(extras.m_Value.data(), extras.m_Value.size()) && reader.ReadBoolean(extras.m_bFlag) &&
           reader.ReadUInt16(extras.m_Last);
}

bool CServerPlayer::WriteSyncPacket(Stream* pStream) {
    CNetObject::WriteSyncPacket(pStream);
    CBinaryWriter writer(pStream);
    if (!WritePedSync(writer)) return false;
    return IsGameIV() || WriteExtras(writer, m_Extras);
}

bool CServerPlayer::ReadSyncPacket(Stream* pStream) {
    CBinaryReader reader(pStream);
    CPedSync sync;
    CPlayerExtras extras = m_Extras;
    if (!ReadPedSync(reader, sync) || (!IsGameIV() && !ReadExtras(reader, extras))) return false;
    ApplyPedSync(sync);
    m_Extras = extras;

    // The driver's client simulates the vehicle, unless a script fixed its syncer.
    if (GetVehicleEnteringState() == VEHICLE_STATE_IN_VEHICLE && GetSeat() == 0) {
        CServerVehicle* pVehicle = GetVehicle();
        CNetMachine* pSyncer = GetSyncer();
        if (pVehicle && pSyncer && !pVehicle->HasFlag(NETOBJECT_FORCED_SYNCER)) pVehicle->SetSyncer(pSyncer, false);
    }
    return CNetObject::ReadSyncPacket(pStream);
}
