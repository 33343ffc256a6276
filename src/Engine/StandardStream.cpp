#include "Engine/StandardStream.h"

#include <sys/stat.h>

namespace Tessera3D {

CStandardStream::~CStandardStream() {
    if (m_pFile) fclose(m_pFile);
}

size_t CStandardStream::Read(void* pBuffer, size_t size) { return fread(pBuffer, 1, size, m_pFile); }

size_t CStandardStream::Write(const void* pBuffer, size_t size) {
    const size_t written = fwrite(pBuffer, 1, size, m_pFile);
    return written;
}

bool CStandardStream::Seek(int64_t offset, int origin) {
    static const int kOrigins[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < 0 || origin > 2) return false;
    return fseeko(m_pFile, static_cast<off_t>(offset), kOrigins[origin]) == 0;
}

int64_t CStandardStream::Tell() { return static_cast<int64_t>(ftello(m_pFile)); }

bool CStandardStream::GetModifiedTime(time_t& time) {
    struct stat status;
    if (fstat(fileno(m_pFile), &status) != 0) return false;
    time = status.st_mtime;
    return true;
}

} // namespace Tessera3D
