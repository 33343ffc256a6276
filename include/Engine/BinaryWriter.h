#pragma once
// Writes the binary encoding read by CBinaryReader.
#include "Engine/References.h"
#include "Engine/Stream.h"

#include <string_view>

namespace Tessera3D {

class CBinaryWriter {
public:
    explicit CBinaryWriter(Stream* pStream) : m_pStream(pStream) {}

    bool WriteBytes(const void* pBuffer, size_t size);
    bool WriteUInt8(uint8_t value) { return WriteRaw(value); }
    bool WriteInt8(int8_t value) { return WriteRaw(value); }
    bool WriteUInt16(uint16_t value) { return WriteRaw(value); }
    bool WriteInt16(int16_t value) { return WriteRaw(value); }
    bool WriteUInt32(uint32_t value) { return WriteRaw(value); }
    bool WriteInt32(int32_t value) { return WriteRaw(value); }
    bool WriteUInt64(uint64_t value) { return WriteRaw(value); }
    bool WriteInt64(int64_t value) { return WriteRaw(value); }
    bool WriteFloat(float value) { return WriteRaw(value); }
    bool WriteDouble(double value) { return WriteRaw(value); }
    bool WriteBoolean(bool value) { return WriteUInt8(value ? 1 : 0); }
    bool WriteCompressedUInt32(uint32_t value);
    // Compressed length and bytes; an absent string is written as an empty one.
    bool WriteString(const char* pText, size_t length);
    bool WriteString(std::string_view text) { return WriteString(text.data(), text.size()); }
    bool WriteString16(std::string_view text);

    static size_t GetCompressedUInt32Size(uint32_t value);
    static size_t GetStringSize(size_t length) { return length + GetCompressedUInt32Size(static_cast<uint32_t>(length)); }

    bool HasError() const { return m_bError; }
    Stream* GetStream() const { return m_pStream.Get(); }

private:
    template <typename T>
    bool WriteRaw(T value) { return WriteBytes(&value, sizeof(T)); }

    Strong<Stream> m_pStream;
    bool m_bError = false;
};

} // namespace Tessera3D
