#include "Engine/TextReader.h"

#include <cstring>

namespace Tessera3D {

void CTextReader::Load() {
    if (m_bLoaded) return;
    m_bLoaded = true;

    const int64_t start = m_pStream->Tell();
    uint8_t mark[4] = {};
    const size_t got = m_pStream->Read(mark, sizeof(mark));
    size_t skip = 0;
    if (got >= 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF) {
        skip = 3;
    } else if (got >= 4 && mark[0] == 0 && mark[1] == 0 && mark[2] == 0xFE && mark[3] == 0xFF) {
        m_Encoding = TEXT_ENCODING_UTF32BE;
        skip = 4;
    } else if (got >= 2 && mark[0] == 0xFF && mark[1] == 0xFE) {
        m_Encoding = TEXT_ENCODING_UTF16LE;
        skip = 2;
    } else if (got >= 2 && mark[0] == 0xFE && mark[1] == 0xFF) {
        m_Encoding = TEXT_ENCODING_UTF16BE;
        skip = 2;
    }
    m_pStream->Seek(start + static_cast<int64_t>(skip), SEEK_ORIGIN_BEGIN);

    // Big-endian UTF-16 and UTF-32 texts are recognised but not loaded.
    if (m_Encoding == TEXT_ENCODING_UTF16BE || m_Encoding == TEXT_ENCODING_UTF32BE) return;

    std::string raw;
    char chunk[4096];
    for (size_t count; (count = m_pStream->Read(chunk, sizeof(chunk))) > 0;) raw.append(chunk, count);

    if (m_Encoding == TEXT_ENCODING_UTF16LE) {
        // Each 16-bit unit keeps only its low byte.
        m_Text.reserve(raw.size() / 2);
        for (size_t i = 0; i + 1 < raw.size(); i += 2) m_Text.push_back(raw[i]);
    } else {
        m_Text = std::move(raw);
    }
}

size_t CTextReader::Read(void* pBuffer, size_t size) {
    Load();
    if (m_Position >= m_Text.size()) return 0;
    const size_t count = std::min(size, m_Text.size() - m_Position);
    memcpy(pBuffer, m_Text.data() + m_Position, count);
    m_Position += count;
    return count;
}

bool CTextReader::ReadCharacter(uint32_t& codePoint) {
    Load();
    if (m_Position >= m_Text.size()) return false;
    const uint8_t lead = static_cast<uint8_t>(m_Text[m_Position++]);
    int following;
    if (lead < 0x80) {
        codePoint = lead;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        following = 1;
        codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        following = 2;
        codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        following = 3;
        codePoint = lead & 0x07;
    } else {
        // A byte that cannot start a sequence is reported as a replacement character.
        codePoint = 0xFFFD;
        return true;
    }
    for (int i = 0; i < following; ++i) {
        if (m_Position >= m_Text.size()) return false;
        const uint8_t next = static_cast<uint8_t>(m_Text[m_Position++]);
        if ((next & 0xC0) != 0x80) return false;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    return true;
}

bool CTextReader::ReadLine(char* pBuffer, size_t size, size_t* pLength) {
    Load();
    if (m_Position >= m_Text.size() || size == 0) return false;
    const size_t end = m_Text.find('\n', m_Position);
    const size_t lineEnd = end == std::string::npos ? m_Text.size() : end;
    size_t length = lineEnd - m_Position;
    if (end != std::string::npos && length > 0 && m_Text[lineEnd - 1] == '\r') --length;
    if (length > size - 1) return false;
    memcpy(pBuffer, m_Text.data() + m_Position, length);
    pBuffer[length] = '\0';
    if (pLength) *pLength = length;
    m_Position = end == std::string::npos ? m_Text.size() : end + 1;
    return true;
}

} // namespace Tessera3D
