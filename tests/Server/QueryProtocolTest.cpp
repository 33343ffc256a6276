#include "QueryProtocol.h"

#include "Engine/UnlimitedStream.h"

#include <gtest/gtest.h>

using namespace Tessera3D;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes Str(const std::string& text) { // a query string: length + 1, bytes, 0
    Bytes out{static_cast<uint8_t>(text.size() + 1)};
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
    return out;
}

const Bytes kHead = {0xFF, 0xFF, 'O', 'G', 'P', 0, 1};

std::optional<Bytes> Answer(const Bytes& request, const CQuerySnapshot& snapshot) {
    CUnlimitedStream answer;
    if (!WriteQueryAnswer(request.data(), request.size(), snapshot, answer)) return std::nullopt;
    return Bytes(answer.GetData(), answer.GetData() + answer.GetSize());
}

CQuerySnapshot Sample() {
    CQuerySnapshot s;
    s.m_Game = 3;
    s.m_bPassword = true;
    s.m_ServerName = "Srv";
    s.m_GameMode = "DM";
    s.m_Players = 2;
    s.m_MaxPlayers = 32;
    s.m_PlayerEntries = {{0, "Ann"}, {4, "Bob"}};
    s.m_Rules = {{"Version", "1.7.1"}};
    return s;
}

} // namespace

TEST(QueryProtocol, AnswerTable) {
    const CQuerySnapshot s = Sample();
    struct Case { const char* name; Bytes request; std::optional<Bytes> answer; } cases[] = {
        {"no sections", Cat({kHead, {1, 0}}), Cat({kHead, {129, 3, 0}})},
        {"other request type", Cat({kHead, {2}}), Cat({kHead, {128}})},
        {"every server field",
         Cat({kHead, {1, 0x01, 0xFF}}),
         Cat({kHead, {129, 3, 0x01, 0x7F}, Str("Corvid"), {5}, Str("Srv"), Str("DM"), Str(""), {2, 32}})},
        {"players with index and name, extra byte skipped",
         Cat({kHead, {1, 0x02, 0x43, 0xEE}}),
         Cat({kHead, {129, 3, 0x02, 2, 0x03, 0}, Str("Ann"), {4}, Str("Bob")})},
        {"empty section and rules, high section bits dropped",
         Cat({kHead, {1, 0xFC, 0x00}}),
         Cat({kHead, {129, 3, 0x0C, 0}, {1}, Str("Version"), Str("1.7.1")})},
        {"version 2", Cat({{0xFF, 0xFF, 'O', 'G', 'P', 0, 2, 1, 0}}), std::nullopt},
        {"other magic", Cat({{0xFF, 0xFF, 'O', 'G', 'X', 0, 1, 1, 0}}), std::nullopt},
        {"cut short in the masks", Cat({kHead, {1, 0x01}}), std::nullopt},
        {"cut short before the type", kHead, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(Answer(c.request, s), c.answer) << c.name;
}

TEST(QueryProtocol, LimitsOfStringsAndCounts) {
    CQuerySnapshot s;
    s.m_Rules.assign(300, {"r", std::string(300, 'v')});
    const auto answer = Answer(Cat({kHead, {1, 0x0A, 0x03}}), s);
    ASSERT_TRUE(answer);
    // Header (7 + type + game + sections), then an empty player section: the count 0 and no mask.
    const Bytes& a = *answer;
    EXPECT_EQ(a[10], 0);
    EXPECT_EQ(a[11], 255) << "only 255 of 300 rules";
    EXPECT_EQ(a[12], 2); // "r"
    EXPECT_EQ(a[15], 255) << "a 300-character value is cut to 254 plus its terminator";
    EXPECT_EQ(a[15 + 1 + 254], 0);
    EXPECT_EQ(a.size(), 12u + 255u * (3u + 256u));
}

TEST(QueryProtocol, OnlyFFFFDatagramsAreOurs) {
    const uint8_t one[] = {0xFF};
    const uint8_t two[] = {0xFF, 0xFF};
    const uint8_t enet[] = {0x00, 0xFF};
    EXPECT_FALSE(IsQueryDatagram(one, 1));
    EXPECT_TRUE(IsQueryDatagram(two, 2));
    EXPECT_FALSE(IsQueryDatagram(enet, 2));
}
