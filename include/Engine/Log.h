#pragma once
// The process log. Every line goes through the one run context: coloured on standard output and,
// when a log file is open, time-stamped with a type prefix in the file.
#include <cstdarg>

namespace Tessera3D {

enum eLogType : int {
    LOGTYPE_NONE = 0,
    LOGTYPE_VERBOSE = 1,
    LOGTYPE_DEBUG = 2,
    LOGTYPE_INFO = 3,
    LOGTYPE_WARN = 4,
    LOGTYPE_ERROR = 5,
    LOGTYPE_CRITICAL = 6,
};

void LogMessage(int type, const char* format, ...) __attribute__((format(printf, 2, 3)));
void LogMessageV(int type, const char* format, va_list args);
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogWarn(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The process-wide last-error text (at most 1023 characters) that failing natives leave behind.
void SetError(const char* format, ...) __attribute__((format(printf, 1, 2)));
const char* GetLastError();

} // namespace Tessera3D
