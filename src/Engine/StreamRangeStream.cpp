#include "Engine/StreamRangeStream.h"

namespace Tessera3D {

size_t CStreamRangeStream::Read(void* pBuffer, size_t size) {
    if (m_Position < 0 || m_Position >= m_Length) return 0;
    const uint64_t available = static_cast<uint64_t>(m_Length - m_Position);
    const size_t count = size < available ? size : static_cast<size_t>(available);
    if (!m_pBase->Seek(m_Offset + m_Position, SEEK_ORIGIN_BEGIN)) return 0;
    const size_t read = m_pBase->Read(pBuffer, count);
    m_Position += static_cast<int64_t>(read);
    return read;
}

size_t CStreamRangeStream::Write(const void* pBuffer, size_t size) {
    if (m_Position < 0 || m_Position > m_Length || size > static_cast<uint64_t>(m_Length - m_Position)) return 0;
    if (!m_pBase->Seek(m_Offset + m_Position, SEEK_ORIGIN_BEGIN)) return 0;
    const size_t written = m_pBase->Write(pBuffer, size);
    m_Position += static_cast<int64_t>(written);
    return written;
}

bool CStreamRangeStream::Seek(int64_t offset, int origin) {
    return ResolveSeek(offset, origin, m_Position, m_Length, m_Position);
}

} // namespace Tessera3D
