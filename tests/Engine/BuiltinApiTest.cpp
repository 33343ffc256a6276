// The host's built-in API called as a binding calls it: global functions, platform namespaces,
// streams, text readers, matrices, vectors and the built-in constants.
#include "NativeCallHelpers.h"

#include "Engine/DefineHandlers.h"
#include "Engine/MemoryStream.h"
#include "Engine/ObjectValue.h"
#include "Engine/ScriptStream.h"
#include "Engine/UnlimitedStream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace Tessera3D;
using namespace NativeCall;

namespace {

struct BuiltinApi : ::testing::Test {
    CScripting m_Host;

    const ReflectedFunction* Global(const char* name) { return m_Host.m_Global.FindFunction(name); }
    const ReflectedFunction* Method(ReflectedClass* pClass, const char* name) { return pClass->FindFunction(name); }

    // A new script object of the class, made by its constructor with these arguments.
    Strong<CBaseObject> Construct(ReflectedClass* pClass, std::initializer_list<CArgument*> args) {
        tResult result = Call(&m_Host, pClass->m_Constructor.m_Function, pClass->m_Constructor.m_pUser, args);
        EXPECT_TRUE(result.m_bOk) << result.m_Error;
        return Strong<CBaseObject>(result.Object());
    }

    // A stream object over the stream, as natives hand streams to scripts.
    Strong<CBaseObject> WrapStream(Stream* pStream) {
        CNativeState state(&m_Host, nullptr, nullptr);
        EXPECT_TRUE(state.ReturnStream(pStream));
        return Strong<CBaseObject>(state.m_RVal.GetReturnArgument()->ToObject());
    }
    Strong<CBaseObject> WrapBytes(const std::string& bytes) {
        auto* pStream = new CUnlimitedStream();
        pStream->Write(bytes.data(), bytes.size());
        pStream->Seek(0, SEEK_ORIGIN_BEGIN);
        Strong<CBaseObject> pObject = WrapStream(pStream);
        pStream->Release();
        return pObject;
    }
};

} // namespace

TEST_F(BuiltinApi, ToColour) {
    const struct {
        std::vector<CArgument*> m_Args;
        int32_t m_Colour;
        const char* m_Error;
    } cases[] = {
        {{Int(255), Int(0), Int(0)}, -65536, nullptr},
        {{Int(300), Int(0), Int(0), Int(0)}, 44 << 16, nullptr},
        {{Int(1), Int(2), Int(3), Int(4)}, 0x04010203, nullptr},
        {{Float(255.9f), Double(128), Long(0x1FF)}, static_cast<int32_t>(0xFFFF80FFu), nullptr},
        {{Str("red"), Int(0), Int(0)}, 0, "Expected integer for argument 1"},
        {{Int(1), Int(2)}, 0, "Expected integer for argument 3"},
        {{Int(1), Int(2), Int(3), Bool(true)}, 0, "Expected integer for argument 4"},
    };
    for (const auto& c : cases) {
        CArgumentArray arguments;
        for (CArgument* pValue : c.m_Args) arguments.Append(pValue);
        CNativeState state(&m_Host, nullptr, &arguments);
        const bool bResult = state.Call(Global("toColour")->m_Function, nullptr);
        if (c.m_Error) {
            EXPECT_FALSE(bResult);
            EXPECT_STREQ(GetLastError(), c.m_Error);
        } else {
            ASSERT_TRUE(bResult) << GetLastError();
            int32_t colour = 0;
            ASSERT_TRUE(state.m_RVal.GetReturnArgument()->ToNumber(colour));
            EXPECT_EQ(colour, c.m_Colour);
            EXPECT_EQ(state.m_RVal.GetReturnArgument()->GetType(), ARGUMENT_INTEGER);
        }
    }
}

TEST_F(BuiltinApi, InPoly) {
    const ReflectedFunction* pInPoly = Global("inPoly");
    auto square = [] { return std::vector<CArgument*>{Vec2(0, 0), Vec2(10, 0), Vec2(10, 10), Vec2(0, 10)}; };
    auto call = [&](CArgument* pPoint, std::vector<CArgument*> vertices) {
        CArgumentArray arguments;
        arguments.Append(pPoint);
        for (CArgument* pValue : vertices) arguments.Append(pValue);
        CNativeState state(&m_Host, nullptr, &arguments);
        tResult result;
        result.m_bOk = state.Call(pInPoly->m_Function, nullptr);
        result.m_Error = result.m_bOk ? "" : GetLastError();
        if (result.m_bOk) result.m_pValue = state.m_RVal.GetReturnArgument();
        return result;
    };
    auto inside = [](const tResult& r) { return r.m_bOk && r.m_pValue->IsBoolean() && r.m_pValue->ToBoolean(); };
    EXPECT_TRUE(inside(call(Vec2(5, 5), square())));
    EXPECT_FALSE(inside(call(Vec2(15, 5), square())));
    EXPECT_FALSE(inside(call(Vec2(5, -1), square())));
    EXPECT_TRUE(inside(call(Array({Int(5), Int(5)}), square())));
    // On the vertical edge at x = 10 the steep slope counts the crossing; x = 0 is outside (strict min).
    EXPECT_TRUE(inside(call(Vec2(10, 5), square())));
    EXPECT_FALSE(inside(call(Vec2(0, 5), square())));
    EXPECT_TRUE(inside(call(Vec2(2, 1), {Vec2(0, 0), Vec2(10, 0), Vec2(0, 10)})));
    EXPECT_FALSE(inside(call(Vec2(8, 8), {Vec2(0, 0), Vec2(10, 0), Vec2(0, 10)})));
    tResult empty = call(Vec2(1, 1), {});
    EXPECT_TRUE(empty.m_bOk);
    EXPECT_FALSE(inside(empty));

    std::vector<CArgument*> many;
    for (int i = 0; i < 128; ++i) many.push_back(Vec2(std::cos(i * 0.049f) * 10, std::sin(i * 0.049f) * 10));
    EXPECT_TRUE(call(Vec2(0, 0), many).m_bOk);
    many.clear();
    for (int i = 0; i < 129; ++i) many.push_back(Vec2(float(i), 0));
    EXPECT_EQ(call(Vec2(0, 0), many).m_Error, "Too many points");
    EXPECT_EQ(call(Vec2(0, 0), {Vec2(0, 0), Vec3(1, 1, 1)}).m_Error, "Expected Vector2D for argument 3");
    EXPECT_EQ(call(Str("p"), square()).m_Error, "Expected Vector2D for argument 1");
}

TEST_F(BuiltinApi, PlatformNamespacesAndGarbageCollection) {
    ReflectedNamespace* pSDL = m_Host.m_Global.FindNamespace("sdl");
    ReflectedNamespace* pPlatform = m_Host.m_Global.FindNamespace("platform");
    ASSERT_TRUE(pSDL && pPlatform);
    EXPECT_EQ(Get(&m_Host, pSDL->FindProperty("platform")).String(), "Linux");
    EXPECT_EQ(Get(&m_Host, pPlatform->FindProperty("name")).String(), "Linux");
    EXPECT_EQ(Get(&m_Host, pPlatform->FindProperty("modState")).Int(), 0);
    EXPECT_EQ(Call(&m_Host, pSDL->FindFunction("getModState"), {}).Int(), 0);
    for (ReflectedProperty* pTicks : {pSDL->FindProperty("ticks"), pPlatform->FindProperty("ticks")}) {
        ASSERT_NE(pTicks, nullptr);
        EXPECT_TRUE(pTicks->IsReadOnly());
        const tResult first = Get(&m_Host, pTicks);
        const tResult second = Get(&m_Host, pTicks);
        ASSERT_EQ(first.m_pValue->GetType(), ARGUMENT_INTEGER);
        EXPECT_GE(first.Int(), 0);
        EXPECT_GE(second.Int(), first.Int());
    }
    for (const char* name : {"platform", "ticks"}) EXPECT_TRUE(pSDL->FindProperty(name)->IsReadOnly());
    tResult collected = Call(&m_Host, Global("collectAllGarbage"), {});
    EXPECT_TRUE(collected.m_bOk);
    EXPECT_FALSE(collected.HasValue());
}

TEST_F(BuiltinApi, StreamReads) {
    ReflectedClass* pStream = m_Host.GetStreamClass();
    const struct {
        const char* m_Method;
        std::string m_Bytes;
        int64_t m_Integer;
    } integers[] = {
        {"readInt8", "\x80", -128},
        {"readUInt8", "\x80", 128},
        {"readInt16", std::string("\xFE\xFF", 2), -2},
        {"readUInt16", std::string("\xFE\xFF", 2), 65534},
        {"readInt32", std::string("\x01\x02\x03\x04", 4), 0x04030201},
        {"readUInt32", std::string("\xFF\xFF\xFF\xFF", 4), -1},
        {"readInt64", std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 8), -1},
        {"readUInt64", std::string("\x00\x00\x00\x00\x01\x00\x00\x00", 8), 0x100000000LL},
    };
    for (const auto& c : integers) {
        Strong<CBaseObject> pObject = WrapBytes(c.m_Bytes);
        tResult result = Call(&m_Host, Method(pStream, c.m_Method), {}, pObject.Get());
        ASSERT_TRUE(result.m_bOk) << c.m_Method << ": " << result.m_Error;
        EXPECT_EQ(result.Long(), c.m_Integer) << c.m_Method;
        EXPECT_EQ(result.m_pValue->GetType(), c.m_Bytes.size() == 8 ? ARGUMENT_LONGINTEGER : ARGUMENT_INTEGER) << c.m_Method;
        // A read past the end fails without closing the stream.
        EXPECT_EQ(Call(&m_Host, Method(pStream, c.m_Method), {}, pObject.Get()).m_Error, "unable to read") << c.m_Method;
        EXPECT_EQ(Get(&m_Host, pStream->FindProperty("position"), pObject.Get()).Long(), int64_t(c.m_Bytes.size()));
    }

    float f = 1.5f;
    double d = -2.25;
    Strong<CBaseObject> pFloats = WrapBytes(std::string(reinterpret_cast<char*>(&f), 4) + std::string(reinterpret_cast<char*>(&d), 8));
    EXPECT_EQ(Call(&m_Host, Method(pStream, "readFloat"), {}, pFloats.Get()).Number(), 1.5);
    tResult readDouble = Call(&m_Host, Method(pStream, "readDouble"), {}, pFloats.Get());
    EXPECT_EQ(readDouble.Number(), -2.25);
    EXPECT_EQ(readDouble.m_pValue->GetType(), ARGUMENT_DOUBLE);

    Strong<CBaseObject> pText = WrapBytes(std::string("\x03" "abc" "xyz" "\x05" "ab", 11));
    EXPECT_EQ(Get(&m_Host, pStream->FindProperty("length"), pText.Get()).Long(), 11);
    EXPECT_EQ(Call(&m_Host, Method(pStream, "readString"), {}, pText.Get()).String(), "abc");
    tResult bytes = Call(&m_Host, Method(pStream, "readBytes"), {Int(3)}, pText.Get());
    ASSERT_TRUE(bytes.m_bOk);
    ASSERT_TRUE(bytes.m_pValue->IsBytes());
    EXPECT_EQ(static_cast<CArgumentBytes*>(bytes.m_pValue.Get())->GetBytes(), (std::vector<uint8_t>{'x', 'y', 'z'}));
    EXPECT_EQ(Call(&m_Host, Method(pStream, "readString"), {}, pText.Get()).m_Error, "unable to read string");
    // A huge count reads what there is and fails; nothing of that size is reserved.
    Strong<CBaseObject> pShort = WrapBytes("ab");
    EXPECT_EQ(Call(&m_Host, Method(pStream, "readBytes"), {Long(INT64_MAX)}, pShort.Get()).m_Error, "unable to read");
    EXPECT_EQ(Call(&m_Host, Method(pStream, "readBytes"), {Str("2")}, pShort.Get()).m_Error, "Expected integer for argument 1");
}

TEST_F(BuiltinApi, StreamWrites) {
    ReflectedClass* pStream = m_Host.GetStreamClass();
    auto* pBuffer = new CUnlimitedStream();
    Strong<CBaseObject> pObject = WrapStream(pBuffer);
    const struct {
        const char* m_Method;
        CArgument* (*m_Make)();
        std::string m_Bytes;
    } writes[] = {
        {"writeInt8", [] { return Int(-1); }, "\xFF"},
        {"writeUInt8", [] { return Int(0x1FF); }, "\xFF"},
        {"writeInt16", [] { return Int(-2); }, "\xFE\xFF"},
        {"writeUInt16", [] { return Float(258.7f); }, "\x02\x01"},
        {"writeInt32", [] { return Int(0x04030201); }, "\x01\x02\x03\x04"},
        {"writeUInt32", [] { return Long(0x1FFFFFFFFLL); }, "\xFF\xFF\xFF\xFF"},
        {"writeInt64", [] { return Int(-1); }, "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"},
        {"writeUInt64", [] { return Long(1); }, std::string("\x01\0\0\0\0\0\0\0", 8)},
        {"writeFloat", [] { return Int(1); }, std::string("\0\0\x80\x3F", 4)},
        {"writeDouble", [] { return Float(2); }, std::string("\0\0\0\0\0\0\0\x40", 8)},
        {"writeString", [] { return Str("abc"); }, "\x03" "abc"},
        {"writeBytes", [] { return Bytes(std::string("\0\1", 2)); }, std::string("\0\1", 2)},
        {"writeBytes", [] { return Str("hi"); }, "hi"},
    };
    for (const auto& c : writes) {
        const int64_t before = pBuffer->Tell();
        tResult result = Call(&m_Host, Method(pStream, c.m_Method), {c.m_Make()}, pObject.Get());
        ASSERT_TRUE(result.m_bOk) << c.m_Method << ": " << result.m_Error;
        EXPECT_FALSE(result.HasValue()) << c.m_Method;
        std::string written(static_cast<size_t>(pBuffer->Tell() - before), '\0');
        pBuffer->Seek(before, SEEK_ORIGIN_BEGIN);
        pBuffer->Read(&written[0], written.size());
        EXPECT_EQ(written, c.m_Bytes) << c.m_Method;
    }
    pBuffer->Release();

    EXPECT_EQ(Call(&m_Host, Method(pStream, "writeBytes"), {Int(1)}, pObject.Get()).m_Error, "Expected bytes for argument 1");
    EXPECT_EQ(Call(&m_Host, Method(pStream, "writeFloat"), {Str("1")}, pObject.Get()).m_Error, "Expected number for argument 1");
    EXPECT_EQ(Call(&m_Host, Method(pStream, "writeInt32"), {}, pObject.Get()).m_Error, "Expected integer for argument 1");
    EXPECT_EQ(Call(&m_Host, Method(pStream, "writeString"), {Int(3)}, pObject.Get()).m_Error, "Expected string for argument 1");

    // A read-only block refuses every write.
    static const uint8_t block[4] = {};
    Strong<CBaseObject> pReadOnly = WrapStream(MakeStrong<CMemoryStream>(block, sizeof(block)).Get());
    EXPECT_EQ(Call(&m_Host, Method(pStream, "writeInt8"), {Int(1)}, pReadOnly.Get()).m_Error, "unable to write");
    EXPECT_EQ(Call(&m_Host, Method(pStream, "writeBytes"), {Str("x")}, pReadOnly.Get()).m_Error, "unable to write bytes");
    EXPECT_EQ(Call(&m_Host, Method(pStream, "writeString"), {Str("x")}, pReadOnly.Get()).m_Error, "unable to write string");
}

TEST_F(BuiltinApi, StreamLinesCloseAndThis) {
    ReflectedClass* pStream = m_Host.GetStreamClass();
    const std::string longLine(3000, 'x');
    Strong<CBaseObject> pObject = WrapBytes("first\r\n" + longLine + "\nlast");
    const ReflectedFunction* pReadLine = Method(pStream, "readLine");
    EXPECT_EQ(Call(&m_Host, pReadLine, {}, pObject.Get()).String(), "first");
    // A line longer than the line buffer comes whole instead of ending the text.
    EXPECT_EQ(Call(&m_Host, pReadLine, {}, pObject.Get()).String(), longLine);
    EXPECT_EQ(Call(&m_Host, pReadLine, {}, pObject.Get()).String(), "last");
    tResult end = Call(&m_Host, pReadLine, {}, pObject.Get());
    EXPECT_TRUE(end.m_bOk);
    EXPECT_TRUE(end.m_pValue->IsNil());

    EXPECT_TRUE(Call(&m_Host, Method(pStream, "close"), {}, pObject.Get()).m_bOk);
    EXPECT_EQ(Call(&m_Host, Method(pStream, "close"), {}, pObject.Get()).m_Error, "stream already closed");
    EXPECT_EQ(Get(&m_Host, pStream->FindProperty("length"), pObject.Get()).m_Error, "stream already closed");
    EXPECT_EQ(Get(&m_Host, pStream->FindProperty("position"), pObject.Get()).m_Error, "stream already closed");
    for (const char* method : {"readInt8", "readString", "readLine", "readDouble"})
        EXPECT_EQ(Call(&m_Host, Method(pStream, method), {}, pObject.Get()).m_Error, "stream closed") << method;
    EXPECT_EQ(Call(&m_Host, Method(pStream, "writeInt8"), {Int(1)}, pObject.Get()).m_Error, "stream closed");
    EXPECT_EQ(Call(&m_Host, Method(pStream, "readBytes"), {Int(1)}, pObject.Get()).m_Error, "stream closed");

    Strong<CBaseObject> pVector = Construct(m_Host.GetVector3DClass(), {});
    EXPECT_EQ(Call(&m_Host, Method(pStream, "readInt8"), {}, pVector.Get()).m_Error, "Stream expected for 'this'");
    EXPECT_EQ(Call(&m_Host, Method(pStream, "readInt8"), {}).m_Error, "'this' is null");
    EXPECT_TRUE(pStream->FindProperty("length")->IsReadOnly());
    EXPECT_EQ(pStream->FindProperty("length")->m_Type, ARGUMENT_LONGINTEGER);
}

TEST_F(BuiltinApi, TextReader) {
    ReflectedClass* pClass = m_Host.GetTextReaderClass();
    Strong<CBaseObject> pStream = WrapBytes("\xEF\xBB\xBF" "h\xC3\xA9" "\nline two\n");
    Strong<CBaseObject> pReader = Construct(pClass, {Obj(pStream.Get())});
    ASSERT_TRUE(pReader);
    EXPECT_EQ(pReader->GetReflectedClass(), pClass);
    // The reader keeps its own reference: closing the script stream does not end the text.
    static_cast<CScriptStream*>(pStream.Get())->Close();
    EXPECT_EQ(Call(&m_Host, Method(pClass, "loadText"), {}, pReader.Get()).String(), "h\xC3\xA9\nline two\n");
    EXPECT_EQ(Call(&m_Host, Method(pClass, "loadText"), {}, pReader.Get()).String(), "h\xC3\xA9\nline two\n");
    EXPECT_EQ(Call(&m_Host, Method(pClass, "readCharacter"), {}, pReader.Get()).Int(), 'h');
    EXPECT_EQ(Call(&m_Host, Method(pClass, "readCharacter"), {}, pReader.Get()).Int(), 0xE9);
    EXPECT_EQ(Call(&m_Host, Method(pClass, "readLine"), {}, pReader.Get()).String(), "");
    EXPECT_EQ(Call(&m_Host, Method(pClass, "readLine"), {}, pReader.Get()).String(), "line two");
    EXPECT_TRUE(Call(&m_Host, Method(pClass, "readLine"), {}, pReader.Get()).m_pValue->IsNil());
    EXPECT_TRUE(Call(&m_Host, Method(pClass, "readCharacter"), {}, pReader.Get()).m_pValue->IsNil());

    EXPECT_TRUE(Call(&m_Host, Method(pClass, "close"), {}, pReader.Get()).m_bOk);
    EXPECT_TRUE(Call(&m_Host, Method(pClass, "close"), {}, pReader.Get()).m_bOk);
    for (const char* method : {"loadText", "readLine", "readCharacter"})
        EXPECT_EQ(Call(&m_Host, Method(pClass, method), {}, pReader.Get()).m_Error, "TextReader is closed") << method;
    EXPECT_EQ(Call(&m_Host, Method(pClass, "close"), {}, pStream.Get()).m_Error, "TextReader expected for 'this'");

    // Text that cannot be loaded (UTF-16 big-endian) gives null.
    Strong<CBaseObject> pWide = WrapBytes(std::string("\xFE\xFF\0a", 4));
    Strong<CBaseObject> pWideReader = Construct(pClass, {Obj(pWide.Get())});
    EXPECT_TRUE(Call(&m_Host, Method(pClass, "loadText"), {}, pWideReader.Get()).m_pValue->IsNil());

    const ReflectedHook& constructor = pClass->m_Constructor;
    EXPECT_EQ(Call(&m_Host, constructor.m_Function, constructor.m_pUser, {Str("file")}).m_Error, "Expected Stream for argument 1");
    EXPECT_EQ(Call(&m_Host, constructor.m_Function, constructor.m_pUser, {Obj(pStream.Get())}).m_Error, "Stream closed");
}

namespace {
CMatrix4x4 Scale(float s) {
    CMatrix4x4 m = CMatrix4x4::Zero();
    m(0, 0) = m(1, 1) = m(2, 2) = s;
    m(3, 3) = 1;
    return m;
}
void ExpectNear(const CVector3D& a, const CVector3D& b) {
    EXPECT_NEAR(a.x, b.x, 1e-5f);
    EXPECT_NEAR(a.y, b.y, 1e-5f);
    EXPECT_NEAR(a.z, b.z, 1e-5f);
}
} // namespace

TEST_F(BuiltinApi, Matrix) {
    ReflectedClass* pClass = m_Host.GetMatrixClass();
    Strong<CBaseObject> pObject = Construct(pClass, {});
    auto* pMatrix = dynamic_cast<CMatrix4x4Object*>(pObject.Get());
    ASSERT_NE(pMatrix, nullptr);
    EXPECT_EQ(pMatrix->m_Value, CMatrix4x4::Identity());
    auto call = [&](const char* method, std::initializer_list<CArgument*> args) {
        return Call(&m_Host, Method(pClass, method), args, pObject.Get());
    };

    ASSERT_TRUE(call("setTranslate", {Array({Int(1), Int(2), Int(3)})}).m_bOk);
    ExpectNear(call("transformCoordinate", {Vec3(1, 1, 1)}).Vector3D(), CVector3D(2, 3, 4));
    ExpectNear(call("getVector3", {Int(3)}).Vector3D(), CVector3D(1, 2, 3));
    EXPECT_EQ(call("getElement", {Int(13)}).Number(), 2.0);
    EXPECT_EQ(call("getElement", {Int(16)}).m_Error, "invalid index");
    EXPECT_EQ(call("getElement", {Int(-1)}).m_Error, "invalid index");
    EXPECT_EQ(call("setElement", {Int(16), Float(1)}).m_Error, "invalid index");
    EXPECT_EQ(call("getVector3", {Int(4)}).m_Error, "invalid index");
    ASSERT_TRUE(call("setElement", {Int(1), Float(9)}).m_bOk);
    EXPECT_EQ(Get(&m_Host, pClass->FindProperty("m12"), pObject.Get()).Number(), 9.0);
    ASSERT_TRUE(Set(&m_Host, pClass->FindProperty("m43"), Float(-5), pObject.Get()).m_bOk);
    EXPECT_EQ(pMatrix->m_Value.m[14], -5.0f);
    EXPECT_EQ(pClass->m_Properties.size(), 16u);

    ASSERT_TRUE(call("setRotateZ", {Float(float(M_PI / 2))}).m_bOk);
    ExpectNear(call("transformCoordinate", {Vec3(1, 0, 0)}).Vector3D(), CVector3D(0, 1, 0));
    ASSERT_TRUE(call("setRotateX", {Float(float(M_PI / 2))}).m_bOk);
    ExpectNear(call("transformCoordinate", {Vec3(0, 1, 0)}).Vector3D(), CVector3D(0, 0, 1));
    ASSERT_TRUE(call("setRotateY", {Float(float(M_PI / 2))}).m_bOk);
    ExpectNear(call("transformCoordinate", {Vec3(0, 0, 1)}).Vector3D(), CVector3D(1, 0, 0));
    // setRotate is X × Y × Z: applying it rotates about X first.
    ASSERT_TRUE(call("setRotate", {Vec3(float(M_PI / 2), 0, float(M_PI / 2))}).m_bOk);
    ExpectNear(call("transformCoordinate", {Vec3(0, 1, 0)}).Vector3D(), CVector3D(0, 0, 1));
    ExpectNear(call("transformCoordinate", {Vec3(1, 0, 0)}).Vector3D(), CVector3D(0, 1, 0));

    ASSERT_TRUE(call("setScale", {Vec3(2, 2, 2)}).m_bOk);
    EXPECT_EQ(pMatrix->m_Value, Scale(2));
    tResult inverse = call("setInverse", {Matrix(Scale(2))});
    ASSERT_TRUE(inverse.m_bOk);
    EXPECT_FLOAT_EQ(float(inverse.Number()), 0.125f);
    EXPECT_EQ(pMatrix->m_Value, Scale(0.5f));
    tResult singular = call("setInverse", {Matrix(Scale(0))});
    ASSERT_TRUE(singular.m_bOk);
    EXPECT_TRUE(singular.m_pValue->IsNil());
    EXPECT_EQ(pMatrix->m_Value, Scale(0.5f));

    CMatrix4x4 translate;
    translate(3, 0) = 10;
    ASSERT_TRUE(call("setMultiply", {Matrix(Scale(2)), Matrix(translate), Matrix(Scale(3))}).m_bOk);
    ExpectNear(pMatrix->m_Value.TransformPoint(CVector3D(1, 0, 0)), CVector3D(36, 0, 0));
    ASSERT_TRUE(call("multiply", {Matrix(translate)}).m_bOk);
    ExpectNear(pMatrix->m_Value.TransformPoint(CVector3D(1, 0, 0)), CVector3D(46, 0, 0));
    // A non-matrix argument leaves the matrix as it was.
    const CMatrix4x4 before = pMatrix->m_Value;
    EXPECT_EQ(call("multiply", {Matrix(translate), Vec3(1, 1, 1)}).m_Error, "Expected Matrix4x4 for argument 2");
    EXPECT_EQ(call("setMultiply", {Matrix(translate)}).m_Error, "Expected Matrix4x4 for argument 2");
    EXPECT_EQ(pMatrix->m_Value, before);
    ASSERT_TRUE(call("setIdentity", {}).m_bOk);
    EXPECT_EQ(pMatrix->m_Value, CMatrix4x4::Identity());

    Strong<CBaseObject> pVector = Construct(m_Host.GetVector3DClass(), {});
    EXPECT_EQ(Call(&m_Host, Method(pClass, "setIdentity"), {}, pVector.Get()).m_Error, "Matrix4x4 expected for 'this'");
    EXPECT_EQ(call("setTranslate", {Vec2(1, 2)}).m_Error, "Expected Vector3D for argument 1");
}

TEST_F(BuiltinApi, Vec2) {
    ReflectedClass* pClass = m_Host.GetVector2DClass();
    Strong<CBaseObject> pObject = Construct(pClass, {Float(3), Int(4)});
    auto* pVector = dynamic_cast<CVector2DObject*>(pObject.Get());
    ASSERT_NE(pVector, nullptr);
    EXPECT_EQ(pVector->m_Value, CVector2D(3, 4));
    EXPECT_EQ(dynamic_cast<CVector2DObject*>(Construct(pClass, {Int(7)}).Get())->m_Value, CVector2D(7, 0));
    EXPECT_EQ(Call(&m_Host, pClass->m_Constructor.m_Function, pClass->m_Constructor.m_pUser, {Str("x")}).m_Error,
              "Expected number for argument 1");
    auto call = [&](const char* method, std::initializer_list<CArgument*> args) {
        return Call(&m_Host, Method(pClass, method), args, pObject.Get());
    };
    auto near = [](const CVector2D& a, const CVector2D& b) { return std::fabs(a.x - b.x) < 1e-4f && std::fabs(a.y - b.y) < 1e-4f; };

    EXPECT_TRUE(near(call("addPolar", {Float(2), Float(float(M_PI / 2))}).Vector2D(), CVector2D(3, 6)));
    EXPECT_TRUE(near(call("interpolate", {Vec2(5, 8), Float(0.5f)}).Vector2D(), CVector2D(4, 6)));
    EXPECT_TRUE(near(call("interpolate", {Vec2(5, 8), Float(3)}).Vector2D(), CVector2D(5, 8)));
    EXPECT_TRUE(near(call("extrapolate", {Vec2(5, 8), Float(3)}).Vector2D(), CVector2D(9, 16)));
    EXPECT_TRUE(near(call("cartesianToPolar", {}).Vector2D(), CVector2D(5, std::atan2(4.0f, 3.0f))));
    EXPECT_EQ(call("interpolate", {Vec3(1, 1, 1), Float(1)}).m_Error, "Expected Vector2D for argument 1");

    Strong<CBaseObject> pUnit = Construct(pClass, {Int(1), Int(0)});
    auto slerp = [&](const char* method, float t) { return Call(&m_Host, Method(pClass, method), {Vec2(0, 1), Float(t)}, pUnit.Get()).Vector2D(); };
    EXPECT_TRUE(near(slerp("sphericalInterpolate", 1), CVector2D(0, 1)));
    EXPECT_TRUE(near(slerp("sphericalInterpolate", 0.5f), CVector2D(std::sqrt(0.5f), std::sqrt(0.5f))));
    EXPECT_TRUE(near(slerp("sphericalInterpolate", 2), CVector2D(0, 1)));
    EXPECT_TRUE(near(slerp("sphericalExtrapolate", 2), CVector2D(-1, 0)));
    // The same direction stays put (no NaN from a dot product rounded past 1).
    EXPECT_TRUE(near(Call(&m_Host, Method(pClass, "sphericalInterpolate"), {Vec2(1, 0), Float(0.5f)}, pUnit.Get()).Vector2D(), CVector2D(1, 0)));

    ASSERT_TRUE(Set(&m_Host, pClass->FindProperty("y"), Double(-1.5), pObject.Get()).m_bOk);
    EXPECT_EQ(Get(&m_Host, pClass->FindProperty("y"), pObject.Get()).Number(), -1.5);
    EXPECT_EQ(Get(&m_Host, pClass->FindProperty("x"), pObject.Get()).Number(), 3.0);
    tResult text = Call(&m_Host, pClass->m_ToString.m_Function, nullptr, {}, pObject.Get());
    EXPECT_EQ(text.String(), "X: 3.000 Y: -1.500");
}

TEST_F(BuiltinApi, Vec3) {
    ReflectedClass* pClass = m_Host.GetVector3DClass();
    Strong<CBaseObject> pObject = Construct(pClass, {Int(1), Int(2), Int(3)});
    auto* pVector = dynamic_cast<CVector3DObject*>(pObject.Get());
    ASSERT_NE(pVector, nullptr);
    auto call = [&](const char* method, std::initializer_list<CArgument*> args) {
        return Call(&m_Host, Method(pClass, method), args, pObject.Get());
    };

    EXPECT_FLOAT_EQ(float(call("distance", {Vec3(1, 2, 6)}).Number()), 3.0f);
    EXPECT_FLOAT_EQ(float(call("squaredDistance", {Array({Int(1), Int(2), Int(6)})}).Number()), 9.0f);
    EXPECT_FLOAT_EQ(float(call("dotProduct", {Vec3(1, -1, 1)}).Number()), 2.0f);
    EXPECT_FLOAT_EQ(float(call("absDotProduct", {Vec3(1, -1, 1)}).Number()), 6.0f);
    ExpectNear(call("crossProduct", {Vec3(0, 0, 1)}).Vector3D(), CVector3D(2, -1, 0));
    ExpectNear(call("midPoint", {Vec3(3, 2, 1)}).Vector3D(), CVector3D(2, 2, 2));
    ExpectNear(call("addPolar", {Float(1), Float(0)}).Vector3D(), CVector3D(2, 2, 3));
    ExpectNear(call("addSpherical", {Float(2), Float(0), Float(0)}).Vector3D(), CVector3D(1, 2, 5));
    ExpectNear(call("interpolate", {Vec3(3, 4, 5), Float(-2)}).Vector3D(), CVector3D(-1, 0, 1));
    ExpectNear(call("extrapolate", {Vec3(3, 4, 5), Float(-2)}).Vector3D(), CVector3D(-3, -2, -1));
    ExpectNear(call("cartesianToPolar", {}).Vector3D(), CVector3D(std::sqrt(5.0f), std::atan2(2.0f, 1.0f), 3));
    ExpectNear(call("cartesianToSpherical", {}).Vector3D(),
               CVector3D(std::sqrt(14.0f), std::acos(3 / std::sqrt(14.0f)), std::atan2(2.0f, 1.0f)));
    EXPECT_FLOAT_EQ(float(Get(&m_Host, pClass->FindProperty("squaredLength"), pObject.Get()).Number()), 14.0f);
    EXPECT_TRUE(pClass->FindProperty("length")->IsReadOnly());
    EXPECT_FALSE(pClass->FindProperty("z")->IsReadOnly());

    tResult length = call("normalise", {});
    EXPECT_NEAR(length.Number(), 3.741657, 1e-5);
    EXPECT_NEAR(pVector->m_Value.Length(), 1.0f, 1e-6f);
    EXPECT_NEAR(Get(&m_Host, pClass->FindProperty("length"), pObject.Get()).Number(), 1.0, 1e-6);

    Strong<CBaseObject> pZero = Construct(pClass, {});
    EXPECT_EQ(Call(&m_Host, Method(pClass, "normalise"), {}, pZero.Get()).Number(), 0.0);
    EXPECT_EQ(dynamic_cast<CVector3DObject*>(pZero.Get())->m_Value, CVector3D());
    ExpectNear(Call(&m_Host, Method(pClass, "cartesianToSpherical"), {}, pZero.Get()).Vector3D(), CVector3D(0, 0, 0));

    Strong<CBaseObject> pX = Construct(pClass, {Int(1), Int(0), Int(0)});
    ExpectNear(Call(&m_Host, Method(pClass, "sphericalInterpolate"), {Vec3(0, 0, 1), Float(1)}, pX.Get()).Vector3D(), CVector3D(0, 0, 1));

    Strong<CBaseObject> pHuge = Construct(pClass, {Float(3e38f), Float(-3e38f), Float(3e38f)});
    EXPECT_EQ(Call(&m_Host, pClass->m_ToString.m_Function, nullptr, {}, pHuge.Get()).m_Error, "Unable to generate the string");
    tResult clone = Call(&m_Host, pClass->m_Clone.m_Function, nullptr, {}, pX.Get());
    ASSERT_TRUE(clone.m_bOk);
    EXPECT_EQ(dynamic_cast<CVector3DObject*>(clone.Object())->m_Value, CVector3D(1, 0, 0));
    EXPECT_EQ(Call(&m_Host, Method(pClass, "normalise"), {}, Construct(m_Host.GetVector2DClass(), {}).Get()).m_Error,
              "Vec3 expected for 'this'");
}

TEST(BuiltinConstants, TablesAndKnownValues) {
    CDefineHandlers defines;
    DefineBuiltinConstants(&defines);
    auto value = [&](const char* name) {
        const CDefineHandlers::tDefine* pDefine = defines.Find(name);
        EXPECT_NE(pDefine, nullptr) << name;
        return pDefine ? pDefine->GetUnsigned() : 0xDEADBEEFu;
    };
    size_t scanCodes = 0, keyCodes = 0;
    for (const auto& define : defines) {
        if (define.m_Name.compare(0, 13, "SDL_SCANCODE_") == 0) ++scanCodes;
        if (define.m_Name.compare(0, 5, "SDLK_") == 0) ++keyCodes;
    }
    EXPECT_EQ(scanCodes, 243u);
    EXPECT_EQ(keyCodes, 236u);
    EXPECT_EQ(defines.GetCount(), 3u + 243u + 1u + 236u + 17u + 3u + 7u + 13u);
    EXPECT_EQ(defines.Get(0).m_Name, "KEYSTATE_UP");
    EXPECT_EQ(defines.Get(3).m_Name, "SDL_SCANCODE_UNKNOWN");
    EXPECT_EQ(defines.Get(3 + 242).m_Name, "SDL_SCANCODE_AUDIOFASTFORWARD");
    EXPECT_EQ(defines.Get(3 + 243).m_Name, "SDL_NUM_SCANCODES");
    EXPECT_EQ(defines.Get(3 + 244).m_Name, "SDLK_UNKNOWN");
    EXPECT_EQ(defines.Get(3 + 244 + 235).m_Name, "SDLK_SLEEP");

    const struct {
        const char* m_Name;
        uint32_t m_Value;
    } known[] = {
        {"KEYSTATE_BOTH", 2}, {"SDL_SCANCODE_A", 4}, {"SDL_SCANCODE_AUDIOFASTFORWARD", 286}, {"SDL_NUM_SCANCODES", 512},
        {"SDLK_a", 0x61}, {"SDLK_DELETE", 0x7F}, {"SDLK_CAPSLOCK", 0x40000039}, {"SDLK_RETURN", '\r'},
        {"SDLK_QUOTE", '\''}, {"SDLK_SLEEP", 0x4000011A}, {"KMOD_GUI", 0xC00}, {"KMOD_RESERVED", 0x8000},
        {"SEEK_END", 2}, {"LOGTYPE_CRITICAL", 6}, {"COLOUR_WHITE", 0xFFFFFFFF}, {"COLOUR_SKYBLUE", 0xFF66CCFF},
        {"COLOUR_ORANGE", 0xFFFF7F00}, {"COLOUR_TRANSPARENT", 0},
    };
    for (const auto& k : known) EXPECT_EQ(value(k.m_Name), k.m_Value) << k.m_Name;
    for (const char* absent : {"SDLK_APP1", "SDLK_AUDIOREWIND", "SDL_SCANCODE_SOFTLEFT"}) EXPECT_EQ(defines.Find(absent), nullptr) << absent;
    EXPECT_TRUE(defines.Find("COLOUR_RED")->m_bUnsigned);
    EXPECT_FALSE(defines.Find("SDLK_a")->m_bUnsigned);
}

TEST_F(BuiltinApi, ColourConstantsMatchToColour) {
    CDefineHandlers defines;
    DefineBuiltinConstants(&defines);
    const struct {
        const char* m_Name;
        int m_R, m_G, m_B, m_A;
    } colours[] = {
        {"COLOUR_RED", 255, 0, 0, 255}, {"COLOUR_SKYBLUE", 0x66, 0xCC, 0xFF, 255}, {"COLOUR_TRANSPARENT", 0, 0, 0, 0},
        {"COLOUR_GREEN", 0, 0x7F, 0, 255}, {"COLOUR_SILVER", 0xC3, 0xC3, 0xC3, 255},
    };
    for (const auto& c : colours) {
        tResult result = Call(&m_Host, Global("toColour"), {Int(c.m_R), Int(c.m_G), Int(c.m_B), Int(c.m_A)});
        EXPECT_EQ(static_cast<uint32_t>(result.Int()), defines.Find(c.m_Name)->GetUnsigned()) << c.m_Name;
    }
}
