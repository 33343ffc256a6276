#include "Physical.h"

#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"

using namespace Tessera3D;

CServerPhysical::CServerPhysical(CNetObjectMgr* pManager, IGameElementHost* pHost) : CServerEntity(pManager, pHost) {
    SetType(ELEMENT_PHYSICAL);
}

bool CServerPhysical::WritePhysicalState(CBinaryWriter& writer) const {
    return WriteMatrix(writer, m_Matrix) && WriteVector(writer, m_Velocity) && WriteVector(writer, m_TurnVelocity);
}

bool CServerPhysical::ReadPhysicalState(CBinaryReader& reader) {
    CMatrix4x4 matrix;
    CVector3D velocity, turnVelocity;
    if (!ReadMatrix(reader, matrix) || !ReadVector(reader, velocity) || !ReadVector(reader, turnVelocity)) return false;
    m_Matrix = matrix;
    m_Velocity = velocity;
    m_TurnVelocity = turnVelocity;
    return true;
}

bool CServerPhysical::WriteSyncPacket(Stream* pStream) {
    CNetObject::WriteSyncPacket(pStream);
    CBinaryWriter writer(pStream);
    return WritePhysicalState(writer);
}

bool CServerPhysical::ReadSyncPacket(Stream* pStream) {
    CBinaryReader reader(pStream);
    if (!ReadPhysicalState(reader)) return false;
    return CNetObject::ReadSyncPacket(pStream);
}
