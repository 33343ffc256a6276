#pragma once
#include "Engine/References.h"
#include "Engine/Stream.h"

namespace Tessera3D {

// A fixed block of memory; it never grows and never writes partially.
class CMemoryStream : public Stream {
public:
    enum : uint32_t { ACCESS_READ = 1, ACCESS_WRITE = 2 };

    // pOwner, when given, is kept alive as long as the stream (the block usually belongs to it).
    CMemoryStream(void* pData, size_t length, uint32_t access, CRefCounted* pOwner = nullptr);
    CMemoryStream(const void* pData, size_t length, CRefCounted* pOwner = nullptr)
        : CMemoryStream(const_cast<void*>(pData), length, ACCESS_READ, pOwner) {}
    ~CMemoryStream() override;

    size_t Read(void* pBuffer, size_t size) override;
    size_t Write(const void* pBuffer, size_t size) override;
    bool Seek(int64_t offset, int origin) override;
    int64_t Tell() override { return m_Position; }
    int64_t GetLength() override { return static_cast<int64_t>(m_Length); }

    uint8_t* GetData() const { return m_pData; }

private:
    uint8_t* m_pData;
    size_t m_Length;
    int64_t m_Position = 0;
    uint32_t m_Access;
    CRefCounted* m_pOwner;
};

} // namespace Tessera3D
