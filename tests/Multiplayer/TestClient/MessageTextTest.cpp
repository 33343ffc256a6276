// The decoded lines the client prints and records, and its small text helpers.
#include "ByteTable.h"
#include "Engine/ArgumentArray.h"
#include "Engine/ArgumentMap.h"
#include "TestClient/MessageText.h"
#include "TestClient/TextFormat.h"

#include <gtest/gtest.h>

using namespace Tessera3D;

TEST(MessageText, DescribesMessagesInBothDirections) {
    struct Case {
        uint32_t m_Id;
        eMessageDirection m_Direction;
        const char* m_Payload;
        const char* m_Line;
    } cases[] = {
        {PACKET_CHAT, FROM_SERVER, "07 00 00 00 01 00 00 00 42 6F 62 3A 20 68 69", "PACKET_CHAT type=1 text=\"Bob: hi\""},
        {PACKET_CHAT, FROM_CLIENT, "02 00 00 00 68 69", "PACKET_CHAT text=\"hi\""},
        {PACKET_CHAT, FROM_SERVER, "02 00 00 00 01 00 00 00 0A 22", "PACKET_CHAT type=1 text=\"\\n\\\"\""},
        {PACKET_LOCAL_PLAYER, FROM_SERVER, "FF FF FF FF", "PACKET_LOCAL_PLAYER player=-1"},
        {PACKET_SERVER_NAME, FROM_SERVER, "03 41 00 42", "PACKET_SERVER_NAME text=\"A\\0B\""},
        {PACKET_CLIENT_JOINED, FROM_SERVER, "01 00 04 00 00 00 01 01 FF FF FF FF 02 41 6C 01 00 01 6B 09 00 00 80 3F 00 00 00 40 00 00 40 40",
         "PACKET_CLIENT_JOINED index=4 flags=1 game=1 player=-1 name=\"Al\" data={\"k\": (1, 2, 3)}"},
        {PACKET_CLIENT_LEFT, FROM_SERVER, "01 00 04 00 00 00", "PACKET_CLIENT_LEFT index=4"},
        {PACKET_CLIENT_DATA, FROM_SERVER, "01 00 02 00 00 00 01 00 01 6B 00", "PACKET_CLIENT_DATA index=2 key=\"k\" removed"},
        {PACKET_CLIENT_DATA, FROM_SERVER, "01 00 02 00 00 00 01 00 01 6B 06 07 00 00 00",
         "PACKET_CLIENT_DATA index=2 key=\"k\" value=element(7)"},
        {PACKET_CLIENT_DATA_CLEAR, FROM_SERVER, "01 00 02 00 00 00", "PACKET_CLIENT_DATA_CLEAR index=2"},
        {PACKET_CLIENT_PLAYER, FROM_SERVER, "01 00 02 00 00 00 07 00 00 00", "PACKET_CLIENT_PLAYER index=2 player=7"},
        {PACKET_CLIENT_UPDATE, FROM_SERVER, "01 00 02 00 00 00 03", "PACKET_CLIENT_UPDATE index=2 flags=3"},
        {PACKET_GAME_FILE_CHECK, FROM_SERVER, "01 00 00 00 05 61 2E 64 61 74", "PACKET_GAME_FILE_CHECK count=1 paths=[\"a.dat\"]"},
        {PACKET_GAME_FILE_CHECK, FROM_CLIENT, "01 00 00 00 01 00 00 00 02 00 00 00 03 00 00 00 04 00 00 00",
         "PACKET_GAME_FILE_CHECK count=1 digests=[00000001000000020000000300000004]"},
        {PACKET_ELEMENT_DELETE, FROM_SERVER, "02 00 05 00 00 00 06 00 00 00", "PACKET_ELEMENT_DELETE count=2 elements=[5, 6]"},
        {PACKET_CONNECT_REQUEST, FROM_CLIENT, "1D 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 03 00 42 6F 62 01",
         "PACKET_CONNECT_REQUEST protocol=29 version=1.0.0.0 password=\"\" nicknamelength=3 nickname=\"Bob\" game=1"},
        // A request cut short shows how far it got.
        {PACKET_CONNECT_REQUEST, FROM_CLIENT, "1D 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 20 00",
         "PACKET_CONNECT_REQUEST (1) malformed protocol=29 version=1.0.0.0 password=\"\" nicknamelength=32 [23] "
         "1D 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 20 00"},
        {PACKET_COMMAND, FROM_CLIENT, "02 00 00 00 6D 65 00 00 00 00", "PACKET_COMMAND name=\"me\" arguments=\"\""},
        {PACKET_DISCONNECT_REQUEST, FROM_CLIENT, "06 00 00 00", "PACKET_DISCONNECT_REQUEST reason=6 (DISCONNECT_QUIT)"},
        {PACKET_KEY_EVENT, FROM_CLIENT, "01 1E 00 00 00 41 00 00 00 02 00 01 00 00 00",
         "PACKET_KEY_EVENT down=1 scancode=30 keycode=65 modifiers=2 repeat=1"},
        {PACKET_REQUEST_SYNCER, FROM_CLIENT, "05 00 00 00", "PACKET_REQUEST_SYNCER element=5"},
        {PACKET_ELEMENT_STREAMING, FROM_CLIENT, "00", "PACKET_ELEMENT_STREAMING enabled=false"},
        {PACKET_CLIENT_READY, FROM_CLIENT, "", "PACKET_CLIENT_READY"},
        // Leftover bytes after a decoded message are shown, not hidden.
        {PACKET_LOCAL_PLAYER, FROM_SERVER, "05 00 00 00 EE", "PACKET_LOCAL_PLAYER player=5 trailing=EE"},
        {PACKET_ELEMENT_CREATE, FROM_SERVER, "01 00", "PACKET_ELEMENT_CREATE (11) [2] 01 00"},
        {PACKET_COMMAND, FROM_SERVER, "01", "PACKET_COMMAND (7) [1] 01"},
        {32, FROM_SERVER, "", "message (32) [0] "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_Line);
        const Bytes payload = HexBytes(c.m_Payload);
        EXPECT_EQ(DescribeMessage(c.m_Id, payload.data(), payload.size(), c.m_Direction), c.m_Line);
    }
}

TEST(MessageText, LongPayloadsAreCut) {
    const Bytes payload(1000, 0xAB);
    const std::string line = DescribeMessage(PACKET_ELEMENT_CREATE, payload.data(), payload.size());
    EXPECT_EQ(line.rfind("PACKET_ELEMENT_CREATE (11) [1000] AB AB ", 0), 0u);
    EXPECT_NE(line.find("... (744 more)"), std::string::npos);
    EXPECT_LT(line.size(), 900u);
}

TEST(MessageText, DescribesValues) {
    auto list = MakeStrong<CArgumentArray>();
    list->AddNumber(1);
    list->AddNumber(2.5);
    list->AddNull();
    list->AddUndefined();
    auto map = MakeStrong<CArgumentMap>();
    map->Set("a", new CArgumentBoolean(true));
    map->Set("b", list.Get());
    list->AddRef(); // Set took over one reference
    const uint8_t bytes[] = {1, 2};
    auto data = MakeStrong<CArgumentBytes>(bytes, sizeof(bytes));
    EXPECT_EQ(DescribeValue(map.Get()), "{\"a\": true, \"b\": [1, 2.5, null, undefined]}");
    EXPECT_EQ(DescribeValue(data.Get()), "bytes(2: 01 02)");
    EXPECT_EQ(DescribeValue(nullptr), "null");
    EXPECT_EQ(GetDisconnectReasonName(DISCONNECT_NICKNAME_IN_USE), std::string("DISCONNECT_NICKNAME_IN_USE"));
    EXPECT_EQ(GetDisconnectReasonName(5), nullptr);
}

TEST(TextFormat, QuotesHexAndParsesHex) {
    EXPECT_EQ(QuoteText(std::string("a\"\\\t\r\x7F\xC3", 7)), "\"a\\\"\\\\\\t\\r\\x7F\\xC3\"");
    EXPECT_EQ(HexString(HexBytes("00 0F F0"), 2), "00 0F ... (1 more)");

    struct Case {
        const char* m_Text;
        bool m_bOk;
        const char* m_Bytes;
    } cases[] = {
        {"0a 0B", true, "0A 0B"}, {"0a0b", true, "0A 0B"}, {"0a:0b,0c", true, "0A 0B 0C"}, {"", true, ""},
        {"0", false, ""},         {"0 a", false, ""},      {"zz", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_Text);
        std::vector<uint8_t> parsed;
        EXPECT_EQ(ParseHex(c.m_Text, parsed), c.m_bOk);
        if (c.m_bOk) {
            EXPECT_EQ(parsed, HexBytes(c.m_Bytes));
        }
    }
}
