#include "ByteTable.h"
#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"
#include "Engine/MemoryStream.h"
#include "Engine/Packet.h"
#include "Engine/StreamRangeStream.h"
#include "Engine/TextReader.h"
#include "Engine/TextWriter.h"
#include "Engine/UnlimitedStream.h"

#include <gtest/gtest.h>

using namespace Tessera3D;

namespace {

Bytes Contents(CUnlimitedStream& s) { return ToBytes(s.GetData(), s.GetSize()); }

Strong<CMemoryStream> ReadOnly(const Bytes& bytes) {
    return MakeStrong<CMemoryStream>(static_cast<const void*>(bytes.data()), bytes.size());
}

} // namespace

TEST(BinaryEncoding, CompressedUInt32Table) {
    struct Case { uint32_t value; const char* bytes; } cases[] = {
        {0, "00"},
        {127, "7F"},                     // largest one-byte value
        {128, "80 01"},                  // low group first, continuation bit set
        {300, "AC 02"},
        {16383, "FF 7F"},
        {16384, "80 80 01"},
        {0xFFFFFFFFu, "FF FF FF FF 0F"}, // five bytes at most
    };
    for (const Case& c : cases) {
        CUnlimitedStream s;
        CBinaryWriter(&s).WriteCompressedUInt32(c.value);
        EXPECT_EQ(Contents(s), HexBytes(c.bytes)) << c.value;
        EXPECT_EQ(CBinaryWriter::GetCompressedUInt32Size(c.value), HexBytes(c.bytes).size());
        s.Seek(0, SEEK_ORIGIN_BEGIN);
        uint32_t back = 0;
        EXPECT_TRUE(CBinaryReader(&s).ReadCompressedUInt32(back));
        EXPECT_EQ(back, c.value);
    }
}

TEST(BinaryEncoding, CompressedUInt32RefusesSixthGroupAndTruncation) {
    for (const char* bad : {"FF FF FF FF FF", "FF FF", ""}) {
        Bytes bytes = HexBytes(bad);
        auto stream = ReadOnly(bytes);
        CBinaryReader reader(stream.Get());
        uint32_t value;
        EXPECT_FALSE(reader.ReadCompressedUInt32(value)) << bad;
        EXPECT_TRUE(reader.HasError());
    }
}

TEST(BinaryEncoding, StringTable) {
    struct Case { std::string text; const char* prefix; } cases[] = {
        {"", "00"},
        {"abc", "03"},
        {std::string(200, 'x'), "C8 01"},
    };
    for (const Case& c : cases) {
        CUnlimitedStream s;
        CBinaryWriter(&s).WriteString(c.text);
        Bytes expected = HexBytes(c.prefix);
        expected.insert(expected.end(), c.text.begin(), c.text.end());
        EXPECT_EQ(Contents(s), expected);
        EXPECT_EQ(CBinaryWriter::GetStringSize(c.text.size()), expected.size());
        s.Seek(0, SEEK_ORIGIN_BEGIN);
        std::string back = "junk";
        EXPECT_TRUE(CBinaryReader(&s).ReadString(back));
        EXPECT_EQ(back, c.text);
    }
    CUnlimitedStream absent;
    CBinaryWriter(&absent).WriteString(nullptr, 5);
    EXPECT_EQ(Contents(absent), HexBytes("00"));
}

TEST(BinaryEncoding, StringReadFailsOnShortOrHostileLength) {
    // 3 bytes announced, 2 present; then a length of 2^32 - 1 with nothing behind it.
    for (const char* bad : {"03 61 62", "FF FF FF FF 0F 61"}) {
        Bytes bytes = HexBytes(bad);
        auto stream = ReadOnly(bytes);
        std::string value;
        EXPECT_FALSE(CBinaryReader(stream.Get()).ReadString(value)) << bad;
    }
    Bytes bytes = HexBytes("05 61 62 63 64 65");
    auto stream = ReadOnly(bytes);
    std::string value;
    EXPECT_FALSE(CBinaryReader(stream.Get()).ReadString(value, 4)) << "length over the caller's limit";
}

TEST(BinaryEncoding, PrimitivesAreLittleEndian) {
    CUnlimitedStream s;
    CBinaryWriter w(&s);
    w.WriteBoolean(true);
    w.WriteUInt16(0x1234);
    w.WriteInt32(-2);
    w.WriteFloat(1.0f);
    w.WriteDouble(-2.0);
    w.WriteInt64(0x0102030405060708);
    EXPECT_EQ(Contents(s), HexBytes("01"
                                    "34 12"
                                    "FE FF FF FF"
                                    "00 00 80 3F"
                                    "00 00 00 00 00 00 00 C0"
                                    "08 07 06 05 04 03 02 01"));
    Bytes two = HexBytes("02");
    auto stream = ReadOnly(two);
    bool b = false;
    EXPECT_TRUE(CBinaryReader(stream.Get()).ReadBoolean(b));
    EXPECT_TRUE(b) << "any non-zero byte is true";
}

TEST(BinaryEncoding, PacketHeader) {
    Packet p(1);
    EXPECT_EQ(Contents(p), HexBytes("02 34 52 54 01 00 00 00"));
    Packet q(0x01020304);
    CBinaryWriter(&q).WriteUInt8(0xAA);
    EXPECT_EQ(Contents(q), HexBytes("02 34 52 54 04 03 02 01 AA"));
}

TEST(UnlimitedStream, GrowsFromInlineToDoublingHeap) {
    CUnlimitedStream s;
    Bytes small(4096, 1);
    EXPECT_EQ(s.Write(small.data(), small.size()), small.size());
    EXPECT_TRUE(s.IsInline());
    s.Seek(0, SEEK_ORIGIN_BEGIN);
    Bytes big(5000, 2);
    EXPECT_EQ(s.Write(big.data(), big.size()), big.size());
    EXPECT_FALSE(s.IsInline());
    EXPECT_EQ(s.GetCapacity(), 8192u);
    EXPECT_EQ(s.GetLength(), 5000);
    Bytes more(20000, 3);
    s.Write(more.data(), more.size());
    EXPECT_EQ(s.GetCapacity(), 32768u);
    EXPECT_EQ(s.GetData()[0], 2);
    EXPECT_EQ(s.GetData()[5000], 3);
}

TEST(UnlimitedStream, SeekPastEndGrowsLengthWithZeroGap) {
    CUnlimitedStream s;
    s.Write("ab", 2);
    EXPECT_TRUE(s.Seek(6000, SEEK_ORIGIN_BEGIN));
    EXPECT_EQ(s.GetLength(), 6000);
    EXPECT_FALSE(s.Seek(1, 7)) << "unknown origin";
    EXPECT_FALSE(s.Seek(-1, SEEK_ORIGIN_BEGIN));
    s.Seek(2, SEEK_ORIGIN_BEGIN);
    uint8_t gap[16];
    EXPECT_EQ(s.Read(gap, sizeof(gap)), sizeof(gap));
    for (uint8_t byte : gap) EXPECT_EQ(byte, 0);
}

TEST(MemoryStream, AccessAndLimits) {
    uint8_t block[10] = {};
    CMemoryStream rw(block, sizeof(block), CMemoryStream::ACCESS_READ | CMemoryStream::ACCESS_WRITE);
    const uint8_t ten[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(rw.Write(ten, 10), 10u);
    rw.Seek(8, SEEK_ORIGIN_BEGIN);
    EXPECT_EQ(rw.Write(ten, 4), 0u) << "no partial write, no growth";
    EXPECT_EQ(block[8], 9);
    uint8_t out[4];
    EXPECT_EQ(rw.Read(out, 4), 2u);
    rw.Seek(20, SEEK_ORIGIN_BEGIN);
    EXPECT_EQ(rw.Read(out, 4), 0u);

    // Empty transfers with no buffer at all are harmless (callers pass empty vectors' data()).
    rw.Seek(0, SEEK_ORIGIN_BEGIN);
    EXPECT_EQ(rw.Read(nullptr, 0), 0u);
    EXPECT_EQ(rw.Write(nullptr, 0), 0u);
    CUnlimitedStream growable;
    growable.Write("x", 1);
    growable.Seek(0, SEEK_ORIGIN_BEGIN);
    EXPECT_EQ(growable.Read(nullptr, 0), 0u);

    CMemoryStream ro(block, sizeof(block), CMemoryStream::ACCESS_READ);
    EXPECT_EQ(ro.Write(ten, 1), 0u);
    CMemoryStream wo(block, sizeof(block), CMemoryStream::ACCESS_WRITE);
    EXPECT_EQ(wo.Read(out, 1), 0u);
}

TEST(MemoryStream, KeepsOwnerAlive) {
    auto owner = MakeStrong<CUnlimitedStream>();
    {
        CMemoryStream view(const_cast<uint8_t*>(owner->GetData()), 0, CMemoryStream::ACCESS_READ, owner.Get());
        EXPECT_EQ(owner->GetRefCount(), 2);
    }
    EXPECT_EQ(owner->GetRefCount(), 1);
}

TEST(StreamRangeStream, WindowBounds) {
    Bytes bytes = HexBytes("00 01 02 03 04 05 06 07");
    auto base = ReadOnly(bytes);
    CStreamRangeStream window(base.Get(), 2, 4);
    uint8_t out[8];
    EXPECT_EQ(window.Read(out, 8), 4u);
    EXPECT_EQ(ToBytes(out, 4), HexBytes("02 03 04 05"));
    EXPECT_EQ(window.Read(out, 1), 0u);
    EXPECT_EQ(window.GetLength(), 4);
    EXPECT_EQ(window.Write(out, 1), 0u) << "the base is read-only";
    window.Seek(3, SEEK_ORIGIN_BEGIN);
    EXPECT_EQ(window.Write(out, 2), 0u) << "past the window";
}

TEST(TextReader, EncodingDetection) {
    struct Case { const char* bytes; eTextEncoding encoding; std::string text; } cases[] = {
        {"EF BB BF 61 62", TEXT_ENCODING_UTF8, "ab"},
        {"61 62", TEXT_ENCODING_UTF8, "ab"},
        {"FF FE 61 00 62 01", TEXT_ENCODING_UTF16LE, "ab"}, // each unit keeps its low byte
        {"FE FF 00 61", TEXT_ENCODING_UTF16BE, ""},         // recognised, not loaded
        {"00 00 FE FF 00 00 00 61", TEXT_ENCODING_UTF32BE, ""},
        {"", TEXT_ENCODING_UTF8, ""},
    };
    for (const Case& c : cases) {
        Bytes bytes = HexBytes(c.bytes);
        auto stream = ReadOnly(bytes);
        CTextReader reader(stream.Get());
        EXPECT_EQ(reader.GetEncoding(), c.encoding) << c.bytes;
        EXPECT_EQ(reader.GetText(), c.text) << c.bytes;
    }
}

TEST(TextReader, CharactersAndLines) {
    std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xC3(x\r\nline two\n\nlast";
    Bytes bytes(text.begin(), text.end());
    auto stream = ReadOnly(bytes);
    CTextReader reader(stream.Get());
    uint32_t cp;
    const uint32_t expected[] = {'a', 0xE9, 0x20AC, 0x1F600};
    for (uint32_t e : expected) {
        ASSERT_TRUE(reader.ReadCharacter(cp));
        EXPECT_EQ(cp, e);
    }
    EXPECT_FALSE(reader.ReadCharacter(cp)) << "C3 followed by '(' is broken";
    char line[16];
    size_t length;
    ASSERT_TRUE(reader.ReadLine(line, sizeof(line), &length));
    EXPECT_STREQ(line, "x");
    ASSERT_TRUE(reader.ReadLine(line, sizeof(line), &length));
    EXPECT_STREQ(line, "line two");
    ASSERT_TRUE(reader.ReadLine(line, sizeof(line), &length));
    EXPECT_EQ(length, 0u);
    char tiny[4];
    EXPECT_FALSE(reader.ReadLine(tiny, sizeof(tiny))) << "\"last\" needs 5 bytes";
    ASSERT_TRUE(reader.ReadLine(line, sizeof(line), &length));
    EXPECT_STREQ(line, "last");
    EXPECT_FALSE(reader.ReadLine(line, sizeof(line)));
}

TEST(TextWriter, ByteOrderMarkOnlyAtStart) {
    CUnlimitedStream s;
    CTextWriter writer(&s);
    writer.Print("%s=%d\r\n", "a", 1);
    writer.Write("b");
    EXPECT_EQ(Contents(s), HexBytes("EF BB BF 61 3D 31 0D 0A 62"));
}
