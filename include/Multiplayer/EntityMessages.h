#pragma once
// Messages the server sends when a script changes an entity, vehicle or ped (each names the element by
// its int32 id and goes to the clients that have the element). The engine message also comes back
// from a vehicle's syncer in the same layout.
#include "Engine/Mathematics/Vector3D.h"
#include "Multiplayer/Message.h"

#include <array>

// int32 id, int32 model.
struct CEntityModel {
    static constexpr uint32_t ID = PACKET_ENTITY_MODEL;
    int32_t m_Id = -1;
    int32_t m_Model = -1;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteInt32(m_Id) && writer.WriteInt32(m_Model); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadInt32(m_Id) && reader.ReadInt32(m_Model); }
};

// int32 id, uint8 interior.
struct CEntityInterior {
    static constexpr uint32_t ID = PACKET_ENTITY_INTERIOR;
    int32_t m_Id = -1;
    uint8_t m_Interior = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteInt32(m_Id) && writer.WriteUInt8(m_Interior); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadInt32(m_Id) && reader.ReadUInt8(m_Interior); }
};

// int32 id, vec3 position: moves a player's own game character.
struct CPlayerPosition {
    static constexpr uint32_t ID = PACKET_PLAYER_POSITION;
    int32_t m_Id = -1;
    Tessera3D::CVector3D m_Position;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// int32 id.
struct CVehicleFix {
    static constexpr uint32_t ID = PACKET_VEHICLE_FIX;
    int32_t m_Id = -1;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteInt32(m_Id); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadInt32(m_Id); }
};

// int32 id, uint8 RGB mode, then 4 x uint32 ARGB colours (RGB mode) or 4 x uint8 palette colours.
struct CVehicleColoursMessage {
    static constexpr uint32_t ID = PACKET_VEHICLE_COLOURS;
    int32_t m_Id = -1;
    bool m_bRGB = false;
    std::array<uint32_t, 4> m_Colours{}; // palette indices when not RGB

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// int32 id, uint8 lock status.
struct CVehicleLock {
    static constexpr uint32_t ID = PACKET_VEHICLE_LOCK;
    int32_t m_Id = -1;
    uint8_t m_Status = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteInt32(m_Id) && writer.WriteUInt8(m_Status); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadInt32(m_Id) && reader.ReadUInt8(m_Status); }
};

// int32 id, uint8 engine on (both directions).
struct CVehicleEngine {
    static constexpr uint32_t ID = PACKET_VEHICLE_ENGINE;
    int32_t m_Id = -1;
    uint8_t m_On = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteInt32(m_Id) && writer.WriteUInt8(m_On); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadInt32(m_Id) && reader.ReadUInt8(m_On); }
};

// int32 id, int32 weapon, int32 ammunition, uint8 current.
struct CPedGiveWeapon {
    static constexpr uint32_t ID = PACKET_PED_GIVE_WEAPON;
    int32_t m_Id = -1;
    int32_t m_Weapon = 0;
    int32_t m_Ammunition = 0;
    uint8_t m_Current = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// int32 ped id, int32 vehicle id or -1, uint8 seat, uint8 state.
struct CPedVehicleState {
    static constexpr uint32_t ID = PACKET_PED_VEHICLE_STATE;
    int32_t m_Ped = -1;
    int32_t m_Vehicle = -1;
    uint8_t m_Seat = 0;
    uint8_t m_State = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};
