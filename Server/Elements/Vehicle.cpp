#include "Vehicle.h"

#include "Ped.h"
#include "VehicleColours.h"

#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"
#include "Engine/Log.h"
#include "Multiplayer/EntityMessages.h"
#include "Multiplayer/NetObjectMgr.h"

#include <cstdlib>
#include <vector>

using namespace Tessera3D;

namespace {

constexpr uint32_t CREATE_STRONG_GRIP = 1, CREATE_RGB = 2, CREATE_ENGINE = 4;
constexpr uint32_t SYNC_RELAYED_FLAG = 1;

} // namespace

CServerVehicle::CServerVehicle(CNetObjectMgr* pManager, IGameElementHost* pHost) : CServerPhysical(pManager, pHost) {
    SetType(ELEMENT_VEHICLE);
}

void CServerVehicle::SetModelIndex(int32_t model) {
    CServerPhysical::SetModelIndex(model);
    RandomiseColours();
}

void CServerVehicle::Fix() {
    m_Health = FULL_HEALTH;
    if (!IsRegistered()) return;
    CVehicleFix message;
    message.m_Id = GetNetworkId();
    if (auto pPacket = BuildMessage(message)) SendToClientsWithElement(pPacket.Get());
}

void CServerVehicle::SetColours(const std::array<uint8_t, 4>& colours) {
    m_Colours = colours;
    m_bRGB = false;
}

void CServerVehicle::SetRGBColours(const std::array<uint32_t, 4>& colours) {
    m_RGBColours = colours;
    m_bRGB = true;
}

void CServerVehicle::ApplyColourChanges() {
    if (!IsRegistered()) return;
    CVehicleColoursMessage message;
    message.m_Id = GetNetworkId();
    message.m_bRGB = m_bRGB;
    for (size_t i = 0; i < 4; ++i) message.m_Colours[i] = m_bRGB ? m_RGBColours[i] : m_Colours[i];
    if (auto pPacket = BuildMessage(message)) SendToClientsWithElement(pPacket.Get());
}

void CServerVehicle::RandomiseColours() {
    IGameElementHost* pHost = GetHost();
    CVehicleColours* pTable = pHost ? pHost->GetVehicleColours() : nullptr;
    const CVehicleColours::CDefinitions* pDefinitions =
        pTable ? &pTable->FindDefinitions(static_cast<uint32_t>(GetModelIndex())) : nullptr;
    if (!pDefinitions || pDefinitions->empty()) {
        LogWarn("Cannot randomise car colour %d!", GetModelIndex());
        return;
    }
    const uint32_t r = (static_cast<uint32_t>(rand()) << 1) | (static_cast<uint32_t>(rand()) & 1);
    const CVehicleColourDefinition& definition = (*pDefinitions)[r % pDefinitions->size()];
    if (definition.m_bRGB) {
        for (size_t i = 0; i < 4; ++i) m_RGBColours[i] = static_cast<uint32_t>(definition.m_Colours[i]);
        m_bRGB = true;
    } else {
        for (size_t i = 0; i < 4; ++i) m_Colours[i] = static_cast<uint8_t>(definition.m_Colours[i]);
        m_bRGB = false;
    }
}

void CServerVehicle::SetDoorsLocked(int32_t status) {
    if (status == m_LockStatus) return;
    m_LockStatus = status;
    if (!IsRegistered()) return;
    CVehicleLock message;
    message.m_Id = GetNetworkId();
    message.m_Status = static_cast<uint8_t>(status);
    if (auto pPacket = BuildMessage(message)) SendToClientsWithElement(pPacket.Get());
}

void CServerVehicle::SetEngine(bool on) {
    if (on == m_bEngine) return;
    m_bEngine = on;
    if (!IsRegistered()) return;
    CVehicleEngine message;
    message.m_Id = GetNetworkId();
    message.m_On = on ? 1 : 0;
    if (auto pPacket = BuildMessage(message)) SendToClientsWithElement(pPacket.Get());
}

// ---------------------------------------------------------------------------------------------
// Occupants

CServerPed* CServerVehicle::GetOccupant(uint8_t seat) const {
    if (seat >= SEAT_COUNT) return nullptr;
    auto* pPed = static_cast<CServerPed*>(m_Occupants[seat].Get());
    if (!pPed || pPed->GetNetworkId() == INVALID_NETWORK_ID || pPed->GetVehicleId() != GetNetworkId() ||
        pPed->GetSeat() != seat)
        return nullptr;
    return pPed;
}

void CServerVehicle::SetOccupant(uint8_t seat, CServerPed* pPed) {
    if (seat < SEAT_COUNT) m_Occupants[seat] = pPed;
}

bool CServerVehicle::HasOccupant() const {
    for (uint8_t seat = 0; seat < SEAT_COUNT; ++seat)
        if (GetOccupant(seat)) return true;
    return false;
}

bool CServerVehicle::CanSendSync() const { return HasOccupant() && CServerPhysical::CanSendSync(); }

bool CServerVehicle::CanSendSync(CNetMachine* pMachine) const {
    return HasOccupant() && CServerPhysical::CanSendSync(pMachine);
}

void CServerVehicle::Remove() {
    Strong<CNetObject> pKeep(this);
    CNetObjectMgr* pManager = GetManager();
    const int32_t id = GetNetworkId();
    if (pManager && id != INVALID_NETWORK_ID) {
        std::vector<Strong<CServerPed>> inside;
        pManager->ForEach([&](CNetObject& element) {
            if (!element.IsType(ELEMENT_PED)) return;
            auto& ped = static_cast<CServerPed&>(element);
            if (ped.GetVehicleEnteringState() == VEHICLE_STATE_IN_VEHICLE && ped.GetVehicleId() == id) inside.emplace_back(&ped);
        });
        for (const Strong<CServerPed>& pPed : inside) {
            if (pPed->IsType(ELEMENT_PLAYER) || pPed->GetResource())
                pPed->SetVehicleEnteringState(nullptr, 0, VEHICLE_STATE_NONE);
            else
                pManager->DestroyObject(pPed.Get(), true, false);
        }
    }
    CServerPhysical::Remove();
}

// ---------------------------------------------------------------------------------------------
// Records

bool CServerVehicle::WriteCreatePacket(Stream* pStream) {
    if (!CServerPhysical::WriteCreatePacket(pStream)) return false;
    CBinaryWriter writer(pStream);
    const uint32_t flags = (m_bStrongGrip ? CREATE_STRONG_GRIP : 0u) | (m_bRGB ? CREATE_RGB : 0u) | (m_bEngine ? CREATE_ENGINE : 0u);
    if (!writer.WriteUInt32(flags) || !writer.WriteUInt8(static_cast<uint8_t>(m_LockStatus))) return false;
    for (size_t i = 0; i < 4; ++i)
        if (!(m_bRGB ? writer.WriteUInt32(m_RGBColours[i]) : writer.WriteUInt8(m_Colours[i]))) return false;
    return true;
}

bool CServerVehicle::ReadCreatePacket(Stream* pStream) {
    if (!CServerPhysical::ReadCreatePacket(pStream)) return false;
    CBinaryReader reader(pStream);
    uint32_t flags = 0;
    uint8_t lock = 0;
    if (!reader.ReadUInt32(flags) || !reader.ReadUInt8(lock)) return false;
    const bool rgb = (flags & CREATE_RGB) != 0;
    std::array<uint32_t, 4> rgbColours = m_RGBColours;
    std::array<uint8_t, 4> colours = m_Colours;
    for (size_t i = 0; i < 4; ++i)
        if (!(rgb ? reader.ReadUInt32(rgbColours[i]) : reader.ReadUInt8(colours[i]))) return false;
    m_bStrongGrip = (flags & CREATE_STRONG_GRIP) != 0;
    m_bEngine = (flags & CREATE_ENGINE) != 0;
    m_bRGB = rgb;
    m_LockStatus = lock;
    m_RGBColours = rgbColours;
    m_Colours = colours;
    return true;
}

bool CServerVehicle::WriteVehicleSync(CBinaryWriter& writer) const {
    if (!WritePhysicalState(writer) || !writer.WriteUInt32(m_bRelayedFlag ? SYNC_RELAYED_FLAG : 0u) ||
        !writer.WriteFloat(m_Health))
        return false;
    for (float value : m_RelayedFloats)
        if (!writer.WriteFloat(value)) return false;
    if (IsGameIV()) return true;
    if (!writer.WriteBoolean(m_bRelayedByte) || !writer.WriteInt32(m_RelayedInt) || !m_Damage.Write(writer) ||
        !writer.WriteUInt8(m_DamageExtras))
        return false;
    return !(m_DamageExtras & 1) || (writer.WriteInt32(m_DamageExtraValues[0]) && writer.WriteInt32(m_DamageExtraValues[1]));
}

bool CServerVehicle::ReadVehicleSync(CBinaryReader& reader, CVehicleSync& sync) const {
    if (!reader.ReadUInt32(sync.m_Flags) || !reader.ReadFloat(sync.m_Health)) return false;
    for (float& value : sync.m_RelayedFloats)
        if (!reader.ReadFloat(value)) return false;
    if (IsGameIV()) return true;
    sync.m_Damage = m_Damage;
    if (!reader.ReadBoolean(sync.m_bRelayedByte) || !reader.ReadInt32(sync.m_RelayedInt) || !sync.m_Damage.Read(reader) ||
        !reader.ReadUInt8(sync.m_DamageExtras))
        return false;
    return !(sync.m_DamageExtras & 1) ||
           (reader.ReadInt32(sync.m_DamageExtraValues[0]) && reader.ReadInt32(sync.m_DamageExtraValues[1]));
}

bool CServerVehicle::WriteSyncPacket(Stream* pStream) {
    CNetObject::WriteSyncPacket(pStream);
    CBinaryWriter writer(pStream);
    return WriteVehicleSync(writer);
}

bool CServerVehicle::ReadSyncPacket(Stream* pStream) {
    CBinaryReader reader(pStream);
    // Decoded whole before anything changes, so a short record leaves the vehicle as it was.
    CMatrix4x4 matrix;
    CVector3D velocity, turnVelocity;
    if (!ReadMatrix(reader, matrix) || !ReadVector(reader, velocity) || !ReadVector(reader, turnVelocity)) return false;
    CVehicleSync sync;
    if (!ReadVehicleSync(reader, sync)) return false;
    m_Matrix = matrix;
    m_Velocity = velocity;
    m_TurnVelocity = turnVelocity;
    m_bRelayedFlag = (sync.m_Flags & SYNC_RELAYED_FLAG) != 0;
    m_Health = sync.m_Health;
    m_RelayedFloats = sync.m_RelayedFloats;
    if (!IsGameIV()) {
        m_bRelayedByte = sync.m_bRelayedByte;
        m_RelayedInt = sync.m_RelayedInt;
        m_Damage = sync.m_Damage;
        m_DamageExtras = sync.m_DamageExtras;
        m_DamageExtraValues = sync.m_DamageExtraValues;
    }
    return CNetObject::ReadSyncPacket(pStream);
}
