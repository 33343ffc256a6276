#pragma once
// Markers: a sphere at a position.
#include "GameElementHost.h"

#include "Multiplayer/NetObject.h"

class CServerMarker : public CNetObject {
public:
    CServerMarker(CNetObjectMgr* pManager, IGameElementHost* pHost);

    bool SetPosition(const Tessera3D::CVector3D& position) override {
        m_Position = position;
        return true;
    }
    bool GetPosition(Tessera3D::CVector3D& position) const override {
        position = m_Position;
        return true;
    }
    float GetRadius() const { return m_Radius; }
    void SetRadius(float radius) { m_Radius = radius; }

    // Creation: vec3 position, float32 radius. No sync.
    bool ReadCreatePacket(Tessera3D::Stream* pStream) override;
    bool WriteCreatePacket(Tessera3D::Stream* pStream) override;

private:
    Tessera3D::CVector3D m_Position;
    float m_Radius = 1.0f;
};
