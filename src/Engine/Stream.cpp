#include "Engine/Stream.h"

namespace Tessera3D {

int64_t Stream::GetLength() {
    const int64_t position = Tell();
    if (!Seek(0, SEEK_ORIGIN_END)) return -1;
    const int64_t length = Tell();
    Seek(position, SEEK_ORIGIN_BEGIN);
    return length;
}

bool ResolveSeek(int64_t offset, int origin, int64_t position, int64_t length, int64_t& result) {
    switch (origin) {
    case SEEK_ORIGIN_BEGIN: result = offset; return true;
    case SEEK_ORIGIN_CURRENT: result = position + offset; return true;
    case SEEK_ORIGIN_END: result = length + offset; return true;
    default: return false;
    }
}

} // namespace Tessera3D
