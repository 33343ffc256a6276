#pragma once
// Reads the binary encoding: little-endian integers, IEEE floats, one-byte booleans, compressed
// 32-bit integers and length-prefixed strings. Every failed read also sets a sticky error flag, so a
// message can be decoded whole and checked once.
#include "Engine/References.h"
#include "Engine/Stream.h"

#include <string>

namespace Tessera3D {

class CBinaryReader {
public:
    explicit CBinaryReader(Stream* pStream) : m_pStream(pStream) {}

    bool ReadBytes(void* pBuffer, size_t size);
    bool ReadUInt8(uint8_t& value) { return ReadRaw(value); }
    bool ReadInt8(int8_t& value) { return ReadRaw(value); }
    bool ReadUInt16(uint16_t& value) { return ReadRaw(value); }
    bool ReadInt16(int16_t& value) { return ReadRaw(value); }
    bool ReadUInt32(uint32_t& value) { return ReadRaw(value); }
    bool ReadInt32(int32_t& value) { return ReadRaw(value); }
    bool ReadUInt64(uint64_t& value) { return ReadRaw(value); }
    bool ReadInt64(int64_t& value) { return ReadRaw(value); }
    bool ReadFloat(float& value) { return ReadRaw(value); }
    bool ReadDouble(double& value) { return ReadRaw(value); }
    bool ReadBoolean(bool& value);
    bool ReadCompressedUInt32(uint32_t& value);
    // A compressed length, then that many bytes. maxLength lets a caller refuse hostile lengths before
    // anything is read; long strings are read piecewise so a lying length cannot reserve memory.
    bool ReadString(std::string& value, uint32_t maxLength = UINT32_MAX);
    // A 16-bit length, then that many bytes.
    bool ReadString16(std::string& value);

    bool HasError() const { return m_bError; }
    Stream* GetStream() const { return m_pStream.Get(); }

private:
    template <typename T>
    bool ReadRaw(T& value) { return ReadBytes(&value, sizeof(T)); }
    bool ReadStringBody(std::string& value, size_t length);

    Strong<Stream> m_pStream;
    bool m_bError = false;
};

} // namespace Tessera3D
