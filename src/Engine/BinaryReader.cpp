#include "Engine/BinaryReader.h"

namespace Tessera3D {

bool CBinaryReader::ReadBytes(void* pBuffer, size_t size) {
    if (size == 0) return true;
    if (m_pStream->Read(pBuffer, size) == size) return true;
    m_bError = true;
    return false;
}

bool CBinaryReader::ReadBoolean(bool& value) {
    uint8_t byte;
    if (!ReadUInt8(byte)) return false;
    value = byte != 0;
    return true;
}

bool CBinaryReader::ReadCompressedUInt32(uint32_t& value) {
    uint32_t result = 0;
    for (int shift = 0; shift <= 28; shift += 7) {
        uint8_t byte;
        if (!ReadUInt8(byte)) return false;
        result |= static_cast<uint32_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80)) {
            value = result;
            return true;
        }
    }
    m_bError = true;
    return false;
}

bool CBinaryReader::ReadStringBody(std::string& value, size_t length) {
    value.clear();
    // Read in pieces: a length taken from untrusted bytes must not reserve memory the stream cannot fill.
    constexpr size_t kPiece = 65536;
    while (value.size() < length) {
        const size_t offset = value.size();
        const size_t piece = std::min(kPiece, length - offset);
        value.resize(offset + piece);
        if (!ReadBytes(&value[offset], piece)) {
            value.clear();
            return false;
        }
    }
    return true;
}

bool CBinaryReader::ReadString(std::string& value, uint32_t maxLength) {
    uint32_t length;
    if (!ReadCompressedUInt32(length)) return false;
    if (length > maxLength) {
        m_bError = true;
        return false;
    }
    return ReadStringBody(value, length);
}

bool CBinaryReader::ReadString16(std::string& value) {
    uint16_t length;
    return ReadUInt16(length) && ReadStringBody(value, length);
}

} // namespace Tessera3D
