#include "Entity.h"

#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"
#include "Multiplayer/EntityMessages.h"
#include "Multiplayer/NetObjectMgr.h"

#include <cmath>

using namespace Tessera3D;

namespace {

CMatrix4x4 RotationX(float a) {
    CMatrix4x4 m = CMatrix4x4::Zero();
    m(0, 0) = 1;
    m(1, 1) = std::cos(a);
    m(1, 2) = std::sin(a);
    m(2, 1) = -std::sin(a);
    m(2, 2) = std::cos(a);
    m(3, 3) = 1;
    return m;
}

CMatrix4x4 RotationY(float a) {
    CMatrix4x4 m = CMatrix4x4::Zero();
    m(0, 0) = std::cos(a);
    m(0, 2) = -std::sin(a);
    m(1, 1) = 1;
    m(2, 0) = std::sin(a);
    m(2, 2) = std::cos(a);
    m(3, 3) = 1;
    return m;
}

CMatrix4x4 RotationZ(float a) {
    CMatrix4x4 m = CMatrix4x4::Zero();
    m(0, 0) = std::cos(a);
    m(0, 1) = std::sin(a);
    m(1, 0) = -std::sin(a);
    m(1, 1) = std::cos(a);
    m(2, 2) = 1;
    m(3, 3) = 1;
    return m;
}

} // namespace

CServerEntity::CServerEntity(CNetObjectMgr* pManager, IGameElementHost* pHost) : CNetObject(pManager), m_pHost(pHost) {
    SetType(ELEMENT_ENTITY);
    SetFlag(NETOBJECT_FIND_SYNCER | NETOBJECT_SEND_SYNC | NETOBJECT_DISTANCE_STREAMING, true);
    if (pHost) {
        SetStreamInDistance(pHost->GetStreamInDistance());
        SetStreamOutDistance(pHost->GetStreamOutDistance());
    }
}

bool CServerEntity::IsGameIV() const {
    IGameElementHost* pHost = GetHost();
    return pHost && pHost->IsGameIV();
}

bool CServerEntity::SetPosition(const CVector3D& position) {
    m_Matrix(3, 0) = position.x;
    m_Matrix(3, 1) = position.y;
    m_Matrix(3, 2) = position.z;
    return true;
}

bool CServerEntity::GetPosition(CVector3D& position) const {
    position = CVector3D(m_Matrix(3, 0), m_Matrix(3, 1), m_Matrix(3, 2));
    return true;
}

bool CServerEntity::SetRotation(const CVector3D& rotation) {
    const CMatrix4x4 rotated = RotationX(rotation.x) * RotationY(rotation.y) * RotationZ(rotation.z);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 4; ++column) m_Matrix(row, column) = rotated(row, column);
    return true;
}

bool CServerEntity::GetRotation(CVector3D& rotation) const {
    // The rows hold the rotated axes (row vectors), so the column-convention quaternion formulas read
    // the transposed elements.
    const CMatrix4x4& m = m_Matrix;
    const float trace = m(0, 0) + m(1, 1) + m(2, 2);
    float w, x, y, z;
    if (trace > 0.0f) {
        const float s = 0.5f / std::sqrt(trace + 1.0f);
        w = 0.25f / s;
        x = (m(1, 2) - m(2, 1)) * s;
        y = (m(2, 0) - m(0, 2)) * s;
        z = (m(0, 1) - m(1, 0)) * s;
    } else if (m(0, 0) > m(1, 1) && m(0, 0) > m(2, 2)) {
        const float s = 2.0f * std::sqrt(1.0f + m(0, 0) - m(1, 1) - m(2, 2));
        w = (m(1, 2) - m(2, 1)) / s;
        x = 0.25f * s;
        y = (m(1, 0) + m(0, 1)) / s;
        z = (m(2, 0) + m(0, 2)) / s;
    } else if (m(1, 1) > m(2, 2)) {
        const float s = 2.0f * std::sqrt(1.0f + m(1, 1) - m(0, 0) - m(2, 2));
        w = (m(2, 0) - m(0, 2)) / s;
        x = (m(1, 0) + m(0, 1)) / s;
        y = 0.25f * s;
        z = (m(2, 1) + m(1, 2)) / s;
    } else {
        const float s = 2.0f * std::sqrt(1.0f + m(2, 2) - m(0, 0) - m(1, 1));
        w = (m(0, 1) - m(1, 0)) / s;
        x = (m(2, 0) + m(0, 2)) / s;
        y = (m(2, 1) + m(1, 2)) / s;
        z = 0.25f * s;
    }
    rotation.x = std::atan2(2.0f * (w * x + y * z), 1.0f - 2.0f * (x * x + y * y));
    const float sinY = 2.0f * (w * y - z * x);
    rotation.y = std::fabs(sinY) >= 1.0f ? std::copysign(1.5707964f, sinY) : std::asin(sinY);
    rotation.z = std::atan2(2.0f * (w * z + x * y), 1.0f - 2.0f * (y * y + z * z));
    return true;
}

float CServerEntity::GetHeading() const { return std::atan2(m_Matrix(0, 1), m_Matrix(0, 0)); }

void CServerEntity::SetMatrixHeading(CMatrix4x4& matrix, float heading) {
    const float c = std::cos(heading), s = std::sin(heading);
    const float rows[3][4] = {{c, s, 0, 0}, {-s, c, 0, 0}, {0, 0, 1, 0}};
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 4; ++column) matrix(row, column) = rows[row][column];
    matrix(3, 3) = 1.0f;
}

void CServerEntity::SetHeading(float heading) { SetMatrixHeading(m_Matrix, heading); }

void CServerEntity::SetModelIndex(int32_t model) {
    m_ModelIndex = model;
    if (!IsRegistered()) return;
    CEntityModel message;
    message.m_Id = GetNetworkId();
    message.m_Model = model;
    if (auto pPacket = BuildMessage(message)) SendToClientsWithElement(pPacket.Get());
}

void CServerEntity::SetInterior(uint8_t interior) {
    m_Interior = interior;
    if (!IsRegistered()) return;
    CEntityInterior message;
    message.m_Id = GetNetworkId();
    message.m_Interior = interior;
    if (auto pPacket = BuildMessage(message)) SendToClientsWithElement(pPacket.Get());
}

// ---------------------------------------------------------------------------------------------
// Records

bool CServerEntity::WriteMatrix(CBinaryWriter& writer, const CMatrix4x4& matrix) {
    for (float value : matrix.m)
        if (!writer.WriteFloat(value)) return false;
    return true;
}

bool CServerEntity::ReadMatrix(CBinaryReader& reader, CMatrix4x4& matrix) {
    for (float& value : matrix.m)
        if (!reader.ReadFloat(value)) return false;
    return true;
}

bool CServerEntity::WriteVector(CBinaryWriter& writer, const CVector3D& v) {
    return writer.WriteFloat(v.x) && writer.WriteFloat(v.y) && writer.WriteFloat(v.z);
}

bool CServerEntity::ReadVector(CBinaryReader& reader, CVector3D& v) {
    return reader.ReadFloat(v.x) && reader.ReadFloat(v.y) && reader.ReadFloat(v.z);
}

bool CServerEntity::WriteCreatePacket(Stream* pStream) {
    if (!CNetObject::WriteCreatePacket(pStream)) return false;
    CBinaryWriter writer(pStream);
    return writer.WriteInt32(m_ModelIndex) && writer.WriteUInt8(m_Interior) && writer.WriteUInt8(m_CreationKind);
}

bool CServerEntity::ReadCreatePacket(Stream* pStream) {
    if (!CNetObject::ReadCreatePacket(pStream)) return false;
    CBinaryReader reader(pStream);
    int32_t model = 0;
    uint8_t interior = 0, kind = 0;
    if (!reader.ReadInt32(model) || !reader.ReadUInt8(interior) || !reader.ReadUInt8(kind)) return false;
    m_ModelIndex = model;
    m_Interior = interior;
    m_CreationKind = kind;
    return true;
}

bool CServerEntity::WriteSyncPacket(Stream* pStream) {
    CNetObject::WriteSyncPacket(pStream);
    CBinaryWriter writer(pStream);
    return WriteMatrix(writer, m_Matrix);
}

bool CServerEntity::ReadSyncPacket(Stream* pStream) {
    CBinaryReader reader(pStream);
    CMatrix4x4 matrix;
    if (!ReadMatrix(reader, matrix)) return false;
    m_Matrix = matrix;
    return CNetObject::ReadSyncPacket(pStream);
}
