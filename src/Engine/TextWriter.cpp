#include "Engine/TextWriter.h"

#include <cstdio>

namespace Tessera3D {

bool CTextWriter::Write(std::string_view text) {
    static const uint8_t kMark[3] = {0xEF, 0xBB, 0xBF};
    if (m_pStream->Tell() == 0 && m_pStream->Write(kMark, sizeof(kMark)) != sizeof(kMark)) return false;
    return text.empty() || m_pStream->Write(text.data(), text.size()) == text.size();
}

bool CTextWriter::PrintV(const char* pFormat, va_list args) {
    char buffer[4096];
    int length = vsnprintf(buffer, sizeof(buffer), pFormat, args);
    if (length < 0) return false;
    if (static_cast<size_t>(length) >= sizeof(buffer)) length = sizeof(buffer) - 1;
    return Write(std::string_view(buffer, static_cast<size_t>(length)));
}

bool CTextWriter::Print(const char* pFormat, ...) {
    va_list args;
    va_start(args, pFormat);
    const bool result = PrintV(pFormat, args);
    va_end(args);
    return result;
}

} // namespace Tessera3D
