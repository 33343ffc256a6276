#include "Lexer.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace Squirrel {

namespace {

struct Keyword {
    const char* text;
    int token;
};

const Keyword kKeywords[] = {
    {"while", TK_WHILE},       {"do", TK_DO},
    {"if", TK_IF},             {"else", TK_ELSE},
    {"break", TK_BREAK},       {"continue", TK_CONTINUE},
    {"return", TK_RETURN},     {"null", TK_NULL},
    {"function", TK_FUNCTION}, {"local", TK_LOCAL},
    {"for", TK_FOR},           {"foreach", TK_FOREACH},
    {"in", TK_IN},             {"typeof", TK_TYPEOF},
    {"base", TK_BASE},         {"delete", TK_DELETE},
    {"try", TK_TRY},           {"catch", TK_CATCH},
    {"throw", TK_THROW},       {"clone", TK_CLONE},
    {"yield", TK_YIELD},       {"resume", TK_RESUME},
    {"switch", TK_SWITCH},     {"case", TK_CASE},
    {"default", TK_DEFAULT},   {"this", TK_THIS},
    {"class", TK_CLASS},       {"extends", TK_EXTENDS},
    {"constructor", TK_CONSTRUCTOR}, {"instanceof", TK_INSTANCEOF},
    {"true", TK_TRUE},         {"false", TK_FALSE},
    {"static", TK_STATIC},     {"enum", TK_ENUM},
    {"const", TK_CONST},       {"__LINE__", TK_LINE},
    {"__FILE__", TK_FILE},     {"rawcall", TK_RAWCALL},
};

bool isIdentStart(int c) { return c == '_' || (c >= 0 && c < 128 && std::isalpha(c)); }
bool isIdentChar(int c) { return c == '_' || (c >= 0 && c < 128 && std::isalnum(c)); }
bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isHex(int c) { return c >= 0 && c < 128 && std::isxdigit(c); }
int hexValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x110000) {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

}  // namespace

const char* Lexer::tokenName(int tok) {
    switch (tok) {
    case TK_IDENTIFIER: return "IDENTIFIER";
    case TK_STRING_LITERAL: return "STRING_LITERAL";
    case TK_INTEGER: return "INTEGER";
    case TK_FLOAT: return "FLOAT";
    case TK_EQ: return "==";
    case TK_NE: return "!=";
    case TK_LE: return "<=";
    case TK_GE: return ">=";
    case TK_AND: return "&&";
    case TK_OR: return "||";
    case TK_NEWSLOT: return "<-";
    case TK_PLUSEQ: return "+=";
    case TK_MINUSEQ: return "-=";
    case TK_MULEQ: return "*=";
    case TK_DIVEQ: return "/=";
    case TK_MODEQ: return "%=";
    case TK_SHIFTL: return "<<";
    case TK_SHIFTR: return ">>";
    case TK_USHIFTR: return ">>>";
    case TK_DOUBLE_COLON: return "::";
    case TK_PLUSPLUS: return "++";
    case TK_MINUSMINUS: return "--";
    case TK_3WAYSCMP: return "<=>";
    case TK_VARPARAMS: return "...";
    case TK_ATTR_OPEN: return "</";
    case TK_ATTR_CLOSE: return "/>";
    default: break;
    }
    for (const Keyword& k : kKeywords)
        if (k.token == tok) return k.text;
    return "";
}

bool Lexer::skipBlockComment() {
    // cur_ is the character after "/*"
    for (;;) {
        if (cur_ == -1) return fail("missing \"*/\" in comment");
        if (cur_ == '*') {
            next();
            if (cur_ == '/') {
                next();
                return true;
            }
            continue;
        }
        if (cur_ == '\n') newlineBefore = true;
        next();
    }
}

bool Lexer::lex() {
    newlineBefore = false;
    prevTokenLine = line;
    for (;;) {
        tokenLine = line;
        switch (cur_) {
        case -1:
            token = TK_EOF;
            return true;
        case '\n':
            newlineBefore = true;
            next();
            continue;
        case ' ':
        case '\t':
        case '\r':
        case '\f':
        case '\v':
            next();
            continue;
        case '#':
            while (cur_ != '\n' && cur_ != -1) next();
            continue;
        case '/':
            next();
            if (cur_ == '*') {
                next();
                if (!skipBlockComment()) return false;
                continue;
            }
            if (cur_ == '/') {
                while (cur_ != '\n' && cur_ != -1) next();
                continue;
            }
            if (cur_ == '=') {
                next();
                token = TK_DIVEQ;
            } else if (cur_ == '>') {
                next();
                token = TK_ATTR_CLOSE;
            } else {
                token = '/';
            }
            return true;
        case '=':
            next();
            if (cur_ == '=') {
                next();
                token = TK_EQ;
            } else {
                token = '=';
            }
            return true;
        case '<':
            next();
            if (cur_ == '=') {
                next();
                if (cur_ == '>') {
                    next();
                    token = TK_3WAYSCMP;
                } else {
                    token = TK_LE;
                }
            } else if (cur_ == '-') {
                next();
                token = TK_NEWSLOT;
            } else if (cur_ == '<') {
                next();
                token = TK_SHIFTL;
            } else if (cur_ == '/') {
                next();
                token = TK_ATTR_OPEN;
            } else {
                token = '<';
            }
            return true;
        case '>':
            next();
            if (cur_ == '=') {
                next();
                token = TK_GE;
            } else if (cur_ == '>') {
                next();
                if (cur_ == '>') {
                    next();
                    token = TK_USHIFTR;
                } else {
                    token = TK_SHIFTR;
                }
            } else {
                token = '>';
            }
            return true;
        case '!':
            next();
            if (cur_ == '=') {
                next();
                token = TK_NE;
            } else {
                token = '!';
            }
            return true;
        case '@':
            next();
            if (cur_ == '"') return readString('"', true);
            token = '@';
            return true;
        case '"':
        case '\'':
            return readString(cur_, false);
        case '{': case '}': case '(': case ')': case '[': case ']': case ';': case ',': case '?':
        case '^': case '~': {
            token = cur_;
            next();
            return true;
        }
        case '.':
            next();
            if (cur_ != '.') {
                token = '.';
                return true;
            }
            next();
            if (cur_ != '.') return fail("invalid token '..'");
            next();
            token = TK_VARPARAMS;
            return true;
        case '&':
            next();
            if (cur_ == '&') {
                next();
                token = TK_AND;
            } else {
                token = '&';
            }
            return true;
        case '|':
            next();
            if (cur_ == '|') {
                next();
                token = TK_OR;
            } else {
                token = '|';
            }
            return true;
        case ':':
            next();
            if (cur_ == ':') {
                next();
                token = TK_DOUBLE_COLON;
            } else {
                token = ':';
            }
            return true;
        case '*':
            next();
            if (cur_ == '=') {
                next();
                token = TK_MULEQ;
            } else {
                token = '*';
            }
            return true;
        case '%':
            next();
            if (cur_ == '=') {
                next();
                token = TK_MODEQ;
            } else {
                token = '%';
            }
            return true;
        case '-':
            next();
            if (cur_ == '=') {
                next();
                token = TK_MINUSEQ;
            } else if (cur_ == '-') {
                next();
                token = TK_MINUSMINUS;
            } else {
                token = '-';
            }
            return true;
        case '+':
            next();
            if (cur_ == '=') {
                next();
                token = TK_PLUSEQ;
            } else if (cur_ == '+') {
                next();
                token = TK_PLUSPLUS;
            } else {
                token = '+';
            }
            return true;
        default:
            if (isDigit(cur_)) return readNumber();
            if (isIdentStart(cur_)) return readIdentifier();
            if (cur_ >= 0 && cur_ < 32) return fail("unexpected character(control)");
            token = cur_;
            next();
            return true;
        }
    }
}

bool Lexer::readIdentifier() {
    str.clear();
    while (isIdentChar(cur_)) {
        str += char(cur_);
        next();
    }
    for (const Keyword& k : kKeywords) {
        if (str == k.text) {
            token = k.token;
            return true;
        }
    }
    token = TK_IDENTIFIER;
    return true;
}

bool Lexer::readNumber() {
    std::string text;
    int first = cur_;
    next();
    if (first == '0' && (cur_ == 'x' || cur_ == 'X')) {
        next();
        if (!isHex(cur_)) return fail("hexadecimal number expected");
        uint64_t v = 0;
        int digits = 0;
        while (isHex(cur_)) {
            v = (v << 4) | uint64_t(hexValue(cur_));
            if (++digits > 16) return fail("too many digits for an Hex number");
            next();
        }
        ival = Integer(v);
        token = TK_INTEGER;
        return true;
    }
    if (first == '0' && isDigit(cur_)) {
        uint64_t v = 0;
        while (cur_ >= '0' && cur_ <= '7') {
            v = v * 8 + uint64_t(cur_ - '0');
            next();
        }
        if (isDigit(cur_)) return fail("invalid octal number");
        ival = Integer(v);
        token = TK_INTEGER;
        return true;
    }
    text += char(first);
    bool isFloat = false;
    while (isDigit(cur_)) {
        text += char(cur_);
        next();
    }
    if (cur_ == '.') {
        isFloat = true;
        text += '.';
        next();
        while (isDigit(cur_)) {
            text += char(cur_);
            next();
        }
    }
    if (cur_ == 'e' || cur_ == 'E') {
        isFloat = true;
        text += 'e';
        next();
        if (cur_ == '+' || cur_ == '-') {
            text += char(cur_);
            next();
        }
        if (!isDigit(cur_)) return fail("exponent expected");
        while (isDigit(cur_)) {
            text += char(cur_);
            next();
        }
    }
    if (isFloat) {
        fval = Float(std::strtod(text.c_str(), nullptr));
        token = TK_FLOAT;
    } else {
        uint64_t v = 0;
        for (char c : text) v = v * 10 + uint64_t(c - '0');
        ival = Integer(v);
        token = TK_INTEGER;
    }
    return true;
}

bool Lexer::readString(int delim, bool verbatim) {
    str.clear();
    next();  // opening quote
    for (;;) {
        if (cur_ == -1) return fail("unfinished string");
        if (cur_ == delim) {
            next();
            if (verbatim && cur_ == delim) {  // "" inside a verbatim string
                str += char(delim);
                next();
                continue;
            }
            break;
        }
        if (cur_ == '\n' && !verbatim) return fail("newline in a constant");
        if (cur_ == '\\' && !verbatim) {
            next();
            switch (cur_) {
            case 'x': {
                next();
                if (!isHex(cur_)) return fail("hexadecimal number expected");
                unsigned v = 0;
                for (int n = 0; n < 2 && isHex(cur_); ++n) {
                    v = v * 16 + unsigned(hexValue(cur_));
                    next();
                }
                str += char(v);
                continue;
            }
            case 'u':
            case 'U': {
                int maxDigits = cur_ == 'u' ? 4 : 8;
                next();
                if (!isHex(cur_)) return fail("hexadecimal number expected");
                uint32_t v = 0;
                for (int n = 0; n < maxDigits && isHex(cur_); ++n) {
                    v = v * 16 + uint32_t(hexValue(cur_));
                    next();
                }
                appendUtf8(str, v);
                continue;
            }
            case 't': str += '\t'; break;
            case 'a': str += '\a'; break;
            case 'b': str += '\b'; break;
            case 'n': str += '\n'; break;
            case 'r': str += '\r'; break;
            case 'v': str += '\v'; break;
            case 'f': str += '\f'; break;
            case '0': str += '\0'; break;
            case '\\': str += '\\'; break;
            case '"': str += '"'; break;
            case '\'': str += '\''; break;
            default: return fail("unrecognised escape char");
            }
            next();
            continue;
        }
        str += char(cur_);
        next();
    }
    if (delim == '\'') {
        if (str.empty()) return fail("empty constant");
        if (str.size() > 1) return fail("constant too long");
        token = TK_INTEGER;
        ival = Integer((signed char)str[0]);
        return true;
    }
    token = TK_STRING_LITERAL;
    return true;
}

}  // namespace Squirrel
