#pragma once
#include "Engine/Log.h"

namespace Tessera3D {

// Where command output goes: the local console by default; a remote console substitutes its own.
class Logger {
public:
    virtual ~Logger() = default;
    virtual void Log(int type, const char* text);
    void LogFormatted(int type, const char* format, ...) __attribute__((format(printf, 3, 4)));
};

} // namespace Tessera3D
