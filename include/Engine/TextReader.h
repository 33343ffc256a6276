#pragma once
// Reads a whole text stream into memory once (detecting its byte-order mark) and serves it as bytes,
// code points or lines.
#include "Engine/References.h"
#include "Engine/Stream.h"

#include <string>

namespace Tessera3D {

enum eTextEncoding { TEXT_ENCODING_UTF8, TEXT_ENCODING_UTF16LE, TEXT_ENCODING_UTF16BE, TEXT_ENCODING_UTF32BE };

class CTextReader {
public:
    explicit CTextReader(Stream* pStream) : m_pStream(pStream) {}

    size_t Read(void* pBuffer, size_t size);
    // Decodes one UTF-8 sequence; fails at the end or on a broken sequence (the bad byte is consumed).
    bool ReadCharacter(uint32_t& codePoint);
    // The next line without its line feed (and a carriage return just before it). Fails when nothing
    // is left or the line does not fit into size - 1 characters.
    bool ReadLine(char* pBuffer, size_t size, size_t* pLength = nullptr);

    eTextEncoding GetEncoding() { Load(); return m_Encoding; }
    const std::string& GetText() { Load(); return m_Text; }

private:
    void Load();

    Strong<Stream> m_pStream;
    bool m_bLoaded = false;
    eTextEncoding m_Encoding = TEXT_ENCODING_UTF8;
    std::string m_Text;
    size_t m_Position = 0;
};

} // namespace Tessera3D
