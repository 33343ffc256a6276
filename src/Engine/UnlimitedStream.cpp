#include "Engine/UnlimitedStream.h"

#include <cstdlib>
#include <cstring>

namespace Tessera3D {

CUnlimitedStream::~CUnlimitedStream() {
    if (!IsInline()) free(m_pBuffer);
}

bool CUnlimitedStream::Reserve(size_t needed) {
    if (needed <= m_Capacity) return true;
    size_t capacity = m_Capacity ? m_Capacity : 1;
    while (capacity < needed) {
        if (capacity > SIZE_MAX / 2) return false;
        capacity *= 2;
    }
    if (IsInline()) {
        auto* pHeap = static_cast<uint8_t*>(malloc(capacity));
        if (!pHeap) return false;
        memcpy(pHeap, m_Inline, m_Length);
        m_pBuffer = pHeap;
    } else {
        auto* pHeap = static_cast<uint8_t*>(realloc(m_pBuffer, capacity));
        if (!pHeap) return false;
        m_pBuffer = pHeap;
    }
    m_Capacity = capacity;
    return true;
}

size_t CUnlimitedStream::Write(const void* pBuffer, size_t size) {
    if (size > SIZE_MAX - m_Position || !Reserve(m_Position + size)) return 0;
    // A seek past the end leaves a gap; zero it so its bytes are never uninitialised memory.
    if (m_Position > m_Length) memset(m_pBuffer + m_Length, 0, m_Position - m_Length);
    if (size) memcpy(m_pBuffer + m_Position, pBuffer, size);
    m_Position += size;
    if (m_Length < m_Position) m_Length = m_Position;
    return size;
}

size_t CUnlimitedStream::Read(void* pBuffer, size_t size) {
    if (m_Position >= m_Length) return 0;
    const size_t available = m_Length - m_Position;
    const size_t count = size < available ? size : available;
    if (count == 0) return 0;
    memcpy(pBuffer, m_pBuffer + m_Position, count);
    m_Position += count;
    return count;
}

bool CUnlimitedStream::Seek(int64_t offset, int origin) {
    int64_t position;
    if (!ResolveSeek(offset, origin, static_cast<int64_t>(m_Position), static_cast<int64_t>(m_Length), position) ||
        position < 0)
        return false;
    const size_t target = static_cast<size_t>(position);
    if (target > m_Length) {
        // The length grows with the seek; the buffer must cover it before the gap can be read.
        if (!Reserve(target)) return false;
        memset(m_pBuffer + m_Length, 0, target - m_Length);
        m_Length = target;
    }
    m_Position = target;
    return true;
}

} // namespace Tessera3D
