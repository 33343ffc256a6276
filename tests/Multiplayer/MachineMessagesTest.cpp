// Byte tables of the messages about one client: its binding, its data and its flags.
#include "ByteTable.h"
#include "Engine/ArgumentArray.h"
#include "Engine/ArgumentMap.h"
#include "Multiplayer/MachineMessages.h"

#include <gtest/gtest.h>

using namespace Tessera3D;

namespace {

CClientData MakeData(int32_t index, std::string key, Strong<CArgument> value) {
    CClientData data;
    data.m_Index = index;
    data.m_Key = std::move(key);
    data.m_Value = std::move(value);
    return data;
}

} // namespace

TEST(MachineMessages, ByteTables) {
    CLocalPlayer player;
    player.m_Player = 12;
    CLocalPlayer noPlayer;
    CClientDataClear clear;
    clear.m_Index = 2;
    CClientPlayer binding;
    binding.m_Index = 2;
    binding.m_Player = 7;
    CClientUpdate update;
    update.m_Index = 2;
    update.m_Flags = CLIENT_FLAG_ADMINISTRATOR;
    CElementStreaming streamingOn;
    streamingOn.m_bEnabled = true;
    CElementStreaming streamingOff;

    auto list = MakeStrong<CArgumentArray>();
    list->AddNumber(1);
    list->AddString("x");
    auto map = MakeStrong<CArgumentMap>();
    map->Set("k", new CArgumentBoolean(true));

    RunCases({
        Codec("local player", player, "0C 00 00 00"),
        Codec("no local player", noPlayer, "FF FF FF FF"),
        Codec("client data: integer", MakeData(2, "score", MakeStrong<CArgumentInteger>(10)),
              "01 00"          // one record
              "02 00 00 00"    // client index
              "01 00"          // one entry
              "05 73 63 6F 72 65"  // key "score"
              "04"             // value type: integer
              "0A 00 00 00"),  // 10
        Codec("client data: string", MakeData(2, "team", MakeStrong<CArgumentString>("red")),
              "01 00 02 00 00 00 01 00 04 74 65 61 6D"
              "02 03 72 65 64"),  // string "red"
        Codec("client data: float", MakeData(0, "k", MakeStrong<CArgumentFloat>(1.5f)),
              "01 00 00 00 00 00 01 00 01 6B"
              "05 00 00 C0 3F"),  // float 1.5
        Codec("client data: 3D vector", MakeData(0, "k", MakeStrong<CArgumentVector3D>(CVector3D(1, 2, 3))),
              "01 00 00 00 00 00 01 00 01 6B"
              "09 00 00 80 3F 00 00 00 40 00 00 40 40"),  // x, y, z
        Codec("client data: array", MakeData(0, "k", list),
              "01 00 00 00 00 00 01 00 01 6B"
              "11 02"                 // array of two values (count byte)
              "04 01 00 00 00"        // integer 1
              "02 01 78"),            // string "x"
        Codec("client data: map", MakeData(0, "k", map),
              "01 00 00 00 00 00 01 00 01 6B"
              "12 01"                 // map with one entry (compressed count)
              "01 01 6B 01"),         // boolean under "k": type, key, true
        Codec("client data: removed key", MakeData(2, "score", nullptr),
              "01 00 02 00 00 00 01 00 05 73 63 6F 72 65"
              "00"),                  // value type 0 and nothing more
        Codec("client data clear", clear, "01 00 02 00 00 00"),
        Codec("client player", binding,
              "01 00"          // one record
              "02 00 00 00"    // client index
              "07 00 00 00"),  // player element
        Codec("client update", update, "01 00 02 00 00 00 01"),  // flags: administrator
        Codec("element streaming on", streamingOn, "01"),
        Codec("element streaming off", streamingOff, "00"),
    });
}

TEST(MachineMessages, RemovedKeyReadsBackAsNoValue) {
    CClientData data;
    ASSERT_TRUE(DecodePayload(HexBytes("01 00 02 00 00 00 01 00 01 6B 00"), data));
    EXPECT_EQ(data.m_Index, 2);
    EXPECT_EQ(data.m_Key, "k");
    EXPECT_FALSE(data.m_Value);

    // Any non-zero byte switches streaming on.
    CElementStreaming streaming;
    ASSERT_TRUE(DecodePayload(HexBytes("02"), streaming));
    EXPECT_TRUE(streaming.m_bEnabled);
}

TEST(MachineMessages, RefusesMalformedRecords) {
    // A client record whose entry holds a value kind that has no wire form.
    auto record = [](const char* value) {
        return HexBytes(std::string("00 01 FF FF FF FF 01 42 01 00 01 6B") + value);
    };
    CClientRecord decoded;
    for (const char* value : {"03", "07", "0A", "0D", "0E", "14", "16", "FF"}) {
        SCOPED_TRACE(value);
        const Bytes bytes = record(value);
        auto pBytes = MakeStrong<CMemoryStream>(static_cast<const void*>(bytes.data()), bytes.size());
        CBinaryReader reader(pBytes.Get());
        EXPECT_FALSE(decoded.Read(reader));
    }

    RunCases({
        Refused<CClientData>("client data with two records", HexBytes("02 00 02 00 00 00 01 00 01 6B 00")),
        Refused<CClientData>("client data with two entries", HexBytes("01 00 02 00 00 00 02 00 01 6B 00")),
        Refused<CClientData>("client data: string longer than the message", HexBytes("01 00 02 00 00 00 01 00 01 6B 02 FF FF 03 61")),
        Refused<CClientDataClear>("data clear with no record", HexBytes("00 00 02 00 00 00")),
        Refused<CClientPlayer>("client player with three records", HexBytes("03 00 02 00 00 00 07 00 00 00")),
        Refused<CClientUpdate>("client update with two records", HexBytes("02 00 02 00 00 00 01")),
        // Arrays nested deeper than script values may nest.
        Refused<CClientData>("client data nested 200 deep",
                             Concat({HexBytes("01 00 02 00 00 00 01 00 01 6B"), [] {
                                         Bytes nested;
                                         for (int i = 0; i < 200; ++i) nested.insert(nested.end(), {0x11, 0x01});
                                         nested.push_back(0x00);
                                         return nested;
                                     }()})),
    });
}
