#include "Engine/SourceCodeParser.h"

#include "Engine/DefineHandlers.h"
#include "Engine/Log.h"
#include "Engine/TextReader.h"

#include <cstdio>

namespace Tessera3D {

void CSourceCodeParser::RegisterType(const char* name, int size) {
    if (name) m_Types[name] = size;
}

void CSourceCodeParser::RegisterStandardTypes() {
    static const struct {
        const char* m_Name;
        int m_Size;
    } s_rgTypes[] = {
        {"signed", 0},   {"unsigned", 0}, {"char", 1},     {"int8_t", 1},   {"uint8_t", 1},   {"Sint8", 1},
        {"Uint8", 1},    {"short", 2},    {"int16_t", 2},  {"uint16_t", 2}, {"Sint16", 2},    {"Uint16", 2},
        {"int", 4},      {"int32_t", 4},  {"uint32_t", 4}, {"Sint32", 4},   {"Uint32", 4},    {"long", 8},
        {"int64_t", 8},  {"uint64_t", 8}, {"Sint64", 8},   {"Uint64", 8},
    };
    for (const auto& type : s_rgTypes) RegisterType(type.m_Name, type.m_Size);
}

bool CSourceCodeParser::Assemble(Stream* pStream, const char* fileName, CDefineHandlers* pDefines) {
    if (!pStream) return false;
    CTextReader reader(pStream);
    return AssembleText(reader.GetText(), fileName, pDefines);
}

bool CSourceCodeParser::AssembleText(std::string text, const char* fileName, CDefineHandlers* pDefines) {
    m_pLexer = std::make_unique<CLexer>(std::move(text));
    m_Enumerators.clear();
    m_ErrorText.clear();
    m_ErrorLine = 0;
    m_Token = 0;
    const bool bResult = Parse(pDefines);
    if (!bResult) {
        if (m_pLexer->HasError() && m_ErrorText.empty()) {
            m_ErrorText = m_pLexer->GetErrorText();
            m_ErrorLine = m_pLexer->GetLine();
        }
        LogError("%s(%d): %s", fileName ? fileName : "", m_ErrorLine, m_ErrorText.c_str());
    }
    m_pLexer.reset();
    return bResult;
}

bool CSourceCodeParser::Lex() {
    m_Token = m_pLexer->Lex();
    return !m_pLexer->HasError();
}

bool CSourceCodeParser::Fail(const char* format, ...) {
    char text[CLexer::MAX_ERROR_LENGTH];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    m_ErrorText = text;
    m_ErrorLine = m_pLexer->GetLine();
    return false;
}

// A token as messages show it: its character, or its name from the token table.
static std::string DescribeToken(int token) {
    if (token == 0) return "end of file";
    if (const char* name = GetTokenName(token)) return name;
    return std::string(1, static_cast<char>(token));
}

bool CSourceCodeParser::Expect(int token, int expected) {
    if (token == expected) return true;
    const std::string wanted = expected >= TK_IDENTIFIER ? "identifier" : std::string(1, static_cast<char>(expected));
    return Fail("got '%s' expected '%s'", DescribeToken(token).c_str(), wanted.c_str());
}

bool CSourceCodeParser::Unexpected(int token) {
    if (token == TK_IDENTIFIER) return Fail("unexpected identifier '%s'", m_pLexer->GetString().c_str());
    return Fail("unexpected '%s'", DescribeToken(token).c_str());
}

bool CSourceCodeParser::ScanType(int token) {
    m_Token = token;
    for (;;) {
        if (m_Token != TK_IDENTIFIER) return Unexpected(m_Token);
        const auto it = m_Types.find(m_pLexer->GetString());
        if (it == m_Types.end()) return Unexpected(m_Token);
        if (!Lex()) return false;
        // Modifiers (size 0) go on; the first sized name ends the type.
        if (it->second != 0) return true;
    }
}

bool CSourceCodeParser::Parse(CDefineHandlers* pDefines) {
    for (;;) {
        if (!Lex()) return false;
        if (m_Token == 0) return true;
        if (m_Token != TK_ENUM) return Unexpected(m_Token);
        if (!Lex() || !Expect(m_Token, TK_IDENTIFIER)) return false;
        if (!Lex()) return false;
        if (m_Token == ';') continue; // a forward declaration
        if (m_Token == ':') {
            if (!Lex() || !ScanType(m_Token)) return false;
        }
        if (!Expect(m_Token, '{')) return false;
        if (!Lex()) return false;
        if (m_Token != '}' && !ParseEnumerators(pDefines)) return false;
        if (!Lex() || !Expect(m_Token, ';')) return false;
    }
}

// From the first enumerator (the current token) to the closing brace.
bool CSourceCodeParser::ParseEnumerators(CDefineHandlers* pDefines) {
    int32_t running = 0;
    for (;;) {
        if (m_Token != TK_IDENTIFIER) return Unexpected(m_Token);
        const std::string name = m_pLexer->GetString();
        if (!Lex()) return false;
        if (m_Token == '}') return true; // the last one without a comma is not defined
        if (m_Token == ',') {
            pDefines->Define(name.c_str(), running);
            m_Enumerators[name] = running;
            running = static_cast<int32_t>(static_cast<uint32_t>(running) + 1);
        } else if (m_Token == '=') {
            if (!Lex()) return false;
            int32_t value;
            if (m_Token == TK_INTEGER) {
                value = m_pLexer->GetInteger();
            } else if (m_Token == TK_IDENTIFIER) {
                const auto it = m_Enumerators.find(m_pLexer->GetString());
                if (it == m_Enumerators.end()) return Unexpected(m_Token);
                value = it->second;
            } else {
                return Unexpected(m_Token);
            }
            pDefines->Define(name.c_str(), value);
            m_Enumerators[name] = value;
            running = static_cast<int32_t>(static_cast<uint32_t>(value) + 1);
            if (!Lex() || !Expect(m_Token, ',')) return false;
        } else {
            return Expect(m_Token, ',');
        }
        if (!Lex()) return false;
        if (m_Token == '}') return true;
    }
}

} // namespace Tessera3D
