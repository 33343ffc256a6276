#pragma once
#include "Engine/References.h"
#include "Engine/Stream.h"

namespace Tessera3D {

// A window [offset, offset + length) of another stream.
class CStreamRangeStream : public Stream {
public:
    CStreamRangeStream(Stream* pBase, int64_t offset, int64_t length)
        : m_pBase(pBase), m_Offset(offset), m_Length(length) {}

    size_t Read(void* pBuffer, size_t size) override;
    size_t Write(const void* pBuffer, size_t size) override;
    bool Seek(int64_t offset, int origin) override;
    int64_t Tell() override { return m_Position; }
    int64_t GetLength() override { return m_Length; }

private:
    Strong<Stream> m_pBase;
    int64_t m_Offset;
    int64_t m_Length;
    int64_t m_Position = 0;
};

} // namespace Tessera3D
