#include "Engine/FileLog.h"
#include "Engine/Context.h"
#include "Engine/TextWriter.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/utsname.h>

namespace Tessera3D {

namespace {

// Ten characters each, so the texts line up in the file.
const char* const kPrefixes[] = {"", "[VERBOSE] ", "[DEBUG]   ", "[INFO]    ", "[WARN]    ", "[ERROR]   ", "[CRITICAL]"};
const char* const kRule = "------------------------------------------------------------";

} // namespace

CFileLog::~CFileLog() { Close(); }

void CFileLog::SetTimeFormat(const char* format) {
    snprintf(m_TimeFormat, sizeof(m_TimeFormat), "%s", format ? format : "");
}

void CFileLog::Open(Stream* pStream) {
    m_pStream = pStream;
    if (!m_pStream) return;
    struct utsname name = {};
    uname(&name);
    Print("%s", kRule);
    Print("--------------------- Logging Started ----------------------");
    Print("%s", kRule);
    Print("Tessera %d.%d.%d", ENGINE_VERSION_MAJOR, ENGINE_VERSION_MINOR, ENGINE_VERSION_PATCH);
    Print("Platform: %s", "Linux");
    Print("%s %s", name.sysname, name.machine);
    Print("%s", kRule);
}

void CFileLog::Close() {
    if (!m_pStream) return;
    Print("%s", kRule);
    Print("---------------------- Logging Ended -----------------------");
    Print("%s", kRule);
    m_pStream = nullptr;
}

void CFileLog::WriteToLog(int type, const char* text) {
    Strong<Stream> pStream = m_pStream; // kept for the whole line
    if (!pStream) return;
    CTextWriter writer(pStream.Get());
    if (m_TimeFormat[0] != '\0') {
        char stamp[512];
        const time_t now = time(nullptr);
        struct tm local;
        localtime_r(&now, &local);
        const size_t length = strftime(stamp, sizeof(stamp), m_TimeFormat, &local);
        stamp[length] = '\0';
        writer.Print("<%s> ", stamp);
    }
    if (type > 0 && type < static_cast<int>(sizeof(kPrefixes) / sizeof(kPrefixes[0]))) writer.Write(kPrefixes[type]);
    writer.Print("%s\r\n", text);
}

void CFileLog::Print(const char* format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    WriteToLog(LOGTYPE_NONE, text);
}

} // namespace Tessera3D
