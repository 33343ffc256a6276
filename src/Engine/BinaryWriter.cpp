#include "Engine/BinaryWriter.h"

namespace Tessera3D {

bool CBinaryWriter::WriteBytes(const void* pBuffer, size_t size) {
    if (size == 0 || m_pStream->Write(pBuffer, size) == size) return true;
    m_bError = true;
    return false;
}

bool CBinaryWriter::WriteCompressedUInt32(uint32_t value) {
    uint8_t bytes[5];
    size_t count = 0;
    while (value > 127) {
        bytes[count++] = static_cast<uint8_t>((value & 127) | 128);
        value >>= 7;
    }
    bytes[count++] = static_cast<uint8_t>(value);
    return WriteBytes(bytes, count);
}

bool CBinaryWriter::WriteString(const char* pText, size_t length) {
    if (!pText) length = 0;
    if (length > UINT32_MAX) {
        m_bError = true;
        return false;
    }
    return WriteCompressedUInt32(static_cast<uint32_t>(length)) && WriteBytes(pText, length);
}

bool CBinaryWriter::WriteString16(std::string_view text) {
    if (text.size() > UINT16_MAX) {
        m_bError = true;
        return false;
    }
    return WriteUInt16(static_cast<uint16_t>(text.size())) && WriteBytes(text.data(), text.size());
}

size_t CBinaryWriter::GetCompressedUInt32Size(uint32_t value) {
    size_t size = 1;
    while (value > 127) {
        value >>= 7;
        ++size;
    }
    return size;
}

} // namespace Tessera3D
