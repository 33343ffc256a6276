#pragma once
// Small element kinds for replication tests and benchmarks: a positioned element whose creation
// payload is its model and whose sync payload is its position, in the kinds' usual layering (the
// base part first).
#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"
#include "Multiplayer/NetObjectMgr.h"

class CTestElement : public CNetObject {
public:
    // Entities stream by distance and want a syncer; players also exist for their syncer anywhere.
    CTestElement(CNetObjectMgr* pManager, int32_t type, const Tessera3D::CVector3D& position = {})
        : CNetObject(pManager), m_Position(position) {
        SetType(type);
        SetFlag(NETOBJECT_FIND_SYNCER | NETOBJECT_SEND_SYNC | NETOBJECT_DISTANCE_STREAMING, true);
        if (TypeMatches(type, ELEMENT_PLAYER)) SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
        SetStreamInDistance(100.0f);
        SetStreamOutDistance(200.0f);
    }

    bool GetPosition(Tessera3D::CVector3D& position) const override {
        position = m_Position;
        return true;
    }
    bool SetPosition(const Tessera3D::CVector3D& position) override {
        m_Position = position;
        return true;
    }

    bool WriteCreatePacket(Tessera3D::Stream* pStream) override {
        if (!CNetObject::WriteCreatePacket(pStream)) return false;
        return Tessera3D::CBinaryWriter(pStream).WriteInt32(m_Model);
    }
    bool WriteSyncPacket(Tessera3D::Stream* pStream) override {
        CNetObject::WriteSyncPacket(pStream);
        ++m_SyncsWritten;
        Tessera3D::CBinaryWriter writer(pStream);
        return writer.WriteFloat(m_Position.x) && writer.WriteFloat(m_Position.y) && writer.WriteFloat(m_Position.z);
    }
    // Decoded whole before anything changes, so a short record leaves the element as it was.
    bool ReadSyncPacket(Tessera3D::Stream* pStream) override {
        Tessera3D::CBinaryReader reader(pStream);
        Tessera3D::CVector3D position;
        if (!reader.ReadFloat(position.x) || !reader.ReadFloat(position.y) || !reader.ReadFloat(position.z)) return false;
        m_Position = position;
        ++m_SyncsRead;
        return CNetObject::ReadSyncPacket(pStream);
    }

    Tessera3D::CVector3D m_Position;
    int32_t m_Model = 7;
    int m_SyncsRead = 0;
    int m_SyncsWritten = 0;
};

inline Tessera3D::Strong<CTestElement> MakeTestElement(CNetObjectMgr& manager, int32_t type, const Tessera3D::CVector3D& position = {}) {
    return Tessera3D::MakeStrong<CTestElement>(&manager, type, position);
}
