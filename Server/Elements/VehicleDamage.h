#pragma once
// A vehicle's damage as its syncer reports it: small values the server keeps without interpreting
// them, in one of three forms, written back in the form last read.
//
//   form 1: uint32 D (low two bits 1): six 2-bit values at bits 2..13, four 1-bit values at bits
//           14..17, seven 2-bit values at bits 18..31; then uint8 E: four 2-bit values.
//   form 2: one byte: the first two of E's values at bits 2..3 and 4..5.
//   form 0 or 3: one byte of which only the form is kept.
#include <array>
#include <cstdint>

namespace Tessera3D { class CBinaryReader; class CBinaryWriter; }

struct CVehicleDamage {
    uint8_t m_Form = 0;
    std::array<uint8_t, 6> m_First{};  // 2 bits each
    std::array<uint8_t, 4> m_Flags{};  // 1 bit each
    std::array<uint8_t, 7> m_Second{}; // 2 bits each
    std::array<uint8_t, 4> m_Last{};   // 2 bits each (E)

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    // Reads into this; on failure this may be partly changed (decode into a copy).
    bool Read(Tessera3D::CBinaryReader& reader);
};
