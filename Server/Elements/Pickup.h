#pragma once
// Pickups: collected by walking into them; they have their own stream distances.
#include "GameElementHost.h"

#include "Multiplayer/NetObject.h"

class CServerPickup : public CNetObject {
public:
    CServerPickup(CNetObjectMgr* pManager, IGameElementHost* pHost);

    bool SetPosition(const Tessera3D::CVector3D& position) override {
        m_Position = position;
        return true;
    }
    bool GetPosition(Tessera3D::CVector3D& position) const override {
        position = m_Position;
        return true;
    }

    int32_t GetModel() const { return m_Model; }
    void SetModel(int32_t model) { m_Model = model; }
    uint8_t GetPickupType() const { return m_PickupType; }
    void SetPickupType(uint8_t type) { m_PickupType = type; }
    int32_t GetValue() const { return m_Value; }
    void SetValue(int32_t value) { m_Value = value; }

    // Creation: vec3 position, int32 model, uint8 pickup type, int32 value. No sync.
    bool ReadCreatePacket(Tessera3D::Stream* pStream) override;
    bool WriteCreatePacket(Tessera3D::Stream* pStream) override;

private:
    Tessera3D::CVector3D m_Position;
    int32_t m_Model = 0;
    uint8_t m_PickupType = 2;
    int32_t m_Value = 0;
};
