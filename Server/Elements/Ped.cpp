#include "Ped.h"

#include "Vehicle.h"

#include "Engine/ArgumentArray.h"
#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"
#include "Multiplayer/EntityMessages.h"
#include "Multiplayer/NetMachine.h"
#include "Multiplayer/NetObjectMgr.h"

using namespace Tessera3D;

namespace {

bool ReadBlob(CBinaryReader& reader, std::vector<uint8_t>& blob) {
    uint16_t length = 0;
    if (!reader.ReadUInt16(length) || length > CServerPed::MAX_BLOB_LENGTH) return false;
    blob.resize(length);
    return length == 0 || reader.ReadBytes(blob.data(), length);
}

bool WriteBlob(CBinaryWriter& writer, const std::vector<uint8_t>& blob) {
    return writer.WriteUInt16(static_cast<uint16_t>(blob.size())) && writer.WriteBytes(blob.data(), blob.size());
}

bool IsSendableBlob(const std::vector<uint8_t>& blob) { return !blob.empty() && blob.size() <= CServerPed::MAX_BLOB_LENGTH; }

} // namespace

CServerPed::CServerPed(CNetObjectMgr* pManager, IGameElementHost* pHost) : CServerPhysical(pManager, pHost) {
    SetType(ELEMENT_PED);
}

void CServerPed::SetHeading(float heading) {
    CServerEntity::SetHeading(heading);
    m_Heading = heading;
    m_SecondHeading = heading;
}

CServerVehicle* CServerPed::GetVehicle() const {
    CNetObjectMgr* pManager = GetManager();
    CNetObject* pElement = pManager ? pManager->GetObjectFromId(m_VehicleId) : nullptr;
    return pElement && pElement->IsType(ELEMENT_VEHICLE) ? static_cast<CServerVehicle*>(pElement) : nullptr;
}

void CServerPed::SetVehicleEnteringState(CServerVehicle* pVehicle, uint8_t seat, eVehicleEnteringState state) {
    Strong<CNetObject> pKeep(this);
    m_VehicleState = state;
    if (pVehicle) {
        m_VehicleId = pVehicle->GetNetworkId();
        m_Seat = seat;
        CNetMachine* pSyncer = GetSyncer();
        if (pSyncer && GetManager()) GetManager()->CreateObjectsAsNeeded(pSyncer, ELEMENT_VEHICLE);
    } else {
        m_VehicleId = INVALID_NETWORK_ID;
    }
    if (!IsRegistered()) return;
    CPedVehicleState message;
    message.m_Ped = GetNetworkId();
    message.m_Vehicle = m_VehicleId;
    message.m_Seat = seat;
    message.m_State = static_cast<uint8_t>(state);
    if (auto pPacket = BuildMessage(message)) SendToClientsWithElement(pPacket.Get());
}

void CServerPed::GiveWeapon(int32_t weapon, int32_t ammunition, bool current) {
    if (current) {
        m_Weapon = static_cast<uint16_t>(weapon);
        m_WeaponAmmunition = static_cast<uint16_t>(ammunition);
    }
    if (!IsRegistered()) return;
    CPedGiveWeapon message;
    message.m_Id = GetNetworkId();
    message.m_Weapon = weapon;
    message.m_Ammunition = ammunition;
    message.m_Current = current ? 1 : 0;
    if (auto pPacket = BuildMessage(message)) SendToClientsWithElement(pPacket.Get());
}

void CServerPed::OnSpawned() {
    IGameElementHost* pHost = GetHost();
    if (!pHost) return;
    CArgumentArray arguments(1);
    arguments.AddObject(this);
    pHost->TriggerGameEvent("OnPedSpawn", arguments);
}

bool CServerPed::CanExistForMachine(CNetMachine* pMachine) const {
    CNetObjectMgr* pManager = GetManager();
    if (CNetObject* pVehicle = pManager ? pManager->GetObjectFromId(m_VehicleId) : nullptr)
        return pMachine && pVehicle->IsCreatedFor(pMachine->m_Index);
    return CServerPhysical::CanExistForMachine(pMachine);
}

// ---------------------------------------------------------------------------------------------
// Records

bool CServerPed::WriteCreatePacket(Stream* pStream) {
    if (!CServerPhysical::WriteCreatePacket(pStream)) return false;
    return CBinaryWriter(pStream).WriteInt32(m_PedType);
}

bool CServerPed::ReadCreatePacket(Stream* pStream) {
    if (!CServerPhysical::ReadCreatePacket(pStream)) return false;
    int32_t type = 0;
    if (!CBinaryReader(pStream).ReadInt32(type)) return false;
    m_PedType = type;
    return true;
}

bool CServerPed::WritePedSync(CBinaryWriter& writer) const {
    CVector3D position;
    GetPosition(position);
    if (!writer.WriteInt32(m_RelayedValue) || !WriteVector(writer, position) || !WriteVector(writer, m_RelayedVector) ||
        !WriteVector(writer, m_Velocity) || !writer.WriteFloat(m_Heading) || !writer.WriteFloat(m_SecondHeading) ||
        !writer.WriteFloat(m_Health) || !writer.WriteUInt8(static_cast<uint8_t>(m_VehicleState)) ||
        !writer.WriteInt32(m_VehicleId) || !writer.WriteUInt8(m_Seat) || !writer.WriteUInt16(m_Weapon))
        return false;
    if (IsGameIV()) {
        static const std::vector<uint8_t> empty;
        return WriteBlob(writer, IsSendableBlob(m_IVBlob) ? m_IVBlob : empty);
    }
    if (!writer.WriteUInt16(m_WeaponAmmunition) || !writer.WriteUInt16(m_WeaponClipAmmunition) ||
        !writer.WriteUInt8(m_WeaponState) || !writer.WriteFloat(m_Armour) || !writer.WriteUInt8(m_RelayedByte))
        return false;
    const bool blob = IsSendableBlob(m_ExtraBlob);
    if (!writer.WriteUInt8(blob ? 1 : 0)) return false;
    return !blob || WriteBlob(writer, m_ExtraBlob);
}

bool CServerPed::ReadPedSync(CBinaryReader& reader, CPedSync& sync) const {
    if (!reader.ReadInt32(sync.m_RelayedValue) || !ReadVector(reader, sync.m_Position) ||
        !ReadVector(reader, sync.m_RelayedVector) || !ReadVector(reader, sync.m_Velocity) ||
        !reader.ReadFloat(sync.m_Heading) || !reader.ReadFloat(sync.m_SecondHeading) || !reader.ReadFloat(sync.m_Health) ||
        !reader.ReadUInt8(sync.m_VehicleState) || !reader.ReadInt32(sync.m_VehicleId) || !reader.ReadUInt8(sync.m_Seat) ||
        !reader.ReadUInt16(sync.m_Weapon))
        return false;
    if (IsGameIV()) return ReadBlob(reader, sync.m_Blob);
    uint8_t blob = 0;
    if (!reader.ReadUInt16(sync.m_WeaponAmmunition) || !reader.ReadUInt16(sync.m_WeaponClipAmmunition) ||
        !reader.ReadUInt8(sync.m_WeaponState) || !reader.ReadFloat(sync.m_Armour) || !reader.ReadUInt8(sync.m_RelayedByte) ||
        !reader.ReadUInt8(blob))
        return false;
    sync.m_Blob.clear();
    return !blob || ReadBlob(reader, sync.m_Blob);
}

void CServerPed::ApplyPedSync(CPedSync& sync) {
    m_RelayedValue = sync.m_RelayedValue;
    m_RelayedVector = sync.m_RelayedVector;
    m_Velocity = sync.m_Velocity;
    m_Heading = sync.m_Heading;
    m_SecondHeading = sync.m_SecondHeading;
    m_Health = sync.m_Health;
    m_VehicleState = static_cast<eVehicleEnteringState>(sync.m_VehicleState);
    m_VehicleId = sync.m_VehicleId;
    m_Seat = sync.m_Seat;
    m_Weapon = sync.m_Weapon;
    if (IsGameIV()) {
        m_IVBlob = std::move(sync.m_Blob);
    } else {
        m_WeaponAmmunition = sync.m_WeaponAmmunition;
        m_WeaponClipAmmunition = sync.m_WeaponClipAmmunition;
        m_WeaponState = sync.m_WeaponState;
        m_Armour = sync.m_Armour;
        m_RelayedByte = sync.m_RelayedByte;
        m_ExtraBlob = std::move(sync.m_Blob);
    }
    // The position goes into the matrix, whose rotation follows the heading.
    SetMatrixHeading(m_Matrix, m_Heading);
    CServerEntity::SetPosition(sync.m_Position);

    if (m_VehicleId != INVALID_NETWORK_ID && m_Seat <= MAX_SEAT)
        if (CServerVehicle* pVehicle = GetVehicle()) pVehicle->SetOccupant(m_Seat, this);
}

bool CServerPed::WriteSyncPacket(Stream* pStream) {
    CNetObject::WriteSyncPacket(pStream);
    CBinaryWriter writer(pStream);
    return WritePedSync(writer);
}

bool CServerPed::ReadSyncPacket(Stream* pStream) {
    CBinaryReader reader(pStream);
    CPedSync sync;
    if (!ReadPedSync(reader, sync)) return false;
    ApplyPedSync(sync);
    return CNetObject::ReadSyncPacket(pStream);
}
