#pragma once
#include "Engine/References.h"
#include "Engine/Stream.h"

#include <cstdarg>
#include <string_view>

namespace Tessera3D {

// Writes UTF-8 text; a write at position 0 of the stream is preceded by the byte-order mark.
class CTextWriter {
public:
    explicit CTextWriter(Stream* pStream) : m_pStream(pStream) {}

    bool Write(std::string_view text);
    bool Print(const char* pFormat, ...) __attribute__((format(printf, 2, 3)));
    bool PrintV(const char* pFormat, va_list args);

private:
    Strong<Stream> m_pStream;
};

} // namespace Tessera3D
