// Blips, pickups, markers and dummies: elements with a position but no matrix.
#include "Blip.h"
#include "Dummy.h"
#include "Marker.h"
#include "Pickup.h"

#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"

using namespace Tessera3D;

namespace {

// Only distance decides where these exist; nothing of them is synced unless a kind asks for it.
void SetSimpleFlags(CNetObject& element, uint16_t extra) {
    element.SetFlag(NETOBJECT_FIND_SYNCER | NETOBJECT_SEND_SYNC, false);
    element.SetFlag(static_cast<uint16_t>(NETOBJECT_DISTANCE_STREAMING | extra), true);
}

bool WriteVector(CBinaryWriter& writer, const CVector3D& v) {
    return writer.WriteFloat(v.x) && writer.WriteFloat(v.y) && writer.WriteFloat(v.z);
}

bool ReadVector(CBinaryReader& reader, CVector3D& v) { return reader.ReadFloat(v.x) && reader.ReadFloat(v.y) && reader.ReadFloat(v.z); }

} // namespace

// ---------------------------------------------------------------------------------------------
// Blip

CServerBlip::CServerBlip(CNetObjectMgr* pManager, IGameElementHost* pHost) : CNetObject(pManager) {
    SetType(ELEMENT_BLIP);
    SetSimpleFlags(*this, NETOBJECT_SEND_SYNC | NETOBJECT_ONLY_SYNC_IF_DETACHED);
    if (pHost) {
        SetStreamInDistance(pHost->GetStreamInDistance());
        SetStreamOutDistance(pHost->GetStreamOutDistance());
    }
}

bool CServerBlip::SetPosition(const CVector3D& position) {
    m_Position = position;
    return true;
}

bool CServerBlip::GetPosition(CVector3D& position) const {
    CNetObject* pParent = GetParent();
    if (pParent && pParent->IsType(ELEMENT_TRANSFORMABLE) && pParent->GetPosition(position)) return true;
    position = m_Position;
    return true;
}

bool CServerBlip::WriteCreatePacket(Stream* pStream) {
    if (!CNetObject::WriteCreatePacket(pStream)) return false;
    CVector3D position;
    GetPosition(position);
    CBinaryWriter writer(pStream);
    return WriteVector(writer, position) && writer.WriteUInt8(m_Flags) && writer.WriteUInt8(m_Size) &&
           writer.WriteInt32(m_IconOrColour);
}

bool CServerBlip::ReadCreatePacket(Stream* pStream) {
    if (!CNetObject::ReadCreatePacket(pStream)) return false;
    CBinaryReader reader(pStream);
    CVector3D position;
    uint8_t flags = 0, size = 0;
    int32_t value = 0;
    if (!ReadVector(reader, position) || !reader.ReadUInt8(flags) || !reader.ReadUInt8(size) || !reader.ReadInt32(value))
        return false;
    m_Position = position;
    m_Flags = flags;
    m_Size = size;
    m_IconOrColour = value;
    return true;
}

bool CServerBlip::WriteSyncPacket(Stream* pStream) {
    CNetObject::WriteSyncPacket(pStream);
    CVector3D position;
    GetPosition(position);
    CBinaryWriter writer(pStream);
    return WriteVector(writer, position);
}

bool CServerBlip::ReadSyncPacket(Stream* pStream) {
    CBinaryReader reader(pStream);
    CVector3D position;
    if (!ReadVector(reader, position)) return false;
    if (!GetParent()) m_Position = position;
    return CNetObject::ReadSyncPacket(pStream);
}

// ---------------------------------------------------------------------------------------------
// Pickup

CServerPickup::CServerPickup(CNetObjectMgr* pManager, IGameElementHost* pHost) : CNetObject(pManager) {
    SetType(ELEMENT_PICKUP);
    SetSimpleFlags(*this, 0);
    if (pHost) {
        SetStreamInDistance(pHost->GetPickupStreamInDistance());
        SetStreamOutDistance(pHost->GetPickupStreamOutDistance());
    }
}

bool CServerPickup::WriteCreatePacket(Stream* pStream) {
    if (!CNetObject::WriteCreatePacket(pStream)) return false;
    CBinaryWriter writer(pStream);
    return WriteVector(writer, m_Position) && writer.WriteInt32(m_Model) && writer.WriteUInt8(m_PickupType) &&
           writer.WriteInt32(m_Value);
}

bool CServerPickup::ReadCreatePacket(Stream* pStream) {
    if (!CNetObject::ReadCreatePacket(pStream)) return false;
    CBinaryReader reader(pStream);
    CVector3D position;
    int32_t model = 0, value = 0;
    uint8_t type = 0;
    if (!ReadVector(reader, position) || !reader.ReadInt32(model) || !reader.ReadUInt8(type) || !reader.ReadInt32(value))
        return false;
    m_Position = position;
    m_Model = model;
    m_PickupType = type;
    m_Value = value;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Marker

CServerMarker::CServerMarker(CNetObjectMgr* pManager, IGameElementHost* pHost) : CNetObject(pManager) {
    SetType(ELEMENT_MARKER);
    SetSimpleFlags(*this, 0);
    if (pHost) {
        SetStreamInDistance(pHost->GetStreamInDistance());
        SetStreamOutDistance(pHost->GetStreamOutDistance());
    }
}

bool CServerMarker::WriteCreatePacket(Stream* pStream) {
    if (!CNetObject::WriteCreatePacket(pStream)) return false;
    CBinaryWriter writer(pStream);
    return WriteVector(writer, m_Position) && writer.WriteFloat(m_Radius);
}

bool CServerMarker::ReadCreatePacket(Stream* pStream) {
    if (!CNetObject::ReadCreatePacket(pStream)) return false;
    CBinaryReader reader(pStream);
    CVector3D position;
    float radius = 0.0f;
    if (!ReadVector(reader, position) || !reader.ReadFloat(radius)) return false;
    m_Position = position;
    m_Radius = radius;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Dummy

CServerDummy::CServerDummy(CNetObjectMgr* pManager, IGameElementHost* pHost) : CNetObject(pManager) {
    SetType(ELEMENT_DUMMY);
    SetSimpleFlags(*this, 0);
    if (pHost) {
        SetStreamInDistance(pHost->GetStreamInDistance());
        SetStreamOutDistance(pHost->GetStreamOutDistance());
    }
}
