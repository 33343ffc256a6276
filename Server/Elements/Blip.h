#pragma once
// Radar blips: at a position, or attached to an element whose position they then take.
#include "GameElementHost.h"

#include "Multiplayer/NetObject.h"

class CServerBlip : public CNetObject {
public:
    enum : uint8_t { BLIP_OPTION_1 = 1, BLIP_OPTION_2 = 2, BLIP_HAS_ICON = 4 };

    CServerBlip(CNetObjectMgr* pManager, IGameElementHost* pHost);

    bool SetPosition(const Tessera3D::CVector3D& position) override;
    // The parent's position when attached to an element that has one.
    bool GetPosition(Tessera3D::CVector3D& position) const override;

    uint8_t GetBlipFlags() const { return m_Flags; }
    void SetBlipFlags(uint8_t flags) { m_Flags = flags; }
    uint8_t GetSize() const { return m_Size; }
    void SetSize(uint8_t size) { m_Size = size; }
    // The icon when BLIP_HAS_ICON is set, otherwise the colour.
    int32_t GetIconOrColour() const { return m_IconOrColour; }
    void SetIconOrColour(int32_t value) { m_IconOrColour = value; }

    // Creation: vec3 position, uint8 flags, uint8 size, int32 icon or colour.
    bool ReadCreatePacket(Tessera3D::Stream* pStream) override;
    bool WriteCreatePacket(Tessera3D::Stream* pStream) override;
    // Sync: vec3 position; a client's position counts only while the blip is not attached.
    bool ReadSyncPacket(Tessera3D::Stream* pStream) override;
    bool WriteSyncPacket(Tessera3D::Stream* pStream) override;

private:
    Tessera3D::CVector3D m_Position;
    uint8_t m_Flags = BLIP_OPTION_1;
    uint8_t m_Size = 3;
    int32_t m_IconOrColour = 0xFF00FF;
};
