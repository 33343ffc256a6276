// Byte tables of the session messages: joining, chat, commands, leaving, client announcements and
// console variables.
#include "ByteTable.h"
#include "Multiplayer/SessionMessages.h"

#include <gtest/gtest.h>

using namespace Tessera3D;

namespace {

CConnectRequest MakeRequest(std::string nickname, std::string password = "") {
    CConnectRequest request;
    request.m_ProtocolVersion = NETWORK_PROTOCOL_VERSION;
    request.m_Version[0] = 1;
    request.m_Password = std::move(password);
    request.m_NicknameLength = static_cast<uint16_t>(nickname.size());
    request.m_Nickname = std::move(nickname);
    request.m_Game = 1;
    return request;
}

CClientRecord MakeRecord(int32_t index, uint8_t flags, int32_t player, std::string name) {
    CClientRecord record;
    record.m_Index = index;
    record.m_Flags = flags;
    record.m_Game = 1;
    record.m_Player = player;
    record.m_Name = std::move(name);
    return record;
}

std::string Text(char c, size_t count) { return std::string(count, c); }

// Four little-endian bytes of a length.
Bytes Length32(uint32_t length) {
    return {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length >> 16),
            static_cast<uint8_t>(length >> 24)};
}

} // namespace

TEST(SessionMessages, ByteTables) {
    CConnectAccepted accepted;
    accepted.m_Index = 3;
    accepted.m_HttpPort = 22000;
    accepted.m_HttpAddress = "h";
    accepted.m_SyncInterval = 30;
    accepted.m_SyncMethod = 1;

    CChatFromClient chat;
    chat.m_Text = "hi";
    CChatToClient chatToClient;
    chatToClient.m_ChatType = CHAT_TYPE_CHAT;
    chatToClient.m_Text = "Bob: hi";
    CChatToClient emptyChat;
    emptyChat.m_ChatType = CHAT_TYPE_INFO;

    CCommandMessage command;
    command.m_Name = "kick";
    command.m_Arguments = "Bob now";
    CCommandMessage bareCommand;
    bareCommand.m_Name = "me";

    CDisconnectRequest leave;
    leave.m_Reason = DISCONNECT_QUIT;
    CGameModeMessage gameMode;
    gameMode.m_Text = "Freeroam";
    CServerNameMessage serverName;

    CClientRecord bob = MakeRecord(0, 0, 7, "Bob");
    bob.m_Data.emplace_back("score", MakeStrong<CArgumentInteger>(10));
    bob.m_Data.emplace_back("team", MakeStrong<CArgumentString>("red"));
    CClientList list;
    list.m_MaxPlayers = 32;
    list.m_Clients = {MakeRecord(255, CLIENT_FLAG_ADMINISTRATOR | CLIENT_FLAG_CONSOLE, -1, "Console"), bob};
    CClientList emptyList;
    CClientJoined joined;
    joined.m_Client = MakeRecord(4, CLIENT_FLAG_ADMINISTRATOR, -1, "Al");
    CClientLeft left;
    left.m_Index = 4;

    CCVarsMessage cvars;
    cvars.m_Vars = {{"a", "bc"}, {"", ""}};

    RunCases({
        Codec("connect request", MakeRequest("Bob"),
              "1D 00 00 00"    // protocol version 29
              "01 00 00 00"    // client version: major 1
              "00 00 00 00"    // minor
              "00 00 00 00"    // patch
              "00 00 00 00"    // build
              "00"             // password: empty string
              "03 00"          // nickname length 3 (uint16)
              "42 6F 62"       // "Bob"
              "01"),           // game id
        Codec("connect request, password and NUL bytes in the nickname", MakeRequest(std::string("A\0B", 3), "pw"),
              "1D 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
              "02 70 77"       // password "pw": compressed length, bytes
              "03 00"          // nickname length 3
              "41 00 42"       // the bytes as given, NUL included
              "01"),
        Codec("connect accepted", accepted,
              "03 00 00 00"    // client index
              "F0 55"          // HTTP port 22000
              "01 68"          // HTTP address "h"
              "1E 00"          // sync interval 30
              "00"             // always 0
              "01"),           // sync method
        Codec("client ready", CClientReady(), ""),
        Codec("join complete", CJoinComplete(), ""),
        Codec("chat from a client", chat,
              "02 00 00 00"    // length (uint32)
              "68 69"),        // "hi", no terminator
        Codec("chat to a client", chatToClient,
              "07 00 00 00"    // length
              "01 00 00 00"    // chat type: CHAT_TYPE_CHAT
              "42 6F 62 3A 20 68 69"), // "Bob: hi"
        Codec("empty chat to a client", emptyChat,
              "00 00 00 00"    // length 0 is fine in this direction
              "02 00 00 00"),  // CHAT_TYPE_INFO
        Codec("command", command,
              "04 00 00 00 6B 69 63 6B"             // name "kick"
              "07 00 00 00 42 6F 62 20 6E 6F 77"),  // arguments "Bob now"
        Codec("command without arguments", bareCommand,
              "02 00 00 00 6D 65"  // name "me"
              "00 00 00 00"),      // arguments: length 0
        Codec("leave request", leave, "06 00 00 00"),  // reason
        Codec("game mode", gameMode, "08 46 72 65 65 72 6F 61 6D"),  // string "Freeroam"
        Codec("empty server name", serverName, "00"),
        Codec("client list", list,
              "02 00"          // occupied slots
              "20 00"          // player limit 32
              "FF 00 00 00"    // index 255
              "03"             // flags: administrator, console
              "01"             // game
              "FF FF FF FF"    // no player element
              "07 43 6F 6E 73 6F 6C 65" // "Console"
              "00 00"          // no data
              "00 00 00 00"    // index 0
              "00 01"          // flags, game
              "07 00 00 00"    // player element 7
              "03 42 6F 62"    // "Bob"
              "02 00"          // two data entries
              "05 73 63 6F 72 65 04 0A 00 00 00"  // "score": integer 10
              "04 74 65 61 6D 02 03 72 65 64"),   // "team": string "red"
        Codec("empty client list", emptyList, "00 00 00 00"),
        Codec("client joined", joined,
              "01 00"          // one record
              "04 00 00 00"    // index
              "01 01 FF FF FF FF 02 41 6C 00 00"),  // record: administrator, game 1, no player, "Al", no data
        Codec("client left", left, "01 00 04 00 00 00"),
        Codec("console variables", cvars,
              "02 00"          // entries
              "05 01 61 02 62 63"  // record size 5: "a", "bc"
              "02 00 00"),         // record size 2: two empty strings
    });
}

TEST(SessionMessages, LongTextsAndRecordSizes) {
    // Record sizes above 127 take two bytes of the compressed size.
    CCVarsMessage cvars;
    cvars.m_Vars = {{"weather", Text('x', 150)}};
    CChatFromClient longestChat;
    longestChat.m_Text = Text('c', MAX_CHAT_LENGTH);
    CCommandMessage longestCommand;
    longestCommand.m_Name = Text('n', MAX_CHAT_LENGTH);
    longestCommand.m_Arguments = Text('a', MAX_CHAT_LENGTH);

    RunCases({
        CodecBytes("console variable with a long value", cvars,
                   Concat({HexBytes("01 00"),  // one entry
                           HexBytes("A0 01"),  // record size 160 = 8 ("weather") + 2 + 150
                           HexBytes("07 77 65 61 74 68 65 72"), HexBytes("96 01"), Bytes(150, 'x')})),
        CodecBytes("chat of 4096 bytes", longestChat, Concat({Length32(4096), Bytes(4096, 'c')})),
        CodecBytes("command name and arguments of 4096 bytes", longestCommand,
                   Concat({Length32(4096), Bytes(4096, 'n'), Length32(4096), Bytes(4096, 'a')})),
    });
}

TEST(SessionMessages, RefusesOutOfRangeLengthsAndCounts) {
    RunCases({
        Refused<CChatFromClient>("chat length 0", HexBytes("00 00 00 00")),
        Refused<CChatFromClient>("chat length 4097", Concat({Length32(4097), Bytes(4097, 'c')})),
        Refused<CChatFromClient>("chat length far beyond the bytes", HexBytes("FF FF FF FF 61")),
        Refused<CCommandMessage>("command name length 0", HexBytes("00 00 00 00 00 00 00 00")),
        Refused<CCommandMessage>("command name length 4097",
                                 Concat({Length32(4097), Bytes(4097, 'n'), Length32(0)})),
        Refused<CCommandMessage>("command arguments length 4097",
                                 Concat({Length32(1), Bytes(1, 'n'), Length32(4097), Bytes(4097, 'a')})),
        Refused<CChatToClient>("chat to a client longer than 64 KiB",
                               Concat({Length32(65537), Length32(1), Bytes(65537, 'c')})),
        Refused<CClientJoined>("client joined with two records", HexBytes("02 00 04 00 00 00 01 01 FF FF FF FF 02 41 6C 00 00")),
        Refused<CClientLeft>("client left with no record", HexBytes("00 00 04 00 00 00")),
        Refused<CCVarsMessage>("console variable whose record size disagrees", HexBytes("01 00 04 01 61 02 62 63")),
        Refused<CClientList>("client list value of a kind that never travels",
                             HexBytes("01 00 20 00 00 00 00 00 00 01 FF FF FF FF 01 42 01 00 01 6B 07")),
    });
}

// The admission checks stop at the first failing field, so the reader tells how far it got.
TEST(SessionMessages, ConnectRequestStopsAtTheFirstBadField) {
    const Bytes protocol = HexBytes("1D 00 00 00");
    const Bytes version = HexBytes("01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
    const Bytes password = HexBytes("00");
    auto nicknameLength = [](uint16_t length) { return Bytes{static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8)}; };
    const Bytes game = HexBytes("01");
    struct Case {
        const char* m_Name;
        Bytes m_Payload;
        bool m_bComplete;
        int m_FieldsRead;
    } cases[] = {
        {"empty", {}, false, 0},
        {"protocol only", protocol, false, CConnectRequest::FIELD_PROTOCOL},
        {"half a version", Concat({protocol, Bytes(8, 0)}), false, CConnectRequest::FIELD_PROTOCOL},
        {"no password", Concat({protocol, version}), false, CConnectRequest::FIELD_VERSION},
        {"password longer than 4096 bytes", Concat({protocol, version, HexBytes("81 20"), Bytes(4097, 'p')}), false,
         CConnectRequest::FIELD_VERSION},
        {"password cut short", Concat({protocol, version, HexBytes("05 61 62")}), false, CConnectRequest::FIELD_VERSION},
        {"no nickname length", Concat({protocol, version, password}), false, CConnectRequest::FIELD_PASSWORD},
        {"nickname length 0", Concat({protocol, version, password, nicknameLength(0), game}), false,
         CConnectRequest::FIELD_NICKNAME_LENGTH},
        {"nickname length 32", Concat({protocol, version, password, nicknameLength(32), Bytes(32, 'n'), game}), false,
         CConnectRequest::FIELD_NICKNAME_LENGTH},
        {"nickname length 65535", Concat({protocol, version, password, nicknameLength(65535), Bytes(64, 'n')}), false,
         CConnectRequest::FIELD_NICKNAME_LENGTH},
        {"nickname cut short", Concat({protocol, version, password, nicknameLength(3), HexBytes("42 6F")}), false,
         CConnectRequest::FIELD_NICKNAME_LENGTH},
        {"no game", Concat({protocol, version, password, nicknameLength(3), HexBytes("42 6F 62")}), false,
         CConnectRequest::FIELD_NICKNAME},
        {"nickname of 31 bytes", Concat({protocol, version, password, nicknameLength(31), Bytes(31, 'n'), game}), true,
         CConnectRequest::FIELD_GAME},
        {"nickname of 1 byte", Concat({protocol, version, password, nicknameLength(1), Bytes(1, 0), game}), true,
         CConnectRequest::FIELD_GAME},
        {"password of 4096 bytes", Concat({protocol, version, HexBytes("80 20"), Bytes(4096, 'p'), nicknameLength(1), Bytes(1, 'n'), game}),
         true, CConnectRequest::FIELD_GAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_Name);
        CConnectRequest request;
        EXPECT_EQ(DecodePayload(c.m_Payload, request), c.m_bComplete);
        EXPECT_EQ(request.m_FieldsRead, c.m_FieldsRead);
    }

    // What was read before the stop is there for the refusal's log line.
    CConnectRequest request;
    EXPECT_FALSE(DecodePayload(Concat({HexBytes("1C 00 00 00"), version, HexBytes("02 70 77"), nicknameLength(40)}), request));
    EXPECT_EQ(request.m_ProtocolVersion, 28u);
    EXPECT_EQ(request.m_Password, "pw");
    EXPECT_EQ(request.m_NicknameLength, 40);
    EXPECT_TRUE(request.Has(CConnectRequest::FIELD_NICKNAME_LENGTH));
    EXPECT_FALSE(request.Has(CConnectRequest::FIELD_NICKNAME));
}

// The writer sends what it is given, so a test client can send a length that disagrees with the bytes.
TEST(SessionMessages, ConnectRequestWriterKeepsADisagreeingNicknameLength) {
    CConnectRequest request = MakeRequest("Bob");
    request.m_NicknameLength = 32;
    EXPECT_EQ(EncodeMessage(request),
              Concat({HeaderFor(PACKET_CONNECT_REQUEST),
                      HexBytes("1D 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                               "00"        // password
                               "20 00"     // length 32 as given
                               "42 6F 62"  // three bytes
                               "01")}));   // game
}
