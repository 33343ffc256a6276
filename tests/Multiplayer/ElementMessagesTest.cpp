// Byte tables of the element messages: creation and sync records, deletions, syncer, parent, name,
// data and dimension, the syncer request, and the base part of every creation record.
#include "ByteTable.h"
#include "Engine/ArgumentMap.h"
#include "Engine/UnlimitedStream.h"
#include "Multiplayer/ElementMessages.h"

#include <gtest/gtest.h>

using namespace Tessera3D;

namespace {

CElementData MakeData(int32_t id, std::string key, Strong<CArgument> value) {
    CElementData data;
    data.m_Id = id;
    data.m_Key = std::move(key);
    data.m_Value = std::move(value);
    return data;
}

CElementRecord MakeRecord(int32_t type, int32_t id, Bytes payload) {
    CElementRecord record;
    record.m_Type = type;
    record.m_Id = id;
    record.m_Payload = std::move(payload);
    return record;
}

// The base record is no message of its own; it gets the same treatment on its own bytes.
void ExpectBaseRecord(const CElementBaseRecord& record, const Bytes& bytes) {
    auto pOut = MakeStrong<CUnlimitedStream>();
    CBinaryWriter writer(pOut.Get());
    ASSERT_TRUE(record.Write(writer));
    EXPECT_EQ(Hex(Bytes(pOut->GetData(), pOut->GetData() + pOut->GetSize())), Hex(bytes));
    for (size_t length = 0; length <= bytes.size(); ++length) {
        auto pIn = MakeStrong<CMemoryStream>(static_cast<const void*>(bytes.data()), length);
        CBinaryReader reader(pIn.Get());
        CElementBaseRecord decoded;
        EXPECT_EQ(decoded.Read(reader), length == bytes.size()) << "cut to " << length << " bytes";
    }
}

} // namespace

TEST(ElementMessages, ByteTables) {
    CElementSyncer syncer;
    syncer.m_Id = 5;
    syncer.m_Syncer = 3;
    CElementSyncer noSyncer;
    noSyncer.m_Id = 5;
    CElementParent parent;
    parent.m_Id = 0x1234;
    parent.m_Parent = 2;
    CElementParent noParent;
    noParent.m_Id = 9;
    CElementName name;
    name.m_Id = 9;
    name.m_Name = "car";
    CElementName noName;
    noName.m_Id = 9;
    CElementDataClear clear;
    clear.m_Id = 9;
    CElementDimension dimension;
    dimension.m_Id = 9;
    dimension.m_Dimension = -2;
    CRequestSyncer request;
    request.m_Id = 300;
    CElementDelete deleted;
    deleted.m_Ids = {1, 32767};
    CElementDelete nothingDeleted;

    CElementCreate create;
    create.m_Records = {MakeRecord(142, 1, {0xAA, 0xBB}), MakeRecord(30, 2, {})};
    CElementSync sync;
    sync.m_Records = {MakeRecord(94, 3, {1, 2, 3})};
    CElementSync emptySync;

    RunCases({
        Codec("syncer", syncer, "01 00  05 00 00 00  03 00 00 00"),
        Codec("syncer cleared", noSyncer, "01 00  05 00 00 00  FF FF FF FF"),
        Codec("parent", parent, "01 00  34 12 00 00  02 00 00 00"),
        Codec("parent cleared", noParent, "01 00  09 00 00 00  FF FF FF FF"),
        Codec("name", name, "01 00  09 00 00 00  03 63 61 72"),
        Codec("name cleared", noName, "01 00  09 00 00 00  00"),
        Codec("data: integer", MakeData(9, "hp", MakeStrong<CArgumentInteger>(100)),
              "01 00  09 00 00 00"  // one record, element 9
              "01 00  02 68 70"     // one entry, key "hp"
              "04 64 00 00 00"),    // integer 100
        Codec("data: vector", MakeData(9, "v", MakeStrong<CArgumentVector3D>(CVector3D(1.0f, 0.0f, -2.0f))),
              "01 00 09 00 00 00 01 00 01 76"
              "09 00 00 80 3F 00 00 00 00 00 00 00 C0"),
        Codec("data removed", MakeData(9, "hp", nullptr), "01 00 09 00 00 00 01 00 02 68 70  00"),
        Codec("data cleared", clear, "01 00  09 00 00 00"),
        Codec("dimension", dimension, "01 00  09 00 00 00  FE FF FF FF"),
        Codec("request syncer", request, "2C 01 00 00"),
        Codec("delete", deleted, "02 00  01 00 00 00  FF 7F 00 00"),
        Codec("delete nothing", nothingDeleted, "00 00"),
        Codec("create", create,
              "02 00"                                 // two records
              "0A 00  8E 00 00 00  01 00 00 00  AA BB" // size 10: vehicle 1 and its payload
              "08 00  1E 00 00 00  02 00 00 00"),     // size 8: ped 2, identifier only
        Codec("sync", sync, "01 00  0B 00  5E 00 00 00  03 00 00 00  01 02 03"),
        Codec("sync without records", emptySync, "00 00"),
        Refused<CElementSyncer>("syncer: two records", HexBytes("02 00 05 00 00 00 03 00 00 00")),
        Refused<CElementName>("name: length beyond the bytes", HexBytes("01 00 09 00 00 00 05 61")),
        Refused<CElementData>("data: two entries", HexBytes("01 00 09 00 00 00 02 00 01 76 00")),
        Refused<CElementData>("data: object value", HexBytes("01 00 09 00 00 00 01 00 01 76 07")),
        Refused<CElementSync>("sync: record shorter than its identifier", HexBytes("01 00 07 00 5E 00 00 00 03 00 00")),
        Refused<CElementCreate>("create: record longer than the bytes", HexBytes("01 00 0C 00 5E 00 00 00 03 00 00 00 01")),
    });
}

TEST(ElementMessages, RecordsTooLongForTheirLengthFieldAreNotWritten) {
    CElementSync sync;
    sync.m_Records = {MakeRecord(6, 1, Bytes(MAX_ELEMENT_RECORD_SIZE - ELEMENT_IDENTIFIER_SIZE, 0))};
    EXPECT_EQ(EncodeMessage(sync).size(), PACKET_HEADER_SIZE + 2 + 2 + MAX_ELEMENT_RECORD_SIZE);
    sync.m_Records[0].m_Payload.push_back(0);
    EXPECT_TRUE(EncodeMessage(sync).empty());

    CElementRecordListWriter writer(PACKET_ELEMENT_CREATE);
    EXPECT_EQ(writer.Finish(), nullptr) << "no record, no message";
    const Bytes big(MAX_ELEMENT_RECORD_SIZE + 1, 0), small = HexBytes("06 00 00 00 01 00 00 00");
    EXPECT_FALSE(writer.Add(big.data(), big.size()));
    EXPECT_FALSE(writer.Add(small.data(), 7)) << "shorter than the identifier";
    EXPECT_TRUE(writer.Add(small.data(), small.size()));
    Strong<Packet> pPacket = writer.Finish();
    ASSERT_NE(pPacket, nullptr);
    EXPECT_EQ(Hex(Bytes(pPacket->GetData(), pPacket->GetData() + pPacket->GetSize())),
              Hex(Concat({HeaderFor(PACKET_ELEMENT_CREATE), HexBytes("01 00 08 00"), small})));
}

TEST(ElementMessages, BaseCreationRecord) {
    CElementBaseRecord record;
    record.m_Syncer = 4;
    record.m_Parent = 17;
    record.m_Dimension = 2;
    record.m_Name = "gate";
    auto data = MakeStrong<CArgumentMap>();
    data->Set("open", new CArgumentBoolean(true));
    data->Set("code", new CArgumentString("42"));
    record.SetData(*data);
    ExpectBaseRecord(record, HexBytes("04 00 00 00"           // syncer
                                      "11 00 00 00"           // parent
                                      "02 00 00 00"           // dimension
                                      "04 67 61 74 65"        // "gate"
                                      "02 00"                 // two entries, in the order they were set
                                      "04 6F 70 65 6E  01 01" // "open": boolean true
                                      "04 63 6F 64 65  02 02 34 32")); // "code": string "42"

    ExpectBaseRecord(CElementBaseRecord(), HexBytes("FF FF FF FF  FF FF FF FF  00 00 00 00  00  00 00"));

    // A value that cannot travel fails the whole record.
    CElementBaseRecord unwritable;
    unwritable.m_Data.emplace_back("self", MakeStrong<CArgumentObject>());
    auto pOut = MakeStrong<CUnlimitedStream>();
    CBinaryWriter writer(pOut.Get());
    EXPECT_FALSE(unwritable.Write(writer));
}
