#include "VehicleDamage.h"

#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"

using namespace Tessera3D;

bool CVehicleDamage::Write(CBinaryWriter& writer) const {
    if (m_Form == 1) {
        uint32_t d = 1;
        for (size_t i = 0; i < m_First.size(); ++i) d |= uint32_t(m_First[i] & 3) << (2 + 2 * i);
        for (size_t i = 0; i < m_Flags.size(); ++i) d |= uint32_t(m_Flags[i] & 1) << (14 + i);
        for (size_t i = 0; i < m_Second.size(); ++i) d |= uint32_t(m_Second[i] & 3) << (18 + 2 * i);
        uint8_t e = 0;
        for (size_t i = 0; i < m_Last.size(); ++i) e |= uint8_t((m_Last[i] & 3) << (2 * i));
        return writer.WriteUInt32(d) && writer.WriteUInt8(e);
    }
    if (m_Form == 2) return writer.WriteUInt8(uint8_t(2 | (m_Last[0] & 3) << 2 | (m_Last[1] & 3) << 4));
    return writer.WriteUInt8(m_Form & 3);
}

bool CVehicleDamage::Read(CBinaryReader& reader) {
    uint8_t first = 0;
    if (!reader.ReadUInt8(first)) return false;
    m_Form = first & 3;
    if (m_Form == 1) {
        uint8_t rest[3];
        uint8_t e = 0;
        if (!reader.ReadBytes(rest, sizeof(rest)) || !reader.ReadUInt8(e)) return false;
        const uint32_t d = first | uint32_t(rest[0]) << 8 | uint32_t(rest[1]) << 16 | uint32_t(rest[2]) << 24;
        for (size_t i = 0; i < m_First.size(); ++i) m_First[i] = (d >> (2 + 2 * i)) & 3;
        for (size_t i = 0; i < m_Flags.size(); ++i) m_Flags[i] = (d >> (14 + i)) & 1;
        for (size_t i = 0; i < m_Second.size(); ++i) m_Second[i] = (d >> (18 + 2 * i)) & 3;
        for (size_t i = 0; i < m_Last.size(); ++i) m_Last[i] = (e >> (2 * i)) & 3;
    } else if (m_Form == 2) {
        m_Last[0] = (first >> 2) & 3;
        m_Last[1] = (first >> 4) & 3;
    }
    return true;
}
