#pragma once
// The character a client plays as: a ped that always exists for its own client.
#include "Ped.h"

#include <array>

class CServerPlayer : public CServerPed {
public:
    CServerPlayer(CNetObjectMgr* pManager, IGameElementHost* pHost);

    // Moves the player's own game character too: always announced.
    bool SetPosition(const Tessera3D::CVector3D& position) override;

    // Sync: the ped's, then (except for GTA IV) uint16, 48 bytes, 4 bytes, uint8 flag, uint16, relayed
    // as received. As driver the player's syncer also syncs the vehicle.
    bool ReadSyncPacket(Tessera3D::Stream* pStream) override;
    bool WriteSyncPacket(Tessera3D::Stream* pStream) override;

private:
    struct CPlayerExtras {
        uint16_t m_First = 0;
        std::array<uint8_t, 48> m_Block{};
        std::array<uint8_t, 4> m_Value{};
        bool m_bFlag = true;
        uint16_t m_Last = 4;
    };
    static bool WriteExtras(Tessera3D::CBinaryWriter& writer, const CPlayerExtras& extras);
    static bool ReadExtras(Tessera3D::CBinaryReader& reader, CPlayerExtras& extras);

    CPlayerExtras m_Extras;
};
