#pragma once
// Expected and crafted message bytes for tests, built field by field.
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Little-endian fields appended one by one; each call reads as one annotated line of a table.
class CBytes {
public:
    CBytes& u8(uint8_t v) { return raw(&v, 1); }
    CBytes& i8(int8_t v) { return raw(&v, 1); }
    CBytes& u16(uint16_t v) { return raw(&v, 2); }
    CBytes& i16(int16_t v) { return raw(&v, 2); }
    CBytes& u32(uint32_t v) { return raw(&v, 4); }
    CBytes& i32(int32_t v) { return raw(&v, 4); }
    CBytes& i64(int64_t v) { return raw(&v, 8); }
    CBytes& f32(float v) { return raw(&v, 4); }
    CBytes& vec(float x, float y, float z) { return f32(x).f32(y).f32(z); }
    CBytes& zeros(size_t n) {
        m_Bytes.insert(m_Bytes.end(), n, 0);
        return *this;
    }
    CBytes& bytes(const Bytes& b) {
        m_Bytes.insert(m_Bytes.end(), b.begin(), b.end());
        return *this;
    }
    // A string of up to 127 bytes: one length byte, then the text.
    CBytes& str(const std::string& s) {
        u8(static_cast<uint8_t>(s.size()));
        return raw(s.data(), s.size());
    }
    // The matrix, row by row.
    CBytes& matrix(const float (&m)[16]) {
        for (float v : m) f32(v);
        return *this;
    }
    // The base part of every creation record for an element without syncer, parent, name or data.
    CBytes& baseRecord(int32_t syncer = -1, int32_t dimension = 0) { return i32(syncer).i32(-1).i32(dimension).str("").u16(0); }
    operator Bytes() const { return m_Bytes; }
    const Bytes& get() const { return m_Bytes; }

private:
    CBytes& raw(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        m_Bytes.insert(m_Bytes.end(), b, b + n);
        return *this;
    }
    Bytes m_Bytes;
};
