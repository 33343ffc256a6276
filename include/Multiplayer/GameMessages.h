#pragma once
// Messages of the game layer.
#include "Multiplayer/Message.h"

#include <array>
#include <string>
#include <vector>

// Server to client: uint32 number of files, then each file's game path as a string.
struct CGameFileCheckRequest {
    static constexpr uint32_t ID = PACKET_GAME_FILE_CHECK;
    std::vector<std::string> m_Paths;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// Client to server: uint32 count, then per file the MD5 digest as four little-endian uint32 words.
struct CGameFileCheckAnswer {
    static constexpr uint32_t ID = PACKET_GAME_FILE_CHECK;
    // A client answers for the files it was asked about; more than this is refused unread.
    static constexpr uint32_t MAX_FILES = 4096;
    uint32_t m_Count = 0;
    std::vector<std::array<uint32_t, 4>> m_Digests;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    // Reads the count and as many digests as the count names (up to MAX_FILES).
    bool Read(Tessera3D::CBinaryReader& reader);
};
