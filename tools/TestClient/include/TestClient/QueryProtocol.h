#pragma once
// The server query protocol that browsers speak on the game port: the information request a client
// sends and the answer it gets, both as raw datagrams (no message header).
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

enum eQuerySection : uint8_t {
    QUERY_SECTION_SERVER = 1,
    QUERY_SECTION_PLAYERS = 2,
    QUERY_SECTION_EMPTY = 4,
    QUERY_SECTION_RULES = 8,
};

// FF FF, "OGP" and a 0 byte, version, request type; for type 1 the sections byte, then the server field
// mask (section bit 0), an unused byte (section bit 2), the player field mask (section bit 1) and an
// unused byte when bit 6 of the player field mask is set.
struct CQueryRequest {
    uint8_t m_Version = 1;
    uint8_t m_Type = 1;
    uint8_t m_Sections = QUERY_SECTION_SERVER | QUERY_SECTION_PLAYERS | QUERY_SECTION_EMPTY | QUERY_SECTION_RULES;
    uint8_t m_ServerFields = 0x7F; // product, flags, server name, game mode, map, player count, player limit
    uint8_t m_PlayerFields = 0x03; // index, name

    std::vector<uint8_t> Build() const;
};

struct CQueryAnswer {
    uint8_t m_Version = 0;
    uint8_t m_Type = 0; // 129 answers a server information request, 128 anything else
    uint8_t m_Game = 0;
    uint8_t m_Sections = 0;
    uint8_t m_ServerFields = 0;
    std::string m_ProductName;
    uint8_t m_ServerFlags = 0; // 4, plus 1 with a password
    std::string m_ServerName;
    std::string m_GameMode;
    std::string m_MapName;
    uint8_t m_PlayerCount = 0;
    uint8_t m_PlayerLimit = 0;
    uint8_t m_PlayerFields = 0;
    std::vector<std::pair<uint8_t, std::string>> m_Players; // index (when asked for), name
    std::vector<std::pair<std::string, std::string>> m_Rules;
    size_t m_Size = 0;     // bytes of the datagram
    size_t m_Consumed = 0; // bytes the fields took

    // False when the datagram is not an answer or ends early. Strings are uint8 L + 1, L bytes, 0.
    bool Parse(const uint8_t* pData, size_t size);
    bool Parse(const std::vector<uint8_t>& datagram) { return Parse(datagram.data(), datagram.size()); }
    // One line: "QUERY type=129 game=1 sections=15 product=\"Corvid\" ...".
    std::string Describe() const;
};
