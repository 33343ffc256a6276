#include "Engine/Lexer.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Tessera3D {

static const char* const g_rgTokenNames[] = {
    "identifier", "string", "integer", "float", "base", "delete", "TK_EQ", "TK_NE", "TK_LE", "TK_GE", "TK_SWITCH",
    "TK_ARROW", "TK_AND", "TK_OR", "TK_IF", "TK_ELSE", "TK_WHILE", "TK_BREAK", "TK_FOR", "TK_DO", "TK_NULL",
    "TK_FOREACH", "TK_IN", "TK_NEWSLOT", "TK_MODULO", "let", "TK_CLONE", "TK_FUNCTION", "TK_RETURN", "TK_TYPEOF",
    "TK_UMINUS", "TK_PLUSEQ", "TK_MINUSEQ", "TK_CONTINUE", "yield", "TK_TRY", "TK_CATCH", "TK_THROW", "TK_SHIFTL",
    "TK_SHIFTR", "TK_RESUME", "TK_DOUBLE_COLON", "TK_CASE", "TK_DEFAULT", "TK_THIS", "TK_PLUSPLUS", "TK_MINUSMINUS",
    "TK_3WAYSCMP", "TK_USHIFTR", "TK_CLASS", "TK_EXTENDS", "", "TK_CONSTRUCTOR", "TK_INSTANCEOF", "TK_VARPARAMS",
    "TK___LINE__", "TK___FILE__", "TK_TRUE", "TK_FALSE", "TK_MULEQ", "TK_DIVEQ", "TK_MODEQ", "TK_ATTR_OPEN",
    "TK_ATTR_CLOSE", "TK_STATIC", "TK_ENUM", "TK_CONST", "TK_RAWCALL", "end",
};

static_assert(sizeof(g_rgTokenNames) / sizeof(g_rgTokenNames[0]) == TK_END - TK_IDENTIFIER + 1,
              "one name per named token");

const char* GetTokenName(int token) {
    if (token < TK_IDENTIFIER || token > TK_END) return nullptr;
    return g_rgTokenNames[token - TK_IDENTIFIER];
}

struct tKeyword {
    const char* m_Name;
    int m_Token;
};

static const tKeyword g_rgKeywords[] = {
    {"null", TK_NULL},           {"foreach", TK_FOREACH},   {"base", TK_BASE},           {"switch", TK_SWITCH},
    {"if", TK_IF},               {"else", TK_ELSE},         {"for", TK_FOR},             {"do", TK_DO},
    {"yield", TK_YIELD},         {"try", TK_TRY},           {"while", TK_WHILE},         {"break", TK_BREAK},
    {"catch", TK_CATCH},         {"throw", TK_THROW},       {"delete", TK_DELETE},       {"in", TK_IN},
    {"let", TK_LOCAL},           {"clone", TK_CLONE},       {"function", TK_FUNCTION},   {"return", TK_RETURN},
    {"typeof", TK_TYPEOF},       {"continue", TK_CONTINUE}, {"resume", TK_RESUME},       {"case", TK_CASE},
    {"default", TK_DEFAULT},     {"constructor", TK_CONSTRUCTOR}, {"instanceof", TK_INSTANCEOF},
    {"true", TK_TRUE},           {"false", TK_FALSE},       {"__LINE__", TK___LINE__},   {"__FILE__", TK___FILE__},
    {"class", TK_CLASS},         {"extends", TK_EXTENDS},   {"static", TK_STATIC},       {"enum", TK_ENUM},
    {"this", TK_THIS},           {"const", TK_CONST},       {"rawcall", TK_RAWCALL},     {"end", TK_END},
};

static_assert(sizeof(g_rgKeywords) / sizeof(g_rgKeywords[0]) == 39, "39 keywords");

static bool IsHexDigit(int c) { return c >= 0 && isxdigit(c); }
static int HexValue(int c) { return isdigit(c) ? c - '0' : tolower(c) - 'a' + 10; }
static bool IsIdentifierStart(int c) { return c == '_' || (c >= 0 && c < 128 && isalpha(c)); }
static bool IsIdentifierPart(int c) { return c == '_' || (c >= 0 && c < 128 && isalnum(c)); }

int CLexer::Error(const char* format, ...) {
    char text[MAX_ERROR_LENGTH];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    if (!m_bError) {
        m_bError = true;
        m_Error = text;
    }
    m_Position = m_Text.size();
    return 0;
}

void CLexer::Next() {
    if (m_Position < m_Text.size()) ++m_Position;
}

int CLexer::Lex() {
    if (m_bError) return 0;
    for (;;) {
        const int c = Current();
        switch (c) {
        case -1:
            return 0;
        case ' ':
        case '\t':
        case '\r':
            Next();
            continue;
        case '\n':
            ++m_Line;
            Next();
            continue;
        case '#':
            SkipLineComment();
            continue;
        case '/':
            if (Peek() == '*') {
                if (!SkipBlockComment()) return 0;
                continue;
            }
            if (Peek() == '/') {
                SkipLineComment();
                continue;
            }
            Next();
            if (Current() == '=') { Next(); return TK_DIVEQ; }
            if (Current() == '>') { Next(); return TK_ATTR_CLOSE; }
            return '/';
        case '=':
            Next();
            if (Current() == '=') { Next(); return TK_EQ; }
            return '=';
        case '<':
            Next();
            if (Current() == '=') {
                Next();
                if (Current() == '>') { Next(); return TK_3WAYSCMP; }
                return TK_LE;
            }
            if (Current() == '-') { Next(); return TK_NEWSLOT; }
            if (Current() == '<') { Next(); return TK_SHIFTL; }
            if (Current() == '/') { Next(); return TK_ATTR_OPEN; }
            return '<';
        case '>':
            Next();
            if (Current() == '=') { Next(); return TK_GE; }
            if (Current() == '>') {
                Next();
                if (Current() == '>') { Next(); return TK_USHIFTR; }
                return TK_SHIFTR;
            }
            return '>';
        case '!':
            Next();
            if (Current() == '=') { Next(); return TK_NE; }
            return '!';
        case '@':
            Next();
            if (Current() == '"') return ReadString('"', true);
            return '@';
        case '"':
        case '\'':
            return ReadString(c, false);
        case '.':
            Next();
            if (Current() != '.') return '.';
            Next();
            if (Current() != '.') return Error("invalid token '..'");
            Next();
            return TK_VARPARAMS;
        case '&':
            Next();
            if (Current() == '&') { Next(); return TK_AND; }
            return '&';
        case '|':
            Next();
            if (Current() == '|') { Next(); return TK_OR; }
            return '|';
        case ':':
            Next();
            if (Current() == ':') { Next(); return TK_DOUBLE_COLON; }
            return ':';
        case '*':
            Next();
            if (Current() == '=') { Next(); return TK_MULEQ; }
            return '*';
        case '%':
            Next();
            if (Current() == '=') { Next(); return TK_MODEQ; }
            return '%';
        case '-':
            Next();
            if (Current() == '=') { Next(); return TK_MINUSEQ; }
            if (Current() == '-') { Next(); return TK_MINUSMINUS; }
            return '-';
        case '+':
            Next();
            if (Current() == '=') { Next(); return TK_PLUSEQ; }
            if (Current() == '+') { Next(); return TK_PLUSPLUS; }
            return '+';
        default:
            if (c >= '0' && c <= '9') return ReadNumber();
            if (IsIdentifierStart(c)) return ReadIdentifier();
            if (c < 128 && iscntrl(c)) return Error("unexpected character(control)");
            Next();
            return c;
        }
    }
}

void CLexer::SkipLineComment() {
    while (Current() != -1 && Current() != '\n') Next();
}

bool CLexer::SkipBlockComment() {
    Next();
    Next();
    for (;;) {
        const int c = Current();
        if (c == -1) {
            Error("missing \"*/\" in comment");
            return false;
        }
        if (c == '*' && Peek() == '/') {
            Next();
            Next();
            return true;
        }
        if (c == '\n') ++m_Line;
        Next();
    }
}

int CLexer::ReadIdentifier() {
    const size_t start = m_Position;
    while (IsIdentifierPart(Current())) Next();
    m_String.assign(m_Text, start, m_Position - start);
    for (const tKeyword& keyword : g_rgKeywords) {
        if (m_String == keyword.m_Name) return keyword.m_Token;
    }
    return TK_IDENTIFIER;
}

int CLexer::ReadNumber() {
    const size_t start = m_Position;
    // Accumulated in 32 bits; overflow wraps.
    uint32_t value = 0;
    if (Current() == '0' && (Peek() == 'x' || Peek() == 'X')) {
        Next();
        Next();
        int digits = 0;
        while (IsHexDigit(Current())) {
            if (++digits > 8) return Error("too many digits for an Hex number");
            value = value * 16 + static_cast<uint32_t>(HexValue(Current()));
            Next();
        }
        m_Integer = static_cast<int32_t>(value);
        return TK_INTEGER;
    }
    if (Current() == '0' && Peek() >= '0' && Peek() <= '7') {
        Next();
        while (Current() >= '0' && Current() <= '9') {
            if (Current() > '7') return Error("invalid octal number");
            value = value * 8 + static_cast<uint32_t>(Current() - '0');
            Next();
        }
        m_Integer = static_cast<int32_t>(value);
        return TK_INTEGER;
    }
    bool bFloat = false;
    while (Current() >= '0' && Current() <= '9') {
        value = value * 10 + static_cast<uint32_t>(Current() - '0');
        Next();
    }
    if (Current() == '.') {
        bFloat = true;
        Next();
        while (Current() >= '0' && Current() <= '9') Next();
    }
    if (Current() == 'e' || Current() == 'E') {
        bFloat = true;
        Next();
        if (Current() == '+' || Current() == '-') Next();
        if (!(Current() >= '0' && Current() <= '9')) return Error("exponent expected");
        while (Current() >= '0' && Current() <= '9') Next();
    }
    if (bFloat) {
        const std::string text(m_Text, start, m_Position - start);
        m_Float = strtod(text.c_str(), nullptr);
        return TK_FLOAT;
    }
    m_Integer = static_cast<int32_t>(value);
    return TK_INTEGER;
}

void CLexer::AppendUTF8(uint32_t codePoint) {
    if (codePoint < 0x80) {
        m_String.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        m_String.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        m_String.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        m_String.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        m_String.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        m_String.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        m_String.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        m_String.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        m_String.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        m_String.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

// The escape after a backslash (the current character is the letter after it).
bool CLexer::ReadEscape() {
    const int c = Current();
    switch (c) {
    case 't': m_String.push_back('\t'); break;
    case 'a': m_String.push_back('\a'); break;
    case 'b': m_String.push_back('\b'); break;
    case 'n': m_String.push_back('\n'); break;
    case 'r': m_String.push_back('\r'); break;
    case 'v': m_String.push_back('\v'); break;
    case 'f': m_String.push_back('\f'); break;
    case '0': m_String.push_back('\0'); break;
    case '\\': m_String.push_back('\\'); break;
    case '"': m_String.push_back('"'); break;
    case '\'': m_String.push_back('\''); break;
    case 'x':
    case 'u':
    case 'U': {
        Next();
        const int maxDigits = c == 'x' ? 2 : c == 'u' ? 4 : 8;
        if (!IsHexDigit(Current())) {
            Error("hexadecimal number expected");
            return false;
        }
        uint32_t value = 0;
        for (int i = 0; i < maxDigits && IsHexDigit(Current()); ++i) {
            value = value * 16 + static_cast<uint32_t>(HexValue(Current()));
            Next();
        }
        if (c == 'x') {
            m_String.push_back(static_cast<char>(value));
        } else {
            // Only code points that UTF-8 can carry.
            if (value > 0x10FFFF) {
                Error("error parsing the string");
                return false;
            }
            AppendUTF8(value);
        }
        return true;
    }
    default:
        Error("unrecognised escaper char");
        return false;
    }
    Next();
    return true;
}

int CLexer::ReadString(int delimiter, bool bVerbatim) {
    Next();
    m_String.clear();
    for (;;) {
        int c = Current();
        if (c == -1) return Error("unfinished string");
        if (c == delimiter) {
            // A doubled delimiter in a verbatim string stands for itself.
            if (bVerbatim && Peek() == delimiter) {
                m_String.push_back(static_cast<char>(c));
                Next();
                Next();
                continue;
            }
            Next();
            break;
        }
        if (c == '\n') {
            if (!bVerbatim) return Error("newline in a constant");
            ++m_Line;
            m_String.push_back('\n');
            Next();
            continue;
        }
        if (c == '\\' && !bVerbatim) {
            Next();
            if (!ReadEscape()) return 0;
            continue;
        }
        m_String.push_back(static_cast<char>(c));
        Next();
    }
    if (delimiter == '\'') {
        if (m_String.empty()) return Error("empty constant");
        if (m_String.size() > 1) return Error("constant too long");
        m_Integer = static_cast<unsigned char>(m_String[0]);
        return TK_INTEGER;
    }
    return TK_STRING_LITERAL;
}

} // namespace Tessera3D
