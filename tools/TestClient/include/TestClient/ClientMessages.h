#pragma once
// Messages of the client side that the shared catalogue has no struct for yet: key events; and the
// digests of the game-file check. Same shape as the
// catalogue: a reader and a writer per message, next to each other in ClientMessages.cpp.
#include "Multiplayer/ElementMessages.h"
#include "Multiplayer/GameMessages.h"
#include "Multiplayer/Message.h"

#include <array>
#include <string>
#include <vector>

// A file's MD5 digest as the game-file check answer carries it: the 16 bytes read as four
// little-endian words.
using CFileDigest = std::array<uint32_t, 4>;

CFileDigest MakeFileDigest(const uint8_t md5[16]);
// The digest of a file's whole contents.
CFileDigest ComputeFileDigest(const void* pData, size_t size);

// Client to server: uint8 down (bit 0), uint32 scan code, uint32 key code, uint16 modifier state,
// uint32 repeat count.
struct CKeyEventMessage {
    static constexpr uint32_t ID = PACKET_KEY_EVENT;
    uint8_t m_Down = 0; // written as it stands, so that stray bits can be sent too
    uint32_t m_ScanCode = 0;
    uint32_t m_KeyCode = 0;
    uint16_t m_Modifiers = 0;
    uint32_t m_RepeatCount = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
    bool IsDown() const { return (m_Down & 1) != 0; }
};
