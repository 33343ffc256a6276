#pragma once
// The small parser that turns `enum` declarations of a header into constants of a CDefineHandlers.
#include "Engine/Lexer.h"

#include <memory>
#include <string>
#include <unordered_map>

namespace Tessera3D {

class CDefineHandlers;
class Stream;

class CSourceCodeParser {
public:
    CSourceCodeParser() = default;

    // The names a valid underlying type may use; size 0 marks modifiers ("signed", "unsigned").
    void RegisterType(const char* name, int size);
    // The 22 standard names (char/short/int/long, the <cstdint> and SDL spellings, the modifiers).
    void RegisterStandardTypes();

    // Parses the stream's text (encoding detected, then loaded) as a sequence of enum declarations and
    // defines every enumerator through pDefines. The first error is logged as "%s(%d): %s" and ends the
    // parse with false.
    bool Assemble(Stream* pStream, const char* fileName, CDefineHandlers* pDefines);
    // The same over text already in memory.
    bool AssembleText(std::string text, const char* fileName, CDefineHandlers* pDefines);

    // The message of the last failed run, without file and line.
    const std::string& GetErrorText() const { return m_ErrorText; }
    int GetErrorLine() const { return m_ErrorLine; }

private:
    bool Parse(CDefineHandlers* pDefines);
    bool ParseEnumerators(CDefineHandlers* pDefines);
    // Reads the underlying type that follows ":"; the token after it is left in m_Token.
    bool ScanType(int token);
    bool Lex();
    bool Expect(int token, int expected);
    bool Unexpected(int token);
    bool Fail(const char* format, ...) __attribute__((format(printf, 2, 3)));

    std::unordered_map<std::string, int> m_Types;
    std::unordered_map<std::string, int32_t> m_Enumerators;
    std::unique_ptr<CLexer> m_pLexer;
    int m_Token = 0;
    std::string m_ErrorText;
    int m_ErrorLine = 0;
};

} // namespace Tessera3D
