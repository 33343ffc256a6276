#pragma once
#include "Engine/Stream.h"

namespace Tessera3D {

// A growable write buffer: small contents stay inline, larger ones move to the heap, doubling.
class CUnlimitedStream : public Stream {
public:
    static constexpr size_t INLINE_CAPACITY = 4096;

    CUnlimitedStream() = default;
    ~CUnlimitedStream() override;

    size_t Read(void* pBuffer, size_t size) override;
    size_t Write(const void* pBuffer, size_t size) override;
    bool Seek(int64_t offset, int origin) override;
    int64_t Tell() override { return static_cast<int64_t>(m_Position); }
    int64_t GetLength() override { return static_cast<int64_t>(m_Length); }

    const uint8_t* GetData() const { return m_pBuffer; }
    size_t GetSize() const { return m_Length; }
    size_t GetCapacity() const { return m_Capacity; }
    bool IsInline() const { return m_pBuffer == m_Inline; }

private:
    bool Reserve(size_t needed);

    uint8_t m_Inline[INLINE_CAPACITY];
    uint8_t* m_pBuffer = m_Inline;
    size_t m_Capacity = INLINE_CAPACITY;
    size_t m_Length = 0;
    size_t m_Position = 0;
};

} // namespace Tessera3D
