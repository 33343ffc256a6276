#pragma once
// Tokens of C-style header text, following the token rules of the Squirrel language: the lexer of the
// header parser for script constants. The first error stops it: every later Lex() returns 0.
#include <cstdarg>
#include <cstdint>
#include <string>

namespace Tessera3D {

// Codes below 258 are single characters; from 258 on they are named (GetTokenName).
enum eToken : int {
    TK_IDENTIFIER = 258,
    TK_STRING_LITERAL,
    TK_INTEGER,
    TK_FLOAT,
    TK_BASE,
    TK_DELETE,
    TK_EQ,
    TK_NE,
    TK_LE,
    TK_GE,
    TK_SWITCH,
    TK_ARROW,
    TK_AND,
    TK_OR,
    TK_IF,
    TK_ELSE,
    TK_WHILE,
    TK_BREAK,
    TK_FOR,
    TK_DO,
    TK_NULL,
    TK_FOREACH,
    TK_IN,
    TK_NEWSLOT,
    TK_MODULO,
    TK_LOCAL,
    TK_CLONE,
    TK_FUNCTION,
    TK_RETURN,
    TK_TYPEOF,
    TK_UMINUS,
    TK_PLUSEQ,
    TK_MINUSEQ,
    TK_CONTINUE,
    TK_YIELD,
    TK_TRY,
    TK_CATCH,
    TK_THROW,
    TK_SHIFTL,
    TK_SHIFTR,
    TK_RESUME,
    TK_DOUBLE_COLON,
    TK_CASE,
    TK_DEFAULT,
    TK_THIS,
    TK_PLUSPLUS,
    TK_MINUSMINUS,
    TK_3WAYSCMP,
    TK_USHIFTR,
    TK_CLASS,
    TK_EXTENDS,
    TK_UNNAMED_309,
    TK_CONSTRUCTOR,
    TK_INSTANCEOF,
    TK_VARPARAMS,
    TK___LINE__,
    TK___FILE__,
    TK_TRUE,
    TK_FALSE,
    TK_MULEQ,
    TK_DIVEQ,
    TK_MODEQ,
    TK_ATTR_OPEN,
    TK_ATTR_CLOSE,
    TK_STATIC,
    TK_ENUM,
    TK_CONST,
    TK_RAWCALL,
    TK_END,
};

static_assert(TK_END == 326, "the token table ends at 326");

// The name of a named token ("identifier" ... "end"), "" for 309, null below 258 or above 326.
const char* GetTokenName(int token);

class CLexer {
public:
    // Errors are formatted into this many bytes.
    static constexpr size_t MAX_ERROR_LENGTH = 512;

    explicit CLexer(std::string text) : m_Text(std::move(text)) {}

    // The next token code; 0 at the end of the text and after an error.
    int Lex();
    // Formats the message and stops the lexer; always returns 0 (the token a failed Lex yields).
    int Error(const char* format, ...) __attribute__((format(printf, 2, 3)));

    bool HasError() const { return m_bError; }
    const char* GetErrorText() const { return m_Error.c_str(); }
    // The current line, from 1.
    int GetLine() const { return m_Line; }
    // The text of the last identifier or string.
    const std::string& GetString() const { return m_String; }
    int32_t GetInteger() const { return m_Integer; }
    double GetFloat() const { return m_Float; }

private:
    int Current() const { return m_Position < m_Text.size() ? static_cast<unsigned char>(m_Text[m_Position]) : -1; }
    int Peek(size_t ahead = 1) const {
        return m_Position + ahead < m_Text.size() ? static_cast<unsigned char>(m_Text[m_Position + ahead]) : -1;
    }
    void Next();

    bool SkipBlockComment();
    void SkipLineComment();
    int ReadIdentifier();
    int ReadNumber();
    int ReadString(int delimiter, bool bVerbatim);
    bool ReadEscape();
    void AppendUTF8(uint32_t codePoint);

    std::string m_Text;
    size_t m_Position = 0;
    int m_Line = 1;
    bool m_bError = false;
    std::string m_Error;
    std::string m_String;
    int32_t m_Integer = 0;
    double m_Float = 0.0;
};

} // namespace Tessera3D
