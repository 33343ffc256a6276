#include "Engine/Context.h"
#include "Engine/FileSystem.h"

#include <cstdio>
#include <cstring>

namespace Tessera3D {

GlobalRecord GGlobal;

namespace {

// Colour of each log type on the console (ANSI select-graphic-rendition).
const char* const kColours[] = {
    "\033[32;1m", // none: bright green
    "\033[32m",   // verbose
    "\033[32m",   // debug
    "\033[32m",   // info
    "\033[33;1m", // warn: bright yellow
    "\033[31;1m", // error: bright red
    "\033[37;41m", // critical: white on red
};

const char* ColourOf(int type) {
    return type >= 0 && type < static_cast<int>(sizeof(kColours) / sizeof(kColours[0])) ? kColours[type] : kColours[0];
}

} // namespace

Context::Context(const char* timeFormat) { m_FileLog.SetTimeFormat(timeFormat); }

Context::~Context() {
    m_FileLog.Close();
    m_pFileSystem.reset();
    if (GGlobal.m_pContext == this) GGlobal.m_pContext = nullptr;
}

void Context::LogMessageV(int type, const char* format, va_list args) {
    char text[4096];
    int length = vsnprintf(text, sizeof(text), format, args);
    if (length < 0) return;
    if (static_cast<size_t>(length) >= sizeof(text)) length = sizeof(text) - 1;
    if (length > 0 && text[length - 1] == '\n') text[--length] = '\0';

    m_FileLog.WriteToLog(type, text);

    // One write per line keeps lines from different threads whole.
    char line[4096 + 32];
    const int lineLength = snprintf(line, sizeof(line), "%s%s\033[0;0m\n", ColourOf(type), text);
    fwrite(line, 1, static_cast<size_t>(std::min<int>(lineLength, sizeof(line) - 1)), stdout);
    fflush(stdout);
}

void Context::SetFileSystem(std::unique_ptr<CFileSystem> pFileSystem) { m_pFileSystem = std::move(pFileSystem); }

bool Context::OpenLogFile(const char* folder) {
    if (!m_pFileSystem) return false;
    char path[64];
    snprintf(path, sizeof(path), "%s/ServerLog.log", folder);
    Strong<Stream> pStream = m_pFileSystem->Open(path, true);
    if (!pStream) pStream = m_pFileSystem->Create(path);
    if (!pStream || !pStream->Seek(0, SEEK_ORIGIN_END)) return false;
    m_FileLog.Open(pStream.Get());
    return true;
}

void Context::AddUserAgent(const char* text) {
    if (!m_UserAgent.empty()) m_UserAgent += ' ';
    m_UserAgent += text;
}

void LogMessageV(int type, const char* format, va_list args) {
    if (Context* pContext = GGlobal.m_pContext) {
        pContext->LogMessageV(type, format, args);
        return;
    }
    // Before the context exists (or after it is gone) lines still reach the console.
    vfprintf(stdout, format, args);
    fputc('\n', stdout);
    fflush(stdout);
}

void LogMessage(int type, const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogMessageV(type, format, args);
    va_end(args);
}

#define TESSERA_DEFINE_LOG(name, type)        \
    void name(const char* format, ...) {      \
        va_list args;                         \
        va_start(args, format);               \
        LogMessageV(type, format, args);      \
        va_end(args);                         \
    }
TESSERA_DEFINE_LOG(Log, LOGTYPE_INFO)
TESSERA_DEFINE_LOG(LogWarn, LOGTYPE_WARN)
TESSERA_DEFINE_LOG(LogError, LOGTYPE_ERROR)
#undef TESSERA_DEFINE_LOG

} // namespace Tessera3D
