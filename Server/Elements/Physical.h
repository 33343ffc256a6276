#pragma once
// Entities that move: they add velocity and turn velocity to the matrix.
#include "Entity.h"

class CServerPhysical : public CServerEntity {
public:
    CServerPhysical(CNetObjectMgr* pManager, IGameElementHost* pHost);

    const Tessera3D::CVector3D& GetVelocity() const { return m_Velocity; }
    void SetVelocity(const Tessera3D::CVector3D& velocity) { m_Velocity = velocity; }
    const Tessera3D::CVector3D& GetTurnVelocity() const { return m_TurnVelocity; }
    void SetTurnVelocity(const Tessera3D::CVector3D& velocity) { m_TurnVelocity = velocity; }

    // Sync: matrix, vec3 velocity, vec3 turn velocity.
    bool ReadSyncPacket(Tessera3D::Stream* pStream) override;
    bool WriteSyncPacket(Tessera3D::Stream* pStream) override;

protected:
    // The physical state alone, for kinds that wrap it in their own payload.
    bool WritePhysicalState(Tessera3D::CBinaryWriter& writer) const;
    bool ReadPhysicalState(Tessera3D::CBinaryReader& reader);

    Tessera3D::CVector3D m_Velocity;
    Tessera3D::CVector3D m_TurnVelocity;
};
