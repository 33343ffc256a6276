#include "QueryProtocol.h"

#include "Engine/BinaryWriter.h"
#include "Engine/UnlimitedStream.h"

#include <string>

using namespace Tessera3D;

namespace {

const uint8_t kMagic[4] = {'O', 'G', 'P', 0};

enum : uint8_t { SECTION_SERVER = 1, SECTION_PLAYERS = 2, SECTION_EMPTY = 4, SECTION_RULES = 8 };
enum : uint8_t {
    SERVER_PRODUCT = 1, SERVER_FLAGS = 2, SERVER_NAME = 4, SERVER_MODE = 8, SERVER_MAP = 16,
    SERVER_PLAYERS = 32, SERVER_MAX_PLAYERS = 64,
};
enum : uint8_t { PLAYER_INDEX = 1, PLAYER_NAME = 2, PLAYER_EXTRA = 64 };

// Reads the request's bytes in order; any read past the end marks the request as cut short.
class CRequestReader {
public:
    CRequestReader(const uint8_t* pData, size_t size) : m_pData(pData), m_Size(size) {}
    uint8_t Next() {
        if (m_Position >= m_Size) {
            m_bShort = true;
            return 0;
        }
        return m_pData[m_Position++];
    }
    bool IsShort() const { return m_bShort; }

private:
    const uint8_t* m_pData;
    size_t m_Size;
    size_t m_Position = 0;
    bool m_bShort = false;
};

// Length byte (counting the terminator), at most 254 characters, then a 0.
void WriteQueryString(CBinaryWriter& writer, const std::string& text) {
    const size_t length = text.size() < 254 ? text.size() : 254;
    writer.WriteUInt8(static_cast<uint8_t>(length + 1));
    writer.WriteBytes(text.data(), length);
    writer.WriteUInt8(0);
}

} // namespace

bool IsQueryDatagram(const uint8_t* pData, size_t size) { return size >= 2 && pData[0] == 0xFF && pData[1] == 0xFF; }

bool WriteQueryAnswer(const uint8_t* pData, size_t size, const CQuerySnapshot& snapshot, CUnlimitedStream& answer) {
    if (!IsQueryDatagram(pData, size)) return false;
    CRequestReader request(pData + 2, size - 2);
    for (uint8_t expected : kMagic)
        if (request.Next() != expected) return false;
    if (request.Next() != 1 || request.IsShort()) return false;
    const uint8_t type = request.Next();
    uint8_t sections = 0, serverMask = 0, playerMask = 0;
    if (type == 1) {
        sections = request.Next() & 0x0F;
        if (sections & SECTION_SERVER) serverMask = request.Next() & 0x7F;
        if (sections & SECTION_EMPTY) request.Next();
        if (sections & SECTION_PLAYERS) {
            playerMask = request.Next();
            if (playerMask & PLAYER_EXTRA) request.Next();
            playerMask &= PLAYER_INDEX | PLAYER_NAME;
        }
    }
    if (request.IsShort()) return false;

    CBinaryWriter writer(&answer);
    writer.WriteUInt16(0xFFFF);
    writer.WriteBytes(kMagic, sizeof(kMagic));
    writer.WriteUInt8(1);
    writer.WriteUInt8(type == 1 ? 129 : 128);
    if (type != 1) return true;

    writer.WriteUInt8(snapshot.m_Game);
    writer.WriteUInt8(sections);
    if (sections & SECTION_SERVER) {
        writer.WriteUInt8(serverMask);
        if (serverMask & SERVER_PRODUCT) WriteQueryString(writer, snapshot.m_ProductName);
        if (serverMask & SERVER_FLAGS) writer.WriteUInt8(snapshot.m_bPassword ? 5 : 4);
        if (serverMask & SERVER_NAME) WriteQueryString(writer, snapshot.m_ServerName);
        if (serverMask & SERVER_MODE) WriteQueryString(writer, snapshot.m_GameMode);
        if (serverMask & SERVER_MAP) WriteQueryString(writer, snapshot.m_MapName);
        if (serverMask & SERVER_PLAYERS) writer.WriteUInt8(snapshot.m_Players);
        if (serverMask & SERVER_MAX_PLAYERS) writer.WriteUInt8(snapshot.m_MaxPlayers);
    }
    if (sections & SECTION_EMPTY) writer.WriteUInt8(0);
    if (sections & SECTION_PLAYERS) {
        const size_t count = snapshot.m_PlayerEntries.size() < 255 ? snapshot.m_PlayerEntries.size() : 255;
        writer.WriteUInt8(static_cast<uint8_t>(count));
        if (count > 0) {
            writer.WriteUInt8(playerMask);
            for (size_t i = 0; i < count; ++i) {
                if (playerMask & PLAYER_INDEX) writer.WriteUInt8(snapshot.m_PlayerEntries[i].first);
                if (playerMask & PLAYER_NAME) WriteQueryString(writer, snapshot.m_PlayerEntries[i].second);
            }
        }
    }
    if (sections & SECTION_RULES) {
        const size_t count = snapshot.m_Rules.size() < 255 ? snapshot.m_Rules.size() : 255;
        writer.WriteUInt8(static_cast<uint8_t>(count));
        for (size_t i = 0; i < count; ++i) {
            WriteQueryString(writer, snapshot.m_Rules[i].first);
            WriteQueryString(writer, snapshot.m_Rules[i].second);
        }
    }
    return true;
}
