#include "ByteTable.h"
#include "Engine/ArgumentArray.h"
#include "Engine/ArgumentMap.h"
#include "Engine/Context.h"
#include "Engine/MemoryStream.h"
#include "Engine/NetObjectRegistry.h"
#include "Engine/UnlimitedStream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <map>

using namespace Tessera3D;

namespace {

Strong<CArgument> Adopt(CArgument* p) { return Strong<CArgument>::Adopt(p); }

// Payload bytes of a value; also checks that GetSize announces exactly what Write produced.
Bytes Payload(const CArgument& value) {
    CUnlimitedStream stream;
    EXPECT_TRUE(value.Write(&stream)) << value.GetTypeName();
    size_t size = 0;
    EXPECT_TRUE(value.GetSize(size)) << value.GetTypeName();
    EXPECT_EQ(size, stream.GetSize()) << value.GetTypeName();
    return ToBytes(stream.GetData(), stream.GetSize());
}

// Reads bytes into the value; true only when the read succeeds and consumes every byte.
bool ReadAll(CArgument& value, const Bytes& bytes) {
    auto stream = MakeStrong<CMemoryStream>(static_cast<const void*>(bytes.data()), bytes.size());
    return value.Read(stream.Get()) && stream->Tell() == static_cast<int64_t>(bytes.size());
}

Bytes Repeat(const std::string& hex, size_t times) {
    std::string text;
    for (size_t i = 0; i < times; ++i) text += hex + " ";
    return HexBytes(text);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// An element as the replication layer will provide it: an object with a current id.
struct FakeElement : CBaseObject, INetIdentified {
    explicit FakeElement(int32_t id) : m_Id(id) {}
    int32_t GetNetworkId() const override { return m_Id; }
    CArgument* CreateArgument() override { return new CArgumentNetObject(this); }
    int32_t m_Id;
};

struct FakeRegistry : INetObjectRegistry {
    CBaseObject* FindNetObject(int32_t id) override {
        auto it = m_Elements.find(id);
        return it == m_Elements.end() ? nullptr : it->second.Get();
    }
    void Add(FakeElement* p) { m_Elements[p->m_Id] = p; }
    std::map<int32_t, Strong<FakeElement>> m_Elements;
};

// A language reference kind that refuses to be copied, as a binding's may.
struct UnclonableReference : CArgument {
    UnclonableReference() : CArgument(ARGUMENT_LUAREF) {}
};

struct CallCounter : CFunction {
    bool Call(const CArgumentArray&, CReturnValue*) override { return true; }
};

// Routes the process log into memory for the test's lifetime and hands back the warning lines.
class WarningCapture {
public:
    WarningCapture() : m_pPrevious(GGlobal.m_pContext), m_Context("") {
        m_Context.GetFileLog().Open(m_pLog.Get());
        GGlobal.m_pContext = &m_Context;
    }
    ~WarningCapture() { GGlobal.m_pContext = m_pPrevious; }

    std::vector<std::string> Warnings() const {
        const std::string text(reinterpret_cast<const char*>(m_pLog->GetData()), m_pLog->GetSize());
        const std::string prefix = "[WARN]    ";
        std::vector<std::string> lines;
        for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            const std::string line = text.substr(start, end - start);
            if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line.substr(prefix.size()));
        }
        return lines;
    }

private:
    Context* m_pPrevious;
    Strong<CUnlimitedStream> m_pLog = MakeStrong<CUnlimitedStream>();
    Context m_Context;
};

} // namespace

TEST(ScriptValues, PayloadTable) {
    const std::string text200(200, 'x');
    CMatrix4x4 matrix = CMatrix4x4::Zero();
    matrix(0, 1) = 1.0f; // row 0, column 1: the second float on the wire
    matrix(3, 0) = -2.0f;
    const uint8_t raw[] = {1, 2, 3};
    Strong<CallCounter> function = MakeStrong<CallCounter>();

    struct Case {
        const char* what;
        std::function<CArgument*()> make;
        Bytes payload;
    } cases[] = {
        {"nil", [] { return CArgument::Create(ARGUMENT_NIL); }, {}},
        {"undefined", [] { return CArgument::Create(ARGUMENT_UNDEFINED); }, {}},
        {"true", [] { return new CArgumentBoolean(true); }, HexBytes("01")},
        {"false", [] { return new CArgumentBoolean(false); }, HexBytes("00")},
        {"empty string", [] { return new CArgumentString(""); }, HexBytes("00")},
        {"abc", [] { return new CArgumentString("abc"); }, HexBytes("03 61 62 63")},
        {"200-byte string", [&] { return new CArgumentString(text200.c_str()); },
         Concat({HexBytes("C8 01"), Bytes(200, 'x')})}, // two-byte compressed length
        {"string with NUL", [] { return new CArgumentString("a\0b", 3); }, HexBytes("03 61 00 62")},
        {"int32 -2", [] { return new CArgumentInteger(-2); }, HexBytes("FE FF FF FF")},
        {"float 1", [] { return new CArgumentFloat(1.0f); }, HexBytes("00 00 80 3F")},
        {"int64", [] { return new CArgumentLongInteger(0x0102030405060708); }, HexBytes("08 07 06 05 04 03 02 01")},
        {"double 1", [] { return new CArgumentDouble(1.0); }, HexBytes("00 00 00 00 00 00 F0 3F")},
        {"vector2D (1, 2)", [] { return new CArgumentVector2D({1.0f, 2.0f}); }, HexBytes("00 00 80 3F  00 00 00 40")},
        {"vector3D (1, 2, -1)", [] { return new CArgumentVector3D({1.0f, 2.0f, -1.0f}); },
         HexBytes("00 00 80 3F  00 00 00 40  00 00 80 BF")},
        {"matrix, row by row", [&] { return new CArgumentMatrix4x4(matrix); },
         Concat({HexBytes("00 00 00 00  00 00 80 3F"), Bytes(40, 0), HexBytes("00 00 00 C0"), Bytes(12, 0)})},
        {"empty bytes", [] { return new CArgumentBytes(); }, HexBytes("00")},
        {"bytes", [&] { return new CArgumentBytes(raw, 3); }, HexBytes("03 01 02 03")},
        {"function", [&] { return new CArgumentFunction(function.Get()); }, {}},
        {"empty element value", [] { return new CArgumentNetObject(); }, HexBytes("FF FF FF FF")},
        {"array",
         [] {
             auto* p = new CArgumentArray();
             p->AddNumber(int32_t{1});
             p->AddString("a");
             p->AddNull();
             return p;
         },
         HexBytes("03"              // count
                  "  04 01 00 00 00" // int32 1
                  "  02 01 61"       // "a"
                  "  00")},          // null
        {"nested array", [] {
             auto* p = new CArgumentArray();
             auto* inner = new CArgumentArray();
             inner->AddBoolean(true);
             p->Append(inner);
             return p;
         },
         HexBytes("01  11 01  01 01")},
        {"map",
         [] {
             auto* p = new CArgumentMap();
             p->Set("k", new CArgumentInteger(7));
             p->Set("s", new CArgumentString("v"));
             return p;
         },
         HexBytes("02"                   // compressed count
                  "  04 01 6B 07 00 00 00" // type, key "k", int32 7
                  "  02 01 73 01 76")},    // type, key "s", "v"
        {"empty map", [] { return new CArgumentMap(); }, HexBytes("00")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Strong<CArgument> value = Adopt(c.make());
        EXPECT_EQ(Payload(*value), c.payload);

        // The same bytes read into a fresh value of the id write back unchanged.
        Strong<CArgument> back = Adopt(value->GetType() == ARGUMENT_NETOBJECT ? new CArgumentNetObject()
                                                                              : CArgument::Create(value->GetType()));
        ASSERT_TRUE(back);
        EXPECT_TRUE(ReadAll(*back, c.payload));
        EXPECT_EQ(Payload(*back), c.payload);
    }

    // The matrix reads back element for element.
    CArgumentMatrix4x4 matrixValue(matrix);
    Strong<CArgument> back = Adopt(CArgument::Create(ARGUMENT_MATRIX4X4));
    ASSERT_TRUE(ReadAll(*back, Payload(matrixValue)));
    CMatrix4x4 read;
    EXPECT_TRUE(back->ToMatrix4x4(read));
    EXPECT_EQ(read, matrix);
}

TEST(ScriptValues, FactoryMakesExactlyTheBareKinds) {
    const std::vector<int> makeable = {0, 1, 2, 4, 5, 8, 9, 11, 12, 15, 16, 17, 18, 19, 21};
    for (int type = 0; type < 256; ++type) {
        Strong<CArgument> value = Adopt(CArgument::Create(static_cast<uint8_t>(type)));
        const bool expected = std::find(makeable.begin(), makeable.end(), type) != makeable.end();
        EXPECT_EQ(static_cast<bool>(value), expected) << type;
        if (value) EXPECT_EQ(value->GetType(), type);
    }
    struct Name { uint8_t type; const char* enumerator; const char* name; } names[] = {
        {0, "ARGUMENT_NIL", "null"},           {3, "ARGUMENT_TABLE", "table"},
        {5, "ARGUMENT_FLOAT", "number"},       {6, "ARGUMENT_NETOBJECT", "element"},
        {7, "ARGUMENT_OBJECT", "instance"},    {10, "ARGUMENT_VECTOR4D", "Vector4D"},
        {11, "ARGUMENT_MATRIX4X4", "Matrix4x4"}, {12, "ARGUMENT_UNDEFINED", "undefined"},
        {15, "ARGUMENT_LONGINTEGER", "integer"}, {16, "ARGUMENT_DOUBLE", "number"},
        {20, "ARGUMENT_SQREF", "sqref"},       {21, "ARGUMENT_BYTES", "bytes"},
        {22, "unknown", "unknown"},            {255, "unknown", "unknown"},
    };
    for (const Name& n : names) {
        EXPECT_STREQ(GetArgumentTypeEnumName(n.type), n.enumerator);
        EXPECT_STREQ(GetArgumentTypeName(n.type), n.name);
    }
}

TEST(ScriptValues, MalformedPayloadsFailWithoutOverreading) {
    struct Case { uint8_t type; const char* bytes; } cases[] = {
        {ARGUMENT_BOOLEAN, ""},
        {ARGUMENT_STRING, "05 61 62"},                // two of five bytes
        {ARGUMENT_STRING, "FF FF FF FF 0F 61"},       // 4 GiB announced, one byte present
        {ARGUMENT_STRING, "FF FF FF FF FF"},          // a sixth length group
        {ARGUMENT_BYTES, "FF FF FF FF 0F 01 02"},
        {ARGUMENT_BYTES, "02 01"},
        {ARGUMENT_INTEGER, "01 02 03"},
        {ARGUMENT_LONGINTEGER, "01 02 03 04 05 06 07"},
        {ARGUMENT_DOUBLE, "00 00"},
        {ARGUMENT_VECTOR2D, "00 00 80 3F"},
        {ARGUMENT_VECTOR3D, "00 00 80 3F 00 00 80 3F"},
        {ARGUMENT_MATRIX4X4, "00 00 80 3F"},
        {ARGUMENT_ARRAY, ""},
        {ARGUMENT_ARRAY, "02 04 01 00 00 00"},        // second value missing
        {ARGUMENT_MAP, "01 04 01"},                   // key cut short
        {ARGUMENT_MAP, "FF FF FF FF 0F"},             // a huge count and no entries
    };
    for (const Case& c : cases) {
        Strong<CArgument> value = Adopt(CArgument::Create(c.type));
        EXPECT_FALSE(ReadAll(*value, HexBytes(c.bytes))) << GetArgumentTypeEnumName(c.type) << " " << c.bytes;
    }

    // Any non-zero boolean byte is true.
    Strong<CArgument> flag = Adopt(CArgument::Create(ARGUMENT_BOOLEAN));
    ASSERT_TRUE(ReadAll(*flag, HexBytes("02")));
    EXPECT_TRUE(flag->ToBoolean());
    EXPECT_EQ(Payload(*flag), HexBytes("01"));
}

TEST(ScriptValues, ObjectValuesNeverTravel) {
    EXPECT_EQ(CArgument::Create(ARGUMENT_NETOBJECT), nullptr);
    EXPECT_EQ(CArgument::Create(ARGUMENT_OBJECT), nullptr);

    Strong<CBaseObject> object = MakeStrong<CBaseObject>();
    Strong<CArgument> value = Adopt(object->CreateArgument());
    EXPECT_EQ(value->GetType(), ARGUMENT_OBJECT);
    EXPECT_EQ(value->ToObject(), object.Get());
    CUnlimitedStream stream;
    size_t size;
    EXPECT_FALSE(value->Write(&stream));
    EXPECT_FALSE(value->GetSize(size));
    EXPECT_FALSE(value->Read(&stream));

    // A container holding one fails to write; its size counts the object's type byte only.
    CArgumentArray array;
    array.AddNumber(int32_t{1});
    array.AddObject(object.Get());
    EXPECT_FALSE(array.Write(&stream));
    ASSERT_TRUE(array.GetSize(size));
    EXPECT_EQ(size, 1u + (1 + 4) + 1);

    CArgumentMap map;
    map.Set("o", object->CreateArgument());
    CUnlimitedStream mapStream;
    EXPECT_FALSE(map.Write(&mapStream));
}

TEST(ScriptValues, ElementValuesResolveThroughTheLookupContext) {
    FakeRegistry registry;
    registry.Add(new FakeElement(5));
    registry.m_Elements[5]->Release(); // the registry holds the only reference

    // Known id 5, unknown id 9, negative id -3.
    const Bytes bytes = HexBytes("03  06 05 00 00 00  06 09 00 00 00  06 FD FF FF FF");
    CArgumentArray array;
    array.SetLookupContext(&registry);
    ASSERT_TRUE(ReadAll(array, bytes));
    ASSERT_EQ(array.GetCount(), 3u);
    EXPECT_EQ(array[0]->ToObject(), registry.FindNetObject(5));
    EXPECT_EQ(array[1]->ToObject(), nullptr);
    EXPECT_EQ(array[2]->ToObject(), nullptr);
    EXPECT_EQ(array[0]->GetLookupContext(), &registry);
    EXPECT_EQ(Payload(array), bytes); // unknown ids travel on unchanged

    // Without a lookup context no element is found.
    CArgumentArray plain;
    ASSERT_TRUE(ReadAll(plain, bytes));
    EXPECT_EQ(plain[0]->ToObject(), nullptr);

    // Maps resolve the same way.
    CArgumentMap map;
    map.SetLookupContext(&registry);
    ASSERT_TRUE(ReadAll(map, HexBytes("01  06 01 65 05 00 00 00")));
    EXPECT_EQ(map.Get("e")->ToObject(), registry.FindNetObject(5));

    // A held element writes its current id: once destroyed (id -1) the value writes -1.
    auto* pElement = static_cast<FakeElement*>(registry.FindNetObject(5));
    Strong<CArgument> held = Adopt(pElement->CreateArgument());
    Strong<CArgument> copy = Adopt(held->Clone());
    EXPECT_EQ(Payload(*held), HexBytes("05 00 00 00"));
    pElement->m_Id = -1;
    EXPECT_EQ(Payload(*held), HexBytes("FF FF FF FF"));
    EXPECT_EQ(copy->ToObject(), pElement);
    EXPECT_EQ(Payload(*copy), HexBytes("FF FF FF FF"));

    // Array values are the elements' own argument form.
    CArgumentArray added;
    added.AddObject(pElement);
    EXPECT_EQ(added[0]->GetType(), ARGUMENT_NETOBJECT);
}

TEST(ScriptValues, ContainerReadFailuresWarnAndKeepWhatWasRead) {
    struct Case {
        const char* what;
        bool map;
        const char* bytes;
        const char* warning; // "" when the failure is silent
        size_t kept;
    } cases[] = {
        {"object in array", false, "03  04 01 00 00 00  07  00", "CArgument::Create(ARGUMENT_OBJECT) - Failed. (Argument 2 of 3)", 1},
        {"reserved id in array", false, "01  03", "CArgument::Create(ARGUMENT_TABLE) - Failed. (Argument 1 of 1)", 0},
        {"id above 21 in array", false, "02  00  C8", "CArgument::Create(unknown) - Failed. (Argument 2 of 2)", 1},
        {"short value in array", false, "02  00  02 05 61", "CArgument::Create(ARGUMENT_STRING)->Read(pStream) - Failed. (Argument 2 of 2)", 1},
        {"object in map", true, "02  00 01 61  07 01 62", "CArgument::Create(ARGUMENT_OBJECT) - Failed", 1},
        {"short value in map", true, "01  04 01 61 01 00", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WarningCapture capture;
        Strong<CArgument> value = Adopt(c.map ? static_cast<CArgument*>(new CArgumentMap()) : new CArgumentArray());
        EXPECT_FALSE(ReadAll(*value, HexBytes(c.bytes)));
        const size_t count = c.map ? static_cast<CArgumentMap*>(value.Get())->GetCount()
                                   : static_cast<CArgumentArray*>(value.Get())->GetCount();
        EXPECT_EQ(count, c.kept);
        const std::vector<std::string> warnings = capture.Warnings();
        if (c.warning[0] == '\0') {
            EXPECT_TRUE(warnings.empty());
        } else {
            ASSERT_EQ(warnings.size(), 1u);
            EXPECT_EQ(warnings[0], c.warning);
        }
    }
}

TEST(ScriptValues, ArrayAddFamily) {
    CArgumentArray array;
    array.AddObject(nullptr);
    EXPECT_EQ(array[0]->GetType(), ARGUMENT_NIL);

    // A value that cannot be cloned still grows the array, as undefined.
    UnclonableReference reference;
    array.Add(&reference);
    ASSERT_EQ(array.GetCount(), 2u);
    EXPECT_EQ(array[1]->GetType(), ARGUMENT_UNDEFINED);

    // Add copies: the array's value is independent of the original.
    CArgumentString original("before");
    array.Add(&original);
    original.SetString("after");
    EXPECT_STREQ(array[2]->ToString(), "before");

    array.AddNumber(int64_t{5});
    array.AddNumber(2.5f);
    array.AddNumber(2.5);
    array.AddString("abc", 2);
    const uint8_t raw[] = {9};
    array.AddBytes(raw, 1);
    const uint8_t expectedTypes[] = {ARGUMENT_NIL, ARGUMENT_UNDEFINED, ARGUMENT_STRING, ARGUMENT_LONGINTEGER,
                                     ARGUMENT_FLOAT, ARGUMENT_DOUBLE, ARGUMENT_STRING, ARGUMENT_BYTES};
    ASSERT_EQ(array.GetCount(), sizeof(expectedTypes));
    for (size_t i = 0; i < sizeof(expectedTypes); ++i) EXPECT_EQ(array[i]->GetType(), expectedTypes[i]) << i;
    EXPECT_STREQ(array[6]->ToString(), "ab");
    EXPECT_EQ(array.Get(100), nullptr);

    // Move hands the values over without touching their counts and empties the target first.
    CArgument* pFirst = array[0];
    const int32_t count = pFirst->GetRefCount();
    CReturnValue result;
    result.AddBoolean(true);
    array.Move(&result);
    EXPECT_TRUE(array.IsEmpty());
    ASSERT_EQ(result.GetCount(), sizeof(expectedTypes));
    EXPECT_EQ(result.GetReturnArgument(), pFirst);
    EXPECT_EQ(pFirst->GetRefCount(), count);
    result.Clear();
    EXPECT_EQ(result.GetReturnArgument(), nullptr);
}

TEST(ScriptValues, ArraysOfMoreThan255ValuesRefuseToWrite) {
    CArgumentArray array;
    for (int i = 0; i < 255; ++i) array.AddBoolean(true);
    const Bytes full = Payload(array);
    ASSERT_EQ(full.size(), 1u + 255 * 2);
    EXPECT_EQ(full[0], 0xFF);

    array.AddBoolean(true);
    CUnlimitedStream stream;
    size_t size;
    EXPECT_FALSE(array.Write(&stream));
    EXPECT_FALSE(array.GetSize(size));
    EXPECT_EQ(stream.GetSize(), 0u); // refused before the count byte, which would have wrapped to 0
}

TEST(ScriptValues, MapSetRemoveAndOrderIndependence) {
    CArgumentMap map;
    CArgument* pValue = new CArgumentInteger(1);
    map.Set("k", pValue);
    EXPECT_EQ(pValue->GetRefCount(), 1);
    map.Set("k", pValue); // the very value already stored
    EXPECT_EQ(pValue->GetRefCount(), 1);
    EXPECT_EQ(map.GetCount(), 1u);
    EXPECT_EQ(map.Get("k"), pValue);

    // Replacing releases the old value.
    pValue->AddRef();
    map.Set("k", new CArgumentString("new"));
    EXPECT_EQ(pValue->GetRefCount(), 1);
    pValue->Release();
    EXPECT_STREQ(map.Get("k")->ToString(), "new");

    // Keys are exact byte strings.
    EXPECT_EQ(map.Get("K"), nullptr);
    map.Set(std::string_view("a\0b", 3), new CArgumentBoolean(true));
    EXPECT_EQ(map.Get("a"), nullptr);
    EXPECT_NE(map.Get(std::string_view("a\0b", 3)), nullptr);

    EXPECT_TRUE(map.Remove("k"));
    EXPECT_FALSE(map.Remove("k"));
    EXPECT_EQ(map.GetCount(), 1u);
    EXPECT_NE(map.Get(std::string_view("a\0b", 3)), nullptr);

    // Two entries in either order, and a repeated key whose later value wins.
    for (const char* bytes : {"02  04 01 61 01 00 00 00  02 01 62 01 78", "02  02 01 62 01 78  04 01 61 01 00 00 00",
                              "03  04 01 61 09 00 00 00  02 01 62 01 78  04 01 61 01 00 00 00"}) {
        CArgumentMap read;
        ASSERT_TRUE(ReadAll(read, HexBytes(bytes))) << bytes;
        EXPECT_EQ(read.GetCount(), 2u);
        int32_t a = 0;
        ASSERT_NE(read.Get("a"), nullptr);
        EXPECT_TRUE(read.Get("a")->ToNumber(a));
        EXPECT_EQ(a, 1);
        ASSERT_NE(read.Get("b"), nullptr);
        EXPECT_STREQ(read.Get("b")->ToString(), "x");
    }
}

TEST(ScriptValues, NestingIsBoundedOnReadAndWrite) {
    // Depth d: d - 1 arrays holding one array each, the innermost empty.
    auto nested = [](size_t depth) { return Concat({Repeat("01 11", depth - 1), HexBytes("00")}); };
    CArgumentArray ok;
    EXPECT_TRUE(ReadAll(ok, nested(MAX_ARGUMENT_NESTING)));
    EXPECT_EQ(Payload(ok), nested(MAX_ARGUMENT_NESTING));

    {
        WarningCapture quiet;
        CArgumentArray tooDeep;
        EXPECT_FALSE(ReadAll(tooDeep, nested(MAX_ARGUMENT_NESTING + 1)));
        CArgumentArray hostile;
        EXPECT_FALSE(ReadAll(hostile, nested(200000)));
        // Maps count toward the same bound.
        CArgumentMap mapped;
        EXPECT_FALSE(ReadAll(mapped, Concat({Repeat("01 12 00", 100), HexBytes("00")})));
    }

    // A structure built deeper than the bound is not written (it could not be read back); its size
    // counts the unwritable innermost container as its type byte only, as for any unwritable value.
    Strong<CArgumentArray> top = MakeStrong<CArgumentArray>();
    CArgumentArray* pLevel = top.Get();
    for (unsigned i = 0; i < MAX_ARGUMENT_NESTING; ++i) {
        auto* pInner = new CArgumentArray();
        pLevel->Append(pInner);
        pLevel = pInner;
    }
    CUnlimitedStream stream;
    EXPECT_FALSE(top->Write(&stream));
    size_t size;
    ASSERT_TRUE(top->GetSize(size));
    EXPECT_EQ(size, 2u * MAX_ARGUMENT_NESTING);
}

TEST(ScriptValues, NumberConversions) {
    struct Case {
        CArgument* value;
        int32_t i32;
        uint32_t u32;
        int64_t i64;
        uint64_t u64;
        float f;
        double d;
    } cases[] = {
        {new CArgumentInteger(-7), -7, static_cast<uint32_t>(-7), -7, static_cast<uint64_t>(-7), -7.0f, -7.0},
        {new CArgumentFloat(-2.75f), -2, 0, -2, 0, -2.75f, -2.75}, // truncation toward zero, saturation at 0
        {new CArgumentDouble(1e20), INT32_MAX, UINT32_MAX, INT64_MAX, UINT64_MAX, 1e20f, 1e20},
        {new CArgumentDouble(-1e20), INT32_MIN, 0, INT64_MIN, 0, -1e20f, -1e20},
        {new CArgumentLongInteger(0x100000002), 2, 2, 0x100000002, 0x100000002, 4294967296.0f, 4294967298.0},
        {new CArgumentDouble(std::nan("")), 0, 0, 0, 0, std::nanf(""), std::nan("")},
    };
    for (const Case& c : cases) {
        Strong<CArgument> value = Adopt(c.value);
        SCOPED_TRACE(value->GetTypeName());
        int32_t i32;
        uint32_t u32;
        int64_t i64;
        uint64_t u64;
        float f;
        double d;
        ASSERT_TRUE(value->ToNumber(i32) && value->ToNumber(u32) && value->ToNumber(i64) && value->ToNumber(u64) &&
                    value->ToNumber(f) && value->ToNumber(d));
        EXPECT_EQ(i32, c.i32);
        EXPECT_EQ(u32, c.u32);
        EXPECT_EQ(i64, c.i64);
        EXPECT_EQ(u64, c.u64);
        if (std::isnan(c.d)) {
            EXPECT_TRUE(std::isnan(f) && std::isnan(d));
        } else {
            EXPECT_EQ(f, c.f);
            EXPECT_EQ(d, c.d);
        }
    }

    // Another kind gives the defined empty result.
    CArgumentString text("12");
    int32_t number = 99;
    EXPECT_FALSE(text.ToNumber(number));
    EXPECT_EQ(number, 0);
    EXPECT_FALSE(text.ToBoolean());
    CVector3D vector(1, 2, 3);
    EXPECT_FALSE(text.ToVector3D(vector));
    EXPECT_EQ(vector, CVector3D());
    EXPECT_EQ(text.ToObject(), nullptr);
    EXPECT_EQ(text.ToFunction(), nullptr);
    CArgumentInteger integer(1);
    size_t length = 5;
    EXPECT_STREQ(integer.ToString(&length), "");
    EXPECT_EQ(length, 0u);
}

TEST(ScriptValues, KindGroupsAndClones) {
    struct Kind { uint8_t type; bool number, object, null; } kinds[] = {
        {ARGUMENT_NIL, false, false, true},        {ARGUMENT_UNDEFINED, false, false, true},
        {ARGUMENT_INTEGER, true, false, false},    {ARGUMENT_FLOAT, true, false, false},
        {ARGUMENT_LONGINTEGER, true, false, false}, {ARGUMENT_DOUBLE, true, false, false},
        {ARGUMENT_STRING, false, false, false},    {ARGUMENT_MAP, false, false, false},
    };
    for (const Kind& k : kinds) {
        Strong<CArgument> value = Adopt(CArgument::Create(k.type));
        EXPECT_EQ(value->IsNumber(), k.number) << int(k.type);
        EXPECT_EQ(value->IsObject(), k.object) << int(k.type);
        EXPECT_EQ(value->IsNull(), k.null) << int(k.type);
        Strong<CArgument> copy = Adopt(value->Clone());
        ASSERT_TRUE(copy);
        EXPECT_NE(copy.Get(), value.Get());
        EXPECT_EQ(copy->GetType(), k.type);
        EXPECT_EQ(copy->GetRefCount(), 1);
    }
    CArgumentNetObject element;
    EXPECT_TRUE(element.IsObject() && element.IsNetObject());

    // References are shared, not copied.
    Strong<CallCounter> function = MakeStrong<CallCounter>();
    CArgumentFunction functionValue(function.Get());
    Strong<CArgument> functionCopy = Adopt(functionValue.Clone());
    EXPECT_EQ(functionCopy->ToFunction(), function.Get());

    // Containers clone element by element with their lookup context, and fail on an unclonable value.
    FakeRegistry registry;
    CArgumentMap map;
    map.SetLookupContext(&registry);
    map.Set("s", new CArgumentString("x"));
    Strong<CArgumentMap> mapCopy = Strong<CArgumentMap>::Adopt(map.Clone());
    ASSERT_TRUE(mapCopy);
    EXPECT_EQ(mapCopy->GetLookupContext(), &registry);
    EXPECT_NE(mapCopy->Get("s"), map.Get("s"));
    EXPECT_EQ(mapCopy->Get("s")->GetLookupContext(), &registry);
    EXPECT_EQ(Payload(*mapCopy), Payload(map));
    map.Set("r", new UnclonableReference());
    EXPECT_EQ(map.Clone(), nullptr);

    CArgumentArray array;
    array.Append(new UnclonableReference());
    EXPECT_EQ(array.Clone(), nullptr);
}
