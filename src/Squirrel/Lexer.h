// Tokenizer for Squirrel source text.
#pragma once

#include "Squirrel/Squirrel.h"

#include <string>

namespace Squirrel {

enum Token : int {
    TK_EOF = 0,
    // single characters are their own code (< 256)
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
    TK_LOCAL,
    TK_CLONE,
    TK_FUNCTION,
    TK_RETURN,
    TK_TYPEOF,
    TK_PLUSEQ,
    TK_MINUSEQ,
    TK_MULEQ,
    TK_DIVEQ,
    TK_MODEQ,
    TK_CONTINUE,
    TK_YIELD,
    TK_TRY,
    TK_CATCH,
    TK_THROW,
    TK_SHIFTL,
    TK_SHIFTR,
    TK_USHIFTR,
    TK_RESUME,
    TK_DOUBLE_COLON,
    TK_CASE,
    TK_DEFAULT,
    TK_THIS,
    TK_PLUSPLUS,
    TK_MINUSMINUS,
    TK_3WAYSCMP,
    TK_CLASS,
    TK_EXTENDS,
    TK_CONSTRUCTOR,
    TK_INSTANCEOF,
    TK_VARPARAMS,
    TK_LINE,
    TK_FILE,
    TK_TRUE,
    TK_FALSE,
    TK_ATTR_OPEN,
    TK_ATTR_CLOSE,
    TK_STATIC,
    TK_ENUM,
    TK_CONST,
    TK_RAWCALL,
};

class Lexer {
public:
    Lexer(const char* src, size_t len) : end_(src + len), pos_(src) {
        column = 0;
        next();
    }

    // Reads the next token; returns false on a lexical error (see error()).
    bool lex();

    int token = TK_EOF;
    bool newlineBefore = false;  // a newline separates this token from the previous one
    std::string str;             // identifier or string literal text
    Integer ival = 0;
    Float fval = 0;
    Integer line = 1;            // line of the lookahead character
    Integer column = 1;          // column of the lookahead character
    Integer tokenLine = 1;       // line where the current token started
    Integer prevTokenLine = 1;   // line where the previous token ended

    const std::string& error() const { return error_; }
    static const char* tokenName(int tok);

private:
    void next() {
        if (pos_ < end_) {
            cur_ = (unsigned char)*pos_++;
        } else {
            cur_ = -1;  // end of input
            if (pos_ == end_) ++pos_;
        }
        if (lastWasNewline_) {
            ++line;
            column = 1;
            lastWasNewline_ = false;
        } else {
            ++column;
        }
        if (cur_ == '\n') lastWasNewline_ = true;
    }
    bool fail(const char* msg) {
        error_ = msg;
        return false;
    }
    bool readString(int delim, bool verbatim);
    bool readNumber();
    bool readIdentifier();
    bool skipBlockComment();

    const char* end_;
    const char* pos_;
    int cur_ = 0;
    bool lastWasNewline_ = false;
    std::string error_;
};

}  // namespace Squirrel
