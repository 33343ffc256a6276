#include "Engine/Logger.h"

#include <cstdio>

namespace Tessera3D {

void Logger::Log(int type, const char* text) { LogMessage(type, "%s", text); }

void Logger::LogFormatted(int type, const char* format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    Log(type, text);
}

} // namespace Tessera3D
