#include "TestClient/QueryProtocol.h"

#include "TestClient/TextFormat.h"

namespace {

const uint8_t QUERY_PREFIX[] = {0xFF, 0xFF, 'O', 'G', 'P', 0};
constexpr uint8_t ANSWER_TYPE_BASE = 128;
constexpr uint8_t SERVER_INFORMATION = 1;

// Bounds-checked reading of the answer; every failure is sticky.
class CCursor {
public:
    CCursor(const uint8_t* pData, size_t size) : m_pData(pData), m_Size(size) {}

    bool Byte(uint8_t& value) {
        if (m_Position >= m_Size) return m_bOk = false;
        value = m_pData[m_Position++];
        return true;
    }
    bool Text(std::string& text) {
        uint8_t length = 0;
        if (!Byte(length) || length == 0 || length > m_Size - m_Position) return m_bOk = false;
        text.assign(reinterpret_cast<const char*>(m_pData + m_Position), length - 1);
        m_Position += length;
        // The length counts the terminator, which must be there.
        return m_pData[m_Position - 1] == 0 || (m_bOk = false);
    }
    bool Ok() const { return m_bOk; }
    size_t Position() const { return m_Position; }

private:
    const uint8_t* m_pData;
    size_t m_Size;
    size_t m_Position = 0;
    bool m_bOk = true;
};

} // namespace

std::vector<uint8_t> CQueryRequest::Build() const {
    std::vector<uint8_t> datagram(QUERY_PREFIX, QUERY_PREFIX + sizeof(QUERY_PREFIX));
    datagram.push_back(m_Version);
    datagram.push_back(m_Type);
    if (m_Type != SERVER_INFORMATION) return datagram;
    datagram.push_back(m_Sections);
    if (m_Sections & QUERY_SECTION_SERVER) datagram.push_back(m_ServerFields);
    if (m_Sections & QUERY_SECTION_EMPTY) datagram.push_back(0);
    if (m_Sections & QUERY_SECTION_PLAYERS) {
        datagram.push_back(m_PlayerFields);
        if (m_PlayerFields & 0x40) datagram.push_back(0);
    }
    return datagram;
}

bool CQueryAnswer::Parse(const uint8_t* pData, size_t size) {
    *this = CQueryAnswer();
    m_Size = size;
    CCursor cursor(pData, size);
    for (uint8_t expected : QUERY_PREFIX) {
        uint8_t byte = 0;
        if (!cursor.Byte(byte) || byte != expected) return false;
    }
    if (!cursor.Byte(m_Version) || !cursor.Byte(m_Type)) return false;
    if (m_Type == ANSWER_TYPE_BASE + SERVER_INFORMATION) {
        if (!cursor.Byte(m_Game) || !cursor.Byte(m_Sections)) return false;
        if (m_Sections & QUERY_SECTION_SERVER) {
            cursor.Byte(m_ServerFields);
            if (m_ServerFields & 0x01) cursor.Text(m_ProductName);
            if (m_ServerFields & 0x02) cursor.Byte(m_ServerFlags);
            if (m_ServerFields & 0x04) cursor.Text(m_ServerName);
            if (m_ServerFields & 0x08) cursor.Text(m_GameMode);
            if (m_ServerFields & 0x10) cursor.Text(m_MapName);
            if (m_ServerFields & 0x20) cursor.Byte(m_PlayerCount);
            if (m_ServerFields & 0x40) cursor.Byte(m_PlayerLimit);
        }
        if (m_Sections & QUERY_SECTION_EMPTY) {
            uint8_t unused = 0;
            cursor.Byte(unused);
        }
        if (m_Sections & QUERY_SECTION_PLAYERS) {
            uint8_t count = 0;
            if (cursor.Byte(count) && count > 0) cursor.Byte(m_PlayerFields);
            for (uint8_t i = 0; i < count && cursor.Ok(); ++i) {
                std::pair<uint8_t, std::string> player;
                if (m_PlayerFields & 0x01) cursor.Byte(player.first);
                if (m_PlayerFields & 0x02) cursor.Text(player.second);
                m_Players.push_back(std::move(player));
            }
        }
        if (m_Sections & QUERY_SECTION_RULES) {
            uint8_t count = 0;
            cursor.Byte(count);
            for (uint8_t i = 0; i < count && cursor.Ok(); ++i) {
                std::pair<std::string, std::string> rule;
                cursor.Text(rule.first);
                cursor.Text(rule.second);
                m_Rules.push_back(std::move(rule));
            }
        }
    }
    m_Consumed = cursor.Position();
    return cursor.Ok();
}

std::string CQueryAnswer::Describe() const {
    std::string text = "QUERY version=" + std::to_string(m_Version) + " type=" + std::to_string(m_Type);
    if (m_Type != ANSWER_TYPE_BASE + SERVER_INFORMATION) return text;
    text += " game=" + std::to_string(m_Game) + " sections=" + std::to_string(m_Sections);
    if (m_Sections & QUERY_SECTION_SERVER) {
        text += " fields=" + std::to_string(m_ServerFields);
        if (m_ServerFields & 0x01) text += " product=" + QuoteText(m_ProductName);
        if (m_ServerFields & 0x02) text += " flags=" + std::to_string(m_ServerFlags);
        if (m_ServerFields & 0x04) text += " name=" + QuoteText(m_ServerName);
        if (m_ServerFields & 0x08) text += " mode=" + QuoteText(m_GameMode);
        if (m_ServerFields & 0x10) text += " map=" + QuoteText(m_MapName);
        if (m_ServerFields & 0x20) text += " players=" + std::to_string(m_PlayerCount);
        if (m_ServerFields & 0x40) text += " maxplayers=" + std::to_string(m_PlayerLimit);
    }
    if (m_Sections & QUERY_SECTION_PLAYERS) {
        text += " playerlist=[";
        for (size_t i = 0; i < m_Players.size(); ++i) {
            if (i) text += ", ";
            if (m_PlayerFields & 0x01) text += std::to_string(m_Players[i].first);
            if ((m_PlayerFields & 0x03) == 0x03) text += " ";
            if (m_PlayerFields & 0x02) text += QuoteText(m_Players[i].second);
        }
        text += "]";
    }
    if (m_Sections & QUERY_SECTION_RULES) {
        text += " rules={";
        for (size_t i = 0; i < m_Rules.size(); ++i)
            text += (i ? ", " : "") + QuoteText(m_Rules[i].first) + ": " + QuoteText(m_Rules[i].second);
        text += "}";
    }
    if (m_Consumed < m_Size) text += " trailing=" + std::to_string(m_Size - m_Consumed);
    return text;
}
