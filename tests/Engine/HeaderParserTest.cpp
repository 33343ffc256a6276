// The header parser for script constants: tokens, every message, and the game headers we ship.
#include "Engine/DefineHandlers.h"
#include "Engine/FileSystem.h"
#include "Engine/Lexer.h"
#include "Engine/MemoryStream.h"
#include "Engine/SourceCodeParser.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace Tessera3D;

namespace {

typedef std::vector<std::pair<std::string, int32_t>> tDefines;

tDefines ToList(const CDefineHandlers& defines) {
    tDefines list;
    for (const auto& define : defines) list.emplace_back(define.m_Name, define.GetSigned());
    return list;
}

std::vector<int> Tokens(const char* text, CLexer* pLexer = nullptr) {
    CLexer lexer(text);
    std::vector<int> tokens;
    for (int token; (token = lexer.Lex()) != 0;) tokens.push_back(token);
    if (pLexer) *pLexer = lexer;
    return tokens;
}

} // namespace

TEST(HeaderLexer, OperatorsKeywordsAndLiterals) {
    EXPECT_EQ(Tokens("== != <= >= <=> <- << >> >>> && || :: ... += -= *= /= %= ++ -- </ />"),
              (std::vector<int>{TK_EQ, TK_NE, TK_LE, TK_GE, TK_3WAYSCMP, TK_NEWSLOT, TK_SHIFTL, TK_SHIFTR, TK_USHIFTR,
                                TK_AND, TK_OR, TK_DOUBLE_COLON, TK_VARPARAMS, TK_PLUSEQ, TK_MINUSEQ, TK_MULEQ, TK_DIVEQ,
                                TK_MODEQ, TK_PLUSPLUS, TK_MINUSMINUS, TK_ATTR_OPEN, TK_ATTR_CLOSE}));
    EXPECT_EQ(Tokens("= < > ! & | : * % - + / . { } ; , @ ? $"),
              (std::vector<int>{'=', '<', '>', '!', '&', '|', ':', '*', '%', '-', '+', '/', '.', '{', '}', ';', ',', '@',
                                '?', '$'}));
    EXPECT_EQ(Tokens("enum let yield end __LINE__ rawcall Enum _x1"),
              (std::vector<int>{TK_ENUM, TK_LOCAL, TK_YIELD, TK_END, TK___LINE__, TK_RAWCALL, TK_IDENTIFIER, TK_IDENTIFIER}));
    EXPECT_EQ(Tokens("# pragma once\n// a comment\n/* a\nblock */ 1"), (std::vector<int>{TK_INTEGER}));
    EXPECT_EQ(Tokens("1.5 2e3 7E-1 3"), (std::vector<int>{TK_FLOAT, TK_FLOAT, TK_FLOAT, TK_INTEGER}));

    EXPECT_STREQ(GetTokenName(TK_IDENTIFIER), "identifier");
    EXPECT_STREQ(GetTokenName(TK_STRING_LITERAL), "string");
    EXPECT_STREQ(GetTokenName(TK_LOCAL), "let");
    EXPECT_STREQ(GetTokenName(309), "");
    EXPECT_STREQ(GetTokenName(TK_END), "end");
    EXPECT_EQ(GetTokenName(257), nullptr);
    EXPECT_EQ(GetTokenName(327), nullptr);
}

TEST(HeaderLexer, NumberStringAndCharacterValues) {
    const struct {
        const char* m_Text;
        int32_t m_Value;
    } integers[] = {
        {"42", 42}, {"0x7f", 127}, {"0XFFFFFFFF", -1}, {"017", 15}, {"09", 9}, {"0", 0},
        {"4294967297", 1}, // 32 bits, wrapping
        {"'A'", 65}, {"'\\n'", 10}, {"'\\x41'", 0x41},
    };
    for (const auto& c : integers) {
        CLexer lexer(c.m_Text);
        EXPECT_EQ(lexer.Lex(), TK_INTEGER) << c.m_Text;
        EXPECT_EQ(lexer.GetInteger(), c.m_Value) << c.m_Text;
        EXPECT_EQ(lexer.Lex(), 0) << c.m_Text;
    }
    const struct {
        const char* m_Text;
        std::string m_Value;
    } strings[] = {
        {"\"a\\tb\"", "a\tb"},
        {"\"\\\\\\\"\\'\"", "\\\"'"},
        {"\"\\x4a\\x4Bz\"", "JKz"},
        {"\"\\u00e9\"", "\xC3\xA9"},
        {"\"\\U0001F600\"", "\xF0\x9F\x98\x80"},
        {"\"\\0x\"", std::string("\0x", 2)},
        {"@\"say \"\"hi\"\"\nnow\"", "say \"hi\"\nnow"},
    };
    for (const auto& c : strings) {
        CLexer lexer(c.m_Text);
        EXPECT_EQ(lexer.Lex(), TK_STRING_LITERAL) << c.m_Text;
        EXPECT_EQ(lexer.GetString(), c.m_Value) << c.m_Text;
    }
    CLexer verbatim("@\"a\nb\nc\" x");
    verbatim.Lex();
    verbatim.Lex();
    EXPECT_EQ(verbatim.GetLine(), 3);
    CLexer floating("2.5e2");
    EXPECT_EQ(floating.Lex(), TK_FLOAT);
    EXPECT_DOUBLE_EQ(floating.GetFloat(), 250.0);
}

TEST(HeaderParser, EnumsBecomeConstants) {
    const struct {
        const char* m_Name;
        const char* m_Text;
        tDefines m_Expected;
    } cases[] = {
        {"running values", "enum A { X, Y, Z, };", {{"X", 0}, {"Y", 1}, {"Z", 2}}},
        {"explicit values continue the count", "enum A : int { X = 5, Y, Z = 0x10, W, };",
         {{"X", 5}, {"Y", 6}, {"Z", 16}, {"W", 17}}},
        {"an earlier enumerator as value", "enum A : int { PEDTYPE_GANG3 = 9, };\nenum B { PEDTYPE_GANG_DIABLO = PEDTYPE_GANG3, NEXT, };",
         {{"PEDTYPE_GANG3", 9}, {"PEDTYPE_GANG_DIABLO", 9}, {"NEXT", 10}}},
        {"32-bit patterns are signed", "enum A : unsigned int { H = 0xFFFFFFFF, M = 0x879495E2, };",
         {{"H", -1}, {"M", static_cast<int32_t>(0x879495E2u)}}},
        {"last without comma is not defined", "enum A { X, Y };", {{"X", 0}}},
        {"last with value without comma is an error", "enum A { X = 1, Y = 2 };", {{"X", 1}, {"Y", 2}}},
        {"forward declaration and empty enum", "enum A;\nenum B : Uint8 {};\nenum C : signed char { X, };", {{"X", 0}}},
        {"comments and hash lines", "#pragma once\n#include <x>\n// enum No { A, };\n/* enum No { B, }; */\nenum Yes { C = 'c', };",
         {{"C", 99}}},
        {"octal and character values", "enum A { X = 010, Y = '\\t', };", {{"X", 8}, {"Y", 9}}},
        {"duplicates stay", "enum A { X = 1, };\nenum B { X = 2, };", {{"X", 1}, {"X", 2}}},
    };
    for (const auto& c : cases) {
        CDefineHandlers defines;
        CSourceCodeParser parser;
        parser.RegisterStandardTypes();
        parser.AssembleText(c.m_Text, "test.h", &defines);
        EXPECT_EQ(ToList(defines), c.m_Expected) << c.m_Name << ": " << parser.GetErrorText();
    }
}

TEST(HeaderParser, EveryMessageWithItsLine) {
    const struct {
        const char* m_Text;
        const char* m_Message;
        int m_Line;
    } cases[] = {
        // Parser messages.
        {"enum A { X = 1 };", "got '}' expected ','", 1},
        {"enum A {\n  end,\n};", "unexpected 'end'", 2},
        {"enum A { 5, };", "unexpected 'integer'", 1},
        {"struct A {};", "unexpected identifier 'struct'", 1},
        {"enum 5", "got 'integer' expected 'identifier'", 1},
        {"enum A = 1;", "got '=' expected '{'", 1},
        {"enum A { X, }", "got 'end of file' expected ';'", 1},
        {"enum A { X, };\nenum B : unsigned {\n};", "unexpected '{'", 2},
        {"enum A : float { X, };", "unexpected identifier 'float'", 1},
        {"enum A : long long { X, };", "got 'identifier' expected '{'", 1},
        {"enum A { X = UNKNOWN, };", "unexpected identifier 'UNKNOWN'", 1},
        {"enum A { X = 1.5, };", "unexpected 'float'", 1},
        {"enum A { X = -1, };", "unexpected '-'", 1},
        {"enum A { X Y };", "got 'identifier' expected ','", 1},
        {"enum A { X, 7 };", "unexpected 'integer'", 1},
        {"enum A { X, };\nenum A { Y, } let", "got 'let' expected ';'", 2},
        // Lexer messages.
        {"enum A { X = 0x123456789, };", "too many digits for an Hex number", 1},
        {"enum A { X = 018, };", "invalid octal number", 1},
        {"enum A { X = 1e, };", "exponent expected", 1},
        {"/* open\n\n", "missing \"*/\" in comment", 3},
        {"enum A { X = '', };", "empty constant", 1},
        {"enum A { X = 'ab', };", "constant too long", 1},
        {"\"abc", "unfinished string", 1},
        {"\"a\nb\"", "newline in a constant", 1},
        {"\"\\q\"", "unrecognised escaper char", 1},
        {"\"\\x\"", "hexadecimal number expected", 1},
        {"\"\\U110000\"", "error parsing the string", 1},
        {"enum A { X, };\n..", "invalid token '..'", 2},
        {"enum A {\n\x01", "unexpected character(control)", 2},
    };
    for (const auto& c : cases) {
        CDefineHandlers defines;
        CSourceCodeParser parser;
        parser.RegisterStandardTypes();
        EXPECT_FALSE(parser.AssembleText(c.m_Text, "test.h", &defines)) << c.m_Text;
        EXPECT_EQ(parser.GetErrorText(), c.m_Message) << c.m_Text;
        EXPECT_EQ(parser.GetErrorLine(), c.m_Line) << c.m_Text;
    }
}

TEST(HeaderParser, FirstErrorIsLoggedAndEarlierDefinitionsStay) {
    const char text[] = "enum A : int {\n    ONE = 1,\n    TWO = 2,\n};\n\nenum B { THREE = 3 };\nenum C { FOUR, };\n";
    CMemoryStream stream(text, sizeof(text) - 1);
    stream.AddRef();
    CDefineHandlers defines;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(defines.Process(&stream, "Broken.h"));
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_NE(output.find("Broken.h(6): got '}' expected ','"), std::string::npos) << output;
    EXPECT_EQ(ToList(defines), (tDefines{{"ONE", 1}, {"TWO", 2}, {"THREE", 3}}));
}

TEST(HeaderParser, ByteOrderMarkIsSkippedAndUtf16IsRead) {
    const char utf8[] = "\xEF\xBB\xBF" "enum A { X = 3, };";
    CMemoryStream utf8Stream(utf8, sizeof(utf8) - 1);
    utf8Stream.AddRef();
    CDefineHandlers defines;
    EXPECT_TRUE(defines.Process(&utf8Stream, "bom.h"));
    std::string utf16("\xFF\xFE", 2);
    for (char c : std::string("enum B { Y = 4, };")) utf16 += std::string{c, '\0'};
    CMemoryStream utf16Stream(utf16.data(), utf16.size());
    utf16Stream.AddRef();
    EXPECT_TRUE(defines.Process(&utf16Stream, "wide.h"));
    EXPECT_EQ(ToList(defines), (tDefines{{"X", 3}, {"Y", 4}}));
}

TEST(HeaderParser, ShippedGameHeaders) {
    CMountedPath data(EMBEDDED_DATA_DIR);
    const struct {
        const char* m_Path;
        const char* m_Name;
        size_t m_Count;
        std::vector<std::pair<const char*, int32_t>> m_Known;
    } headers[] = {
        {"/DADIdudivare/GTAIIIEnums.h", "GTAIIIEnums.h", 1160,
         {{"PED_PLAYER", 0}, {"PEDTYPE_GANG_DIABLO", 9}, {"BLIPCOLOUR_GREEN", 1}}},
        {"/DADIdudivare/GTAVCEnums.h", "GTAVCEnums.h", 1433, {{"OBJECTTYPE_MISSION", 2}}},
        {"/DADIdudivare/GTASAEnums.h", "GTASAEnums.h", 1964, {{"RADAR_SPRITE_CENTRE", 2}}},
        {"/DADIdudivare/GTAIVEnums.h", "GTAIVEnums.h", 3498,
         {{"MODEL_PLAYER", 0x6F0783F5}, {"MODEL_M_Y_MULTIPLAYER", static_cast<int32_t>(0x879495E2u)}, {"PAD_RIGHT_STICK_X", 2}}},
    };
    for (const auto& header : headers) {
        Strong<Stream> pFile = data.Open(header.m_Path, false);
        ASSERT_TRUE(pFile) << header.m_Path;
        CDefineHandlers defines;
        EXPECT_TRUE(defines.Process(pFile.Get(), header.m_Name)) << header.m_Name;
        EXPECT_EQ(defines.GetCount(), header.m_Count) << header.m_Name;
        for (const auto& known : header.m_Known) {
            const CDefineHandlers::tDefine* pDefine = defines.Find(known.first);
            ASSERT_NE(pDefine, nullptr) << known.first;
            EXPECT_FALSE(pDefine->m_bUnsigned);
            EXPECT_EQ(pDefine->GetSigned(), known.second) << known.first;
        }
    }
}

TEST(DefineTable, SignedAndUnsignedEntriesKeepTheirOrder) {
    CDefineHandlers defines;
    defines.Define("A", -5);
    defines.Define("B", 0xFF000000u);
    defines.Define(nullptr, 1);
    defines.Define("A", 7);
    ASSERT_EQ(defines.GetCount(), 3u);
    EXPECT_FALSE(defines.Get(0).m_bUnsigned);
    EXPECT_EQ(defines.Get(0).GetSigned(), -5);
    EXPECT_TRUE(defines.Get(1).m_bUnsigned);
    EXPECT_EQ(defines.Get(1).GetUnsigned(), 0xFF000000u);
    EXPECT_EQ(defines.Find("A")->GetSigned(), 7);
    EXPECT_EQ(defines.Find("missing"), nullptr);
}
