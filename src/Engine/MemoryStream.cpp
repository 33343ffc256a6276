#include "Engine/MemoryStream.h"

#include <cstring>

namespace Tessera3D {

CMemoryStream::CMemoryStream(void* pData, size_t length, uint32_t access, CRefCounted* pOwner)
    : m_pData(static_cast<uint8_t*>(pData)), m_Length(length), m_Access(access), m_pOwner(pOwner) {
    if (m_pOwner) m_pOwner->AddRef();
}

CMemoryStream::~CMemoryStream() {
    if (m_pOwner) m_pOwner->Release();
}

size_t CMemoryStream::Read(void* pBuffer, size_t size) {
    if (!(m_Access & ACCESS_READ) || m_Position < 0 || static_cast<uint64_t>(m_Position) >= m_Length) return 0;
    const size_t available = m_Length - static_cast<size_t>(m_Position);
    const size_t count = size < available ? size : available;
    if (count == 0) return 0;
    memcpy(pBuffer, m_pData + m_Position, count);
    m_Position += static_cast<int64_t>(count);
    return count;
}

size_t CMemoryStream::Write(const void* pBuffer, size_t size) {
    if (!(m_Access & ACCESS_WRITE) || m_Position < 0 || static_cast<uint64_t>(m_Position) > m_Length ||
        size > m_Length - static_cast<size_t>(m_Position))
        return 0;
    if (size == 0) return 0;
    memcpy(m_pData + m_Position, pBuffer, size);
    m_Position += static_cast<int64_t>(size);
    return size;
}

bool CMemoryStream::Seek(int64_t offset, int origin) {
    return ResolveSeek(offset, origin, m_Position, static_cast<int64_t>(m_Length), m_Position);
}

} // namespace Tessera3D
