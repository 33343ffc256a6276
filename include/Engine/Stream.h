#pragma once
// A counted, seekable byte stream: files, memory blocks, growable buffers, messages and windows.
#include "Engine/BaseObject.h"

#include <cstddef>
#include <cstdint>
#include <ctime>

namespace Tessera3D {

enum eSeekOrigin : int { SEEK_ORIGIN_BEGIN = 0, SEEK_ORIGIN_CURRENT = 1, SEEK_ORIGIN_END = 2 };

class Stream : public CBaseObject {
public:
    // Copies up to size bytes; 0 at or past the end.
    virtual size_t Read(void* pBuffer, size_t size) = 0;
    virtual size_t Write(const void* pBuffer, size_t size) = 0;
    // Origins 0 (start), 1 (current) and 2 (end); any other origin fails.
    virtual bool Seek(int64_t offset, int origin) = 0;
    virtual int64_t Tell() = 0;
    virtual int64_t GetLength();
    virtual bool SetModifiedTime(time_t time) { return false; }
    virtual bool GetModifiedTime(time_t& time) { return false; }
};

// Resolves a seek request against a current position and a length; false for an unknown origin.
bool ResolveSeek(int64_t offset, int origin, int64_t position, int64_t length, int64_t& result);

} // namespace Tessera3D
