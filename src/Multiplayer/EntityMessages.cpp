#include "Multiplayer/EntityMessages.h"

using namespace Tessera3D;

bool CPlayerPosition::Write(CBinaryWriter& writer) const {
    return writer.WriteInt32(m_Id) && writer.WriteFloat(m_Position.x) && writer.WriteFloat(m_Position.y) &&
           writer.WriteFloat(m_Position.z);
}

bool CPlayerPosition::Read(CBinaryReader& reader) {
    return reader.ReadInt32(m_Id) && reader.ReadFloat(m_Position.x) && reader.ReadFloat(m_Position.y) &&
           reader.ReadFloat(m_Position.z);
}

bool CVehicleColoursMessage::Write(CBinaryWriter& writer) const {
    if (!writer.WriteInt32(m_Id) || !writer.WriteUInt8(m_bRGB ? 1 : 0)) return false;
    for (uint32_t colour : m_Colours)
        if (!(m_bRGB ? writer.WriteUInt32(colour) : writer.WriteUInt8(static_cast<uint8_t>(colour)))) return false;
    return true;
}

bool CVehicleColoursMessage::Read(CBinaryReader& reader) {
    uint8_t rgb = 0;
    if (!reader.ReadInt32(m_Id) || !reader.ReadUInt8(rgb)) return false;
    m_bRGB = rgb != 0;
    for (uint32_t& colour : m_Colours) {
        if (m_bRGB) {
            if (!reader.ReadUInt32(colour)) return false;
        } else {
            uint8_t palette = 0;
            if (!reader.ReadUInt8(palette)) return false;
            colour = palette;
        }
    }
    return true;
}

bool CPedGiveWeapon::Write(CBinaryWriter& writer) const {
    return writer.WriteInt32(m_Id) && writer.WriteInt32(m_Weapon) && writer.WriteInt32(m_Ammunition) &&
           writer.WriteUInt8(m_Current);
}

bool CPedGiveWeapon::Read(CBinaryReader& reader) {
    return reader.ReadInt32(m_Id) && reader.ReadInt32(m_Weapon) && reader.ReadInt32(m_Ammunition) &&
           reader.ReadUInt8(m_Current);
}

bool CPedVehicleState::Write(CBinaryWriter& writer) const {
    return writer.WriteInt32(m_Ped) && writer.WriteInt32(m_Vehicle) && writer.WriteUInt8(m_Seat) && writer.WriteUInt8(m_State);
}

bool CPedVehicleState::Read(CBinaryReader& reader) {
    return reader.ReadInt32(m_Ped) && reader.ReadInt32(m_Vehicle) && reader.ReadUInt8(m_Seat) && reader.ReadUInt8(m_State);
}
