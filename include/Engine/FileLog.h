#pragma once
#include "Engine/References.h"
#include "Engine/Stream.h"

#include <string>

namespace Tessera3D {

// The log file: "<stamp> [TYPE]    text\r\n" lines appended to a stream; off without a stream.
class CFileLog {
public:
    static constexpr const char* DEFAULT_TIME_FORMAT = "%d/%m/%Y - %X";

    ~CFileLog();

    // Attaches the stream (positioned at its end by the caller) and writes the opening banner.
    void Open(Stream* pStream);
    // Writes the closing banner and releases the stream.
    void Close();
    bool IsOpen() const { return static_cast<bool>(m_pStream); }

    void SetTimeFormat(const char* format);
    const char* GetTimeFormat() const { return m_TimeFormat; }

    void WriteToLog(int type, const char* text);
    void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    char m_TimeFormat[64] = "%d/%m/%Y - %X";
    Strong<Stream> m_pStream;
};

} // namespace Tessera3D
