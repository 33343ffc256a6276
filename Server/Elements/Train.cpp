#include "Train.h"

#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"

using namespace Tessera3D;

namespace {

constexpr uint8_t TRAIN_FIRST = 1, TRAIN_DERAILED = 2, TRAIN_HEADLIGHTS = 4, TRAIN_TAILLIGHTS = 8;

} // namespace

CServerTrain::CServerTrain(CNetObjectMgr* pManager, IGameElementHost* pHost) : CServerVehicle(pManager, pHost) {
    SetType(ELEMENT_TRAIN);
    SetFlag(NETOBJECT_DISTANCE_STREAMING, false);
    SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
}

uint8_t CServerTrain::GetTrainFlags() const {
    return static_cast<uint8_t>((m_bFirstTrain ? TRAIN_FIRST : 0) | (m_bDerailed ? TRAIN_DERAILED : 0) |
                                (m_bHeadlights ? TRAIN_HEADLIGHTS : 0) | (m_bTaillights ? TRAIN_TAILLIGHTS : 0));
}

bool CServerTrain::WriteCreatePacket(Stream* pStream) {
    if (!CServerVehicle::WriteCreatePacket(pStream)) return false;
    CBinaryWriter writer(pStream);
    return writer.WriteUInt8(GetTrainFlags()) && writer.WriteUInt8(m_Track);
}

bool CServerTrain::ReadCreatePacket(Stream* pStream) {
    if (!CServerVehicle::ReadCreatePacket(pStream)) return false;
    CBinaryReader reader(pStream);
    uint8_t flags = 0, track = 0;
    if (!reader.ReadUInt8(flags) || !reader.ReadUInt8(track)) return false;
    m_bFirstTrain = (flags & TRAIN_FIRST) != 0;
    m_bDerailed = (flags & TRAIN_DERAILED) != 0;
    m_bHeadlights = (flags & TRAIN_HEADLIGHTS) != 0;
    m_bTaillights = (flags & TRAIN_TAILLIGHTS) != 0;
    m_Track = track;
    return true;
}

bool CServerTrain::WriteSyncPacket(Stream* pStream) {
    CNetObject::WriteSyncPacket(pStream);
    CBinaryWriter writer(pStream);
    if (!writer.WriteUInt8(GetTrainFlags())) return false;
    if (m_bDerailed) return WritePhysicalState(writer);
    return writer.WriteFloat(m_TrackPosition) && writer.WriteFloat(m_Speed);
}

bool CServerTrain::ReadSyncPacket(Stream* pStream) {
    CBinaryReader reader(pStream);
    uint8_t flags = 0;
    if (!reader.ReadUInt8(flags)) return false;
    const bool derailed = (flags & TRAIN_DERAILED) != 0;
    if (derailed) {
        if (!ReadPhysicalState(reader)) return false;
    } else {
        float position = 0.0f, speed = 0.0f;
        if (!reader.ReadFloat(position) || !reader.ReadFloat(speed)) return false;
        m_TrackPosition = position;
        m_Speed = speed;
    }
    m_bDerailed = derailed;
    return CNetObject::ReadSyncPacket(pStream);
}
