#pragma once
#include "Engine/Stream.h"

#include <cstdio>

namespace Tessera3D {

// A C file handle, owned: destruction closes it.
class CStandardStream : public Stream {
public:
    explicit CStandardStream(FILE* pFile) : m_pFile(pFile) {}
    ~CStandardStream() override;

    size_t Read(void* pBuffer, size_t size) override;
    size_t Write(const void* pBuffer, size_t size) override;
    bool Seek(int64_t offset, int origin) override;
    int64_t Tell() override;
    bool GetModifiedTime(time_t& time) override;

    FILE* GetFile() const { return m_pFile; }

private:
    FILE* m_pFile;
};

} // namespace Tessera3D
