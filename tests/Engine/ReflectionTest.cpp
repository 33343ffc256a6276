// The reflected tree, the function descriptor, the call state's checks and the generic reflection
// operations, exercised with native callbacks only.
#include "NativeCallHelpers.h"

#include "Engine/Hash.h"
#include "Engine/MemoryStream.h"
#include "Engine/ObjectValue.h"
#include "Engine/Reflection.h"
#include "Engine/ScriptStream.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace Tessera3D;
using namespace NativeCall;

namespace {

// A callback made of a lambda: the user data points at the std::function.
typedef std::function<bool(CNativeState*, int)> tBody;
bool RunBody(CNativeState* pState, int argumentCount, void* pUser) { return (*static_cast<tBody*>(pUser))(pState, argumentCount); }

tResult CallBody(CScripting* pHost, tBody body, std::initializer_list<CArgument*> args, CBaseObject* pThis = nullptr) {
    return Call(pHost, ScriptFunction("body", "", RunBody), &body, args, pThis);
}

struct ReflectionHost : ::testing::Test {
    CScripting m_Host;
};

} // namespace

TEST(ScriptFunctionMask, RequiredArgumentCounts) {
    const struct {
        const char* m_Mask;
        int m_Required;
        bool m_bThisCall;
    } cases[] = {
        {"tii|b", 2, true}, {"s|x*", 1, false}, {"", 0, false},      {"z*", 1, false},  {"sx|i", 2, false},
        {"xv|fiii", 2, false}, {"tx|b", 1, true}, {"t", 0, true},    {"txx*", 2, true}, {"..", 2, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetRequiredArgumentCount(c.m_Mask), c.m_Required) << c.m_Mask;
        EXPECT_EQ(ScriptFunction("f", c.m_Mask, nullptr).GetRequiredArgumentCount(), c.m_Required) << c.m_Mask;
        EXPECT_EQ(IsThisCallMask(c.m_Mask), c.m_bThisCall) << c.m_Mask;
    }
    EXPECT_EQ(GetRequiredArgumentCount(nullptr), 0);
}

TEST_F(ReflectionHost, FunctionWithoutCallbackCannotBeCalled) {
    tResult result = Call(&m_Host, ScriptFunction("lonely", "", nullptr), nullptr, {});
    EXPECT_FALSE(result.m_bOk);
    EXPECT_EQ(result.m_Error, "Cannot call lonely");
    result = Call(&m_Host, ScriptFunction(nullptr, nullptr, nullptr), nullptr, {});
    EXPECT_EQ(result.m_Error, "Cannot call ");
}

namespace {
bool ModuleAnswer(Interfaces::INativeState*, int, void*) { return true; }
bool TestAdapter(CNativeState* pState, ModuleCallback pfnCallback, int count, void* pUser) {
    pState->m_RVal.AddNumber(int32_t(count * 100));
    return pfnCallback(nullptr, count, pUser);
}
} // namespace

TEST_F(ReflectionHost, ModuleCallbackRunsThroughTheInstalledAdapter) {
    const ScriptFunction function("fromModule", "i", nullptr, ModuleAnswer);
    EXPECT_EQ(Call(&m_Host, function, nullptr, {Int(1)}).m_Error, "Cannot call fromModule");
    SetModuleCallAdapter(TestAdapter);
    tResult result = Call(&m_Host, function, nullptr, {Int(1), Int(2)});
    SetModuleCallAdapter(nullptr);
    ASSERT_TRUE(result.m_bOk);
    EXPECT_EQ(result.Int(), 200);
}

TEST_F(ReflectionHost, ScalarChecksAcceptAndRefuseWithTheSharedTexts) {
    struct tCase {
        const char* m_Name;
        std::vector<CArgument*> (*m_Args)();
        std::function<bool(CNativeState*)> m_Check;
        const char* m_Error; // null: accepted
    };
    const tCase cases[] = {
        {"boolean", [] { return std::vector<CArgument*>{Bool(true)}; },
         [](CNativeState* s) { bool b = false; return s->CheckBoolean(0, b) && b; }, nullptr},
        {"number is not boolean", [] { return std::vector<CArgument*>{Int(1)}; },
         [](CNativeState* s) { bool b; return s->CheckBoolean(0, b); }, "Expected boolean for argument 1"},
        {"float truncates to int32", [] { return std::vector<CArgument*>{Float(2.9f)}; },
         [](CNativeState* s) { int32_t v = 0; return s->CheckNumber(0, v) && v == 2; }, nullptr},
        {"double truncates to int64", [] { return std::vector<CArgument*>{Double(-7.8)}; },
         [](CNativeState* s) { int64_t v = 0; return s->CheckNumber(0, v) && v == -7; }, nullptr},
        {"uint8 keeps the low bits", [] { return std::vector<CArgument*>{Int(300)}; },
         [](CNativeState* s) { uint8_t v = 0; return s->CheckNumber(0, v) && v == 44; }, nullptr},
        {"64-bit integer into float", [] { return std::vector<CArgument*>{Long(5)}; },
         [](CNativeState* s) { float v = 0; return s->CheckNumber(0, v) && v == 5.0f; }, nullptr},
        {"string is not integer", [] { return std::vector<CArgument*>{Int(1), Str("2")}; },
         [](CNativeState* s) { int32_t v; return s->CheckNumber(1, v); }, "Expected integer for argument 2"},
        {"bool is not number", [] { return std::vector<CArgument*>{Bool(false)}; },
         [](CNativeState* s) { double v; return s->CheckNumber(0, v); }, "Expected number for argument 1"},
        {"missing argument", [] { return std::vector<CArgument*>{Int(1)}; },
         [](CNativeState* s) { uint32_t v; return s->CheckNumber(3, v); }, "Expected integer for argument 4"},
        {"negative index", [] { return std::vector<CArgument*>{Int(1)}; },
         [](CNativeState* s) { float v; return s->CheckNumber(-1, v); }, "Expected number for argument 0"},
        {"string with its length", [] { return std::vector<CArgument*>{new CArgumentString("a\0b", 3)}; },
         [](CNativeState* s) { size_t n = 0; const char* t = s->CheckString(0, &n); return t && n == 3 && t[2] == 'b'; }, nullptr},
        {"number is not string", [] { return std::vector<CArgument*>{Int(4)}; },
         [](CNativeState* s) { return s->CheckString(0) != nullptr; }, "Expected string for argument 1"},
        {"null is not a function", [] { return std::vector<CArgument*>{Null()}; },
         [](CNativeState* s) { return s->CheckFunction(0) != nullptr; }, "Expected Function for argument 1"},
        {"number is not an instance", [] { return std::vector<CArgument*>{Int(4)}; },
         [](CNativeState* s) { return s->CheckReferenceable(0) != nullptr; }, "Expected Instance for argument 1"},
        {"empty object value is not an instance", [] { return std::vector<CArgument*>{Obj(nullptr)}; },
         [](CNativeState* s) { return s->CheckReferenceable(0) != nullptr; }, "Expected Instance for argument 1"},
    };
    for (const tCase& c : cases) {
        ClearError();
        CArgumentArray arguments;
        for (CArgument* pValue : c.m_Args()) arguments.Append(pValue);
        CNativeState state(&m_Host, nullptr, &arguments);
        const bool bAccepted = c.m_Check(&state);
        if (c.m_Error) {
            EXPECT_FALSE(bAccepted) << c.m_Name;
            EXPECT_TRUE(state.m_bHasError) << c.m_Name;
            EXPECT_STREQ(GetLastError(), c.m_Error) << c.m_Name;
        } else {
            EXPECT_TRUE(bAccepted) << c.m_Name;
            EXPECT_FALSE(state.m_bHasError) << c.m_Name;
        }
    }
}

TEST_F(ReflectionHost, VectorAndMatrixChecksTakeValuesOrNumberArrays) {
    struct tCase {
        const char* m_Name;
        CArgument* (*m_Make)();
        int m_Kind; // 2, 3: vector check of that size; 16: matrix check
        const char* m_Error;
        CVector3D m_Expected;
    };
    const tCase cases[] = {
        {"Vector3D value", [] { return Vec3(1, 2, 3); }, 3, nullptr, {1, 2, 3}},
        {"array of three numbers", [] { return Array({Int(4), Float(5.5f), Double(6)}); }, 3, nullptr, {4, 5.5f, 6}},
        {"array of two numbers", [] { return Array({Int(4), Int(5)}); }, 3, "Expected Vector3D for argument 1", {}},
        {"array with a string", [] { return Array({Int(4), Str("5"), Int(6)}); }, 3, "Expected Vector3D for argument 1", {}},
        {"array of four numbers", [] { return Array({Int(1), Int(2), Int(3), Int(4)}); }, 3, "Expected Vector3D for argument 1", {}},
        {"Vector2D is not 3D", [] { return Vec2(1, 2); }, 3, "Expected Vector3D for argument 1", {}},
        {"Vector2D value", [] { return Vec2(7, 8); }, 2, nullptr, {7, 8, 0}},
        {"array of two for 2D", [] { return Array({Int(9), Int(10)}); }, 2, nullptr, {9, 10, 0}},
        {"Vector3D is not 2D", [] { return Vec3(1, 2, 3); }, 2, "Expected Vector2D for argument 1", {}},
        {"matrix", [] { return Matrix(CMatrix4x4()); }, 16, nullptr, {}},
        {"vector is not a matrix", [] { return Vec3(1, 2, 3); }, 16, "Expected Matrix4x4 for argument 1", {}},
    };
    for (const tCase& c : cases) {
        ClearError();
        CArgumentArray arguments;
        arguments.Append(c.m_Make());
        CNativeState state(&m_Host, nullptr, &arguments);
        CVector3D got;
        bool bAccepted;
        if (c.m_Kind == 2) {
            CVector2D v;
            bAccepted = state.CheckVector2D(0, v);
            got = CVector3D(v.x, v.y, 0);
        } else if (c.m_Kind == 3) {
            bAccepted = state.CheckVector3D(0, got);
        } else {
            CMatrix4x4 m;
            bAccepted = state.CheckMatrix4x4(0, m);
        }
        EXPECT_EQ(bAccepted, c.m_Error == nullptr) << c.m_Name;
        if (c.m_Error) EXPECT_STREQ(GetLastError(), c.m_Error) << c.m_Name;
        else EXPECT_EQ(got, c.m_Expected) << c.m_Name;
    }
}

namespace {
struct CPlain : CBaseObject {
    explicit CPlain(ReflectedClass* pClass = nullptr) { SetReflectedClass(pClass); }
};
} // namespace

TEST_F(ReflectionHost, ClassAndThisChecksFollowTheBaseChain) {
    ReflectedNamespace space("test");
    ReflectedClass* pBase = space.NewClass("Base", nullptr);
    ReflectedClass* pDerived = space.NewClass("Derived", pBase);
    ReflectedClass* pOther = space.NewClass("Other", nullptr);
    Strong<CPlain> pDerivedObject = MakeStrong<CPlain>(pDerived);
    Strong<CPlain> pOtherObject = MakeStrong<CPlain>(pOther);
    Strong<CPlain> pClassless = MakeStrong<CPlain>();

    CArgumentArray arguments;
    arguments.AddObject(pDerivedObject.Get());
    arguments.AddNull();
    arguments.AddNumber(int32_t(1));
    arguments.Append(new CArgumentNetObject()); // an element value holding no element
    CNativeState state(&m_Host, nullptr, &arguments, pDerivedObject.Get());
    CBaseObject* pFound = nullptr;
    EXPECT_TRUE(state.CheckClass(pBase, 0, false, &pFound));
    EXPECT_EQ(pFound, pDerivedObject.Get());
    EXPECT_FALSE(state.CheckClass(pOther, 0, false, &pFound));
    EXPECT_STREQ(GetLastError(), "Expected Other for argument 1");
    EXPECT_EQ(pFound, nullptr);
    EXPECT_TRUE(state.CheckClass(pBase, 1, true, &pFound));
    EXPECT_EQ(pFound, nullptr);
    EXPECT_FALSE(state.CheckClass(pBase, 1, false, &pFound));
    EXPECT_STREQ(GetLastError(), "Expected Base for argument 2");
    EXPECT_FALSE(state.CheckClass(pBase, 2, true, &pFound));
    EXPECT_STREQ(GetLastError(), "Expected Base for argument 3");
    EXPECT_TRUE(state.CheckClass(pBase, 3, true, &pFound));
    EXPECT_FALSE(state.CheckClass(pBase, 3, false, &pFound));

    EXPECT_TRUE(state.GetThis(pBase, &pFound));
    EXPECT_EQ(pFound, pDerivedObject.Get());
    EXPECT_TRUE(state.GetThis(nullptr, &pFound));
    EXPECT_FALSE(state.GetThis(pOther, &pFound));
    EXPECT_STREQ(GetLastError(), "Other expected for 'this'");

    state.SetThis(pClassless.Get());
    EXPECT_FALSE(state.GetThis(pBase, &pFound));
    EXPECT_STREQ(GetLastError(), "Base expected for 'this'");
    EXPECT_TRUE(state.GetThis(nullptr, &pFound));

    // 'this' is held weakly: an object that dies during the call leaves no dangling pointer.
    CPlain* pShortLived = new CPlain(pBase);
    state.SetThis(pShortLived);
    pShortLived->Release();
    EXPECT_FALSE(state.GetThis(pBase, &pFound));
    EXPECT_STREQ(GetLastError(), "'this' is null");
    EXPECT_EQ(Reflection::ToObject(arguments.Get(0), pBase), pDerivedObject.Get());
    EXPECT_EQ(Reflection::ToObject(arguments.Get(0), pOther), nullptr);
}

TEST_F(ReflectionHost, ErrorTextIsCutAndResultAndFlagMustAgree) {
    std::string longText(3000, 'e');
    tResult result = CallBody(&m_Host, [&](CNativeState* s, int) { return s->Error("%s!", longText.c_str()); }, {});
    EXPECT_FALSE(result.m_bOk);
    EXPECT_EQ(result.m_Error, std::string(1023, 'e'));
    // A previous call's error text does not leak into the next call.
    result = CallBody(&m_Host, [](CNativeState*, int) { return true; }, {});
    EXPECT_TRUE(result.m_bOk);
    EXPECT_STREQ(GetLastError(), "");
}

TEST_F(ReflectionHost, StreamCheckRefusesOtherObjectsAndClosedStreams) {
    static const uint8_t data[] = {1, 2, 3};
    Strong<CScriptStream> pOpen = MakeStrong<CScriptStream>(m_Host.GetStreamClass(), MakeStrong<CMemoryStream>(data, sizeof(data)).Get());
    Strong<CScriptStream> pClosed = MakeStrong<CScriptStream>(m_Host.GetStreamClass(), MakeStrong<CMemoryStream>(data, sizeof(data)).Get());
    pClosed->Close();
    // A plain object that a module gave the class Stream holds no stream.
    Strong<CPlain> pImpostor = MakeStrong<CPlain>(m_Host.GetStreamClass());
    CArgumentArray arguments;
    arguments.AddObject(pOpen.Get());
    arguments.AddObject(pClosed.Get());
    arguments.AddObject(pImpostor.Get());
    arguments.AddString("stream");
    CNativeState state(&m_Host, nullptr, &arguments);
    EXPECT_EQ(state.CheckStream(0), pOpen->GetStream());
    EXPECT_EQ(state.CheckStream(1), nullptr);
    EXPECT_STREQ(GetLastError(), "Stream closed");
    EXPECT_EQ(state.CheckStream(2), nullptr);
    EXPECT_STREQ(GetLastError(), "Expected Stream for argument 3");
    EXPECT_EQ(state.CheckStream(3), nullptr);
    EXPECT_STREQ(GetLastError(), "Expected Stream for argument 4");
}

TEST(ReflectedTree, PropertiesAreFoundThroughBaseClasses) {
    ReflectedNamespace space("test");
    ReflectedClass* pBase = space.NewClass("Base", nullptr);
    ReflectedClass* pDerived = space.NewClass("Derived", pBase);
    ReflectedProperty* pHealth = pBase->AddProperty(nullptr, "health", ARGUMENT_FLOAT, RunBody, nullptr);
    ReflectedProperty* pArmour = pDerived->AddProperty(nullptr, "armour", ARGUMENT_FLOAT, RunBody, RunBody);
    pBase->RegisterFunction("kill", "t", RunBody, nullptr);
    EXPECT_EQ(pDerived->GetProperty("health"), pHealth);
    EXPECT_EQ(pDerived->GetProperty("armour"), pArmour);
    EXPECT_TRUE(pHealth->IsReadOnly());
    EXPECT_FALSE(pArmour->IsReadOnly());
    EXPECT_STREQ(pHealth->m_Getter.GetMask(), "t");
    EXPECT_NE(pDerived->FindFunction("kill"), nullptr);
    EXPECT_EQ(pBase->GetProperty("armour"), nullptr);
    EXPECT_STREQ(GetLastError(), "Property armour not found.");
    EXPECT_TRUE(pDerived->IsA(pBase));
    EXPECT_FALSE(pBase->IsA(pDerived));

    ReflectedProperty* pSpaceProperty = space.AddProperty(nullptr, "gravity", ARGUMENT_FLOAT, RunBody, nullptr);
    EXPECT_STREQ(pSpaceProperty->m_Getter.GetMask(), "");
    EXPECT_EQ(space.FindProperty("gravity"), pSpaceProperty);
}

TEST(ReflectedTree, NamespacesAreUniqueAndWellKnownClassesAreRemembered) {
    ReflectedNamespace global("global");
    ReflectedNamespace* pChild = global.AddNamespace("gta");
    pChild->SetAlias("game");
    EXPECT_EQ(global.AddNamespace("gta"), pChild);
    EXPECT_STREQ(pChild->GetAlias(), "game");
    EXPECT_EQ(global.AddNamespace("GTA") == pChild, false);
    ReflectedClass* pFirst = global.NewClass("Vec3", nullptr);
    ReflectedClass* pSecond = global.NewClass("Vec3", nullptr);
    EXPECT_NE(pFirst, pSecond);
    EXPECT_EQ(global.m_pVector3DClass, pSecond);
    global.NewClass("Stream", nullptr);
    global.NewClass("Matrix4x4", nullptr);
    global.NewClass("Vec2", nullptr);
    EXPECT_STREQ(global.m_pStreamClass->GetName(), "Stream");
    EXPECT_STREQ(global.m_pMatrixClass->GetName(), "Matrix4x4");
    EXPECT_STREQ(global.m_pVector2DClass->GetName(), "Vec2");
    global.Clear();
    EXPECT_TRUE(global.m_Classes.empty());
    EXPECT_TRUE(global.m_Namespaces.empty());
    EXPECT_EQ(global.m_pVector3DClass, nullptr);
}

namespace {
std::vector<int> g_Destroyed;
void RecordDestruction(void* pData) { g_Destroyed.push_back(static_cast<int>(reinterpret_cast<intptr_t>(pData))); }
} // namespace

TEST(ReflectedTree, UserDataHasSixteenEntriesAndIsDestroyedOnClear) {
    g_Destroyed.clear();
    {
        ReflectedClass cls("Thing", nullptr);
        for (int i = 0; i < 16; ++i) {
            void** ppData = cls.AddUserData(100 + i, RecordDestruction);
            ASSERT_NE(ppData, nullptr);
            *ppData = reinterpret_cast<void*>(intptr_t(i));
        }
        EXPECT_EQ(cls.AddUserData(999, RecordDestruction), nullptr);
        EXPECT_EQ(cls.GetUserData(105), reinterpret_cast<void*>(intptr_t(5)));
        EXPECT_TRUE(cls.HasUserData(115));
        EXPECT_FALSE(cls.HasUserData(999));
        EXPECT_EQ(cls.GetUserData(999), nullptr);
    }
    ASSERT_EQ(g_Destroyed.size(), 16u);
    EXPECT_EQ(g_Destroyed.front(), 0);
    EXPECT_EQ(g_Destroyed.back(), 15);
}

TEST_F(ReflectionHost, ConstructReportsEveryWayAConstructorCanFail) {
    ReflectedNamespace space("test");
    struct tCase {
        const char* m_Name;
        NativeCallback m_pfnConstructor;
        const char* m_Error;
    };
    const tCase cases[] = {
        {"no constructor", nullptr, "Class is not constructable"},
        {"no result", [](CNativeState*, int, void*) { return true; }, "Constructor didn't return anything"},
        {"number", [](CNativeState* s, int, void*) { s->m_RVal.AddNumber(int32_t(1)); return true; }, "Constructor didn't return object"},
        {"empty object", [](CNativeState* s, int, void*) { s->m_RVal.Append(new CArgumentObject()); return true; }, "Constructor returned null"},
        {"own failure", [](CNativeState* s, int, void*) { return s->Error("no room for %d", 7); }, "no room for 7"},
    };
    for (const tCase& c : cases) {
        ReflectedClass* pClass = space.NewClass(c.m_Name, nullptr);
        if (c.m_pfnConstructor) pClass->RegisterConstructor("t", c.m_pfnConstructor, nullptr);
        EXPECT_EQ(Reflection::Construct(&m_Host, pClass), nullptr) << c.m_Name;
        EXPECT_STREQ(GetLastError(), c.m_Error) << c.m_Name;
    }
    CBaseObject* pVector = Reflection::Construct(&m_Host, m_Host.GetVector3DClass());
    ASSERT_NE(pVector, nullptr);
    EXPECT_EQ(pVector->GetReflectedClass(), m_Host.GetVector3DClass());
    EXPECT_EQ(pVector->GetRefCount(), 1);
    pVector->Release();
}

TEST_F(ReflectionHost, ToArgumentTurnsVectorAndMatrixObjectsIntoValues) {
    CMatrix4x4 matrix;
    matrix.m[12] = 4;
    Strong<CMatrix4x4Object> pMatrix = MakeStrong<CMatrix4x4Object>(m_Host.GetMatrixClass(), matrix);
    Strong<CVector3DObject> pVec3 = MakeStrong<CVector3DObject>(m_Host.GetVector3DClass(), CVector3D(1, 2, 3));
    Strong<CVector2DObject> pVec2 = MakeStrong<CVector2DObject>(m_Host.GetVector2DClass(), CVector2D(5, 6));
    Strong<CPlain> pPlain = MakeStrong<CPlain>(m_Host.GetVector3DClass()); // class without the value behind it

    Strong<CArgument> pValue = Strong<CArgument>::Adopt(Reflection::ToArgument(pMatrix.Get(), &m_Host));
    CMatrix4x4 gotMatrix;
    ASSERT_TRUE(pValue->IsMatrix4x4() && pValue->ToMatrix4x4(gotMatrix));
    EXPECT_EQ(gotMatrix, matrix);
    pValue = Strong<CArgument>::Adopt(Reflection::ToArgument(pVec3.Get(), &m_Host));
    CVector3D gotVec3;
    ASSERT_TRUE(pValue->IsVector3D() && pValue->ToVector3D(gotVec3));
    EXPECT_EQ(gotVec3, CVector3D(1, 2, 3));
    pValue = Strong<CArgument>::Adopt(Reflection::ToArgument(pVec2.Get(), &m_Host));
    CVector2D gotVec2;
    ASSERT_TRUE(pValue->IsVector2D() && pValue->ToVector2D(gotVec2));
    EXPECT_EQ(gotVec2, CVector2D(5, 6));
    pValue = Strong<CArgument>::Adopt(Reflection::ToArgument(pPlain.Get(), &m_Host));
    EXPECT_EQ(pValue->GetType(), ARGUMENT_OBJECT);
    EXPECT_EQ(pValue->ToObject(), pPlain.Get());
    pValue = Strong<CArgument>::Adopt(Reflection::ToArgument(nullptr, &m_Host));
    EXPECT_TRUE(pValue->IsNil());

    // And back: values become new script objects of their classes, holding the same components.
    Strong<CArgument> pVector = Strong<CArgument>::Adopt(new CArgumentVector3D(CVector3D(7, 8, 9)));
    Strong<CBaseObject> pObject = Strong<CBaseObject>::Adopt(Reflection::CreateValueObject(&m_Host, pVector.Get()));
    ASSERT_TRUE(pObject);
    EXPECT_EQ(pObject->GetReflectedClass(), m_Host.GetVector3DClass());
    EXPECT_EQ(static_cast<CVector3DObject*>(pObject.Get())->m_Value, CVector3D(7, 8, 9));
    EXPECT_EQ(pObject->GetRefCount(), 1);
    Strong<CArgument> pMatrixValue = Strong<CArgument>::Adopt(new CArgumentMatrix4x4(matrix));
    pObject = Strong<CBaseObject>::Adopt(Reflection::CreateValueObject(&m_Host, pMatrixValue.Get()));
    ASSERT_TRUE(pObject);
    EXPECT_EQ(static_cast<CMatrix4x4Object*>(pObject.Get())->m_Value, matrix);
    Strong<CArgument> pVec2Value = Strong<CArgument>::Adopt(new CArgumentVector2D(CVector2D(1, 2)));
    pObject = Strong<CBaseObject>::Adopt(Reflection::CreateValueObject(&m_Host, pVec2Value.Get()));
    ASSERT_TRUE(pObject);
    EXPECT_EQ(static_cast<CVector2DObject*>(pObject.Get())->m_Value, CVector2D(1, 2));
    Strong<CArgument> pNumber = Strong<CArgument>::Adopt(new CArgumentInteger(1));
    EXPECT_EQ(Reflection::CreateValueObject(&m_Host, pNumber.Get()), nullptr);
}

namespace {
// A native function object: adds its integer arguments, or fails on request.
struct CAdder : CFunction {
    bool m_bFail = false;
    int m_Calls = 0;
    bool Call(const CArgumentArray& arguments, CReturnValue* pResult) override {
        ++m_Calls;
        if (m_bFail) {
            SetError("adder failed");
            return false;
        }
        int32_t sum = 0;
        for (const Strong<CArgument>& pValue : arguments) {
            int32_t v = 0;
            if (pValue->IsNumber()) pValue->ToNumber(v);
            sum += v;
        }
        if (pResult) pResult->AddNumber(sum);
        return true;
    }
};
} // namespace

TEST_F(ReflectionHost, ReflectionNamespaceFunctions) {
    ReflectedNamespace* pReflection = m_Host.GetReflectionNamespace();
    ASSERT_NE(pReflection, nullptr);
    const ReflectedFunction* pClone = pReflection->FindFunction("clone");
    const ReflectedFunction* pMove = pReflection->FindFunction("move");
    const ReflectedFunction* pToString = pReflection->FindFunction("tostring");
    const ReflectedFunction* pCreateFunction = pReflection->FindFunction("createFunction");
    const ReflectedFunction* pCall = pReflection->FindFunction("call");
    ASSERT_TRUE(pClone && pMove && pToString && pCreateFunction && pCall);

    ReflectedNamespace space("test");
    ReflectedClass* pBare = space.NewClass("Bare", nullptr);
    ReflectedClass* pHooked = space.NewClass("Hooked", nullptr);
    ReflectedClass* pDerived = space.NewClass("HookedChild", pHooked); // hooks are not inherited
    static CBaseObject* s_pMoveSource;
    pHooked->RegisterClone([](CNativeState* s, int, void*) { return s->Error("clone hook broke"); }, nullptr);
    pHooked->RegisterMove([](CNativeState* s, int count, void*) {
        CBaseObject* pThis = nullptr;
        s_pMoveSource = count == 1 ? s->CheckReferenceable(0) : nullptr;
        return s->GetThis(nullptr, &pThis);
    }, nullptr);
    pHooked->RegisterToString([](CNativeState* s, int, void*) { s->m_RVal.AddNumber(int32_t(5)); return true; }, nullptr);
    pBare->RegisterClone([](CNativeState*, int, void*) { return true; }, nullptr);
    pBare->RegisterToString([](CNativeState*, int, void*) { return true; }, nullptr);

    Strong<CPlain> pClassless = MakeStrong<CPlain>();
    Strong<CPlain> pBareObject = MakeStrong<CPlain>(pBare);
    Strong<CPlain> pHookedObject = MakeStrong<CPlain>(pHooked);
    Strong<CPlain> pOtherHooked = MakeStrong<CPlain>(pHooked);
    Strong<CPlain> pChildObject = MakeStrong<CPlain>(pDerived);
    Strong<CVector2DObject> pVec2 = MakeStrong<CVector2DObject>(m_Host.GetVector2DClass(), CVector2D(1.5f, -2));
    Strong<CVector3DObject> pVec3 = MakeStrong<CVector3DObject>(m_Host.GetVector3DClass(), CVector3D(1, 2, 3));

    const struct {
        const char* m_Name;
        const ReflectedFunction* m_pFunction;
        std::vector<CArgument*> m_Args;
        const char* m_Error;
    } failures[] = {
        {"clone of a number", pClone, {Int(1)}, "Expected Object for argument 1"},
        {"clone without class", pClone, {Obj(pClassless.Get())}, "Class not part of reflection"},
        {"clone without hook", pClone, {Obj(pChildObject.Get())}, "Class is not cloneable"},
        {"clone hook fails", pClone, {Obj(pHookedObject.Get())}, "clone hook broke"},
        {"clone hook returns nothing", pClone, {Obj(pBareObject.Get())}, "Clone didn't return anything"},
        {"move to itself", pMove, {Obj(pHookedObject.Get()), Obj(pHookedObject.Get())}, "Cannot move to same place"},
        {"move without source", pMove, {Obj(pHookedObject.Get())}, "Expected Object for argument 2"},
        {"move from a string", pMove, {Obj(pHookedObject.Get()), Str("x")}, "Expected Object for argument 2"},
        {"move without class", pMove, {Obj(pClassless.Get()), Obj(pHookedObject.Get())}, "Class not part of reflection"},
        {"move without hook", pMove, {Obj(pBareObject.Get()), Obj(pHookedObject.Get())}, "Class is not movable"},
        {"tostring without class", pToString, {Obj(pClassless.Get())}, "Class not part of reflection"},
        {"tostring without hook", pToString, {Obj(pChildObject.Get())}, "Class doesn't implement ToString"},
        {"tostring returns nothing", pToString, {Obj(pBareObject.Get())}, "ToString didn't return anything"},
        {"tostring returns a number", pToString, {Obj(pHookedObject.Get())}, "ToString didn't return a string"},
        {"createFunction of a string", pCreateFunction, {Str("f")}, "Expected Function for argument 1"},
        {"call of a plain object", pCall, {Obj(pHookedObject.Get())}, "Expected Function for argument 1"},
    };
    for (const auto& c : failures) {
        CArgumentArray arguments;
        tResult result;
        CNativeState state(&m_Host, nullptr, &arguments);
        for (CArgument* pValue : c.m_Args) arguments.Append(pValue);
        const bool bResult = state.Call(c.m_pFunction->m_Function, c.m_pFunction->m_pUser);
        EXPECT_FALSE(bResult) << c.m_Name;
        EXPECT_STREQ(GetLastError(), c.m_Error) << c.m_Name;
    }

    tResult result = Call(&m_Host, pClone, {Obj(pVec2.Get())});
    ASSERT_TRUE(result.m_bOk) << result.m_Error;
    auto* pCopy = dynamic_cast<CVector2DObject*>(result.Object());
    ASSERT_NE(pCopy, nullptr);
    EXPECT_NE(pCopy, pVec2.Get());
    EXPECT_EQ(pCopy->m_Value, CVector2D(1.5f, -2));
    EXPECT_EQ(pCopy->GetReflectedClass(), m_Host.GetVector2DClass());

    s_pMoveSource = nullptr;
    result = Call(&m_Host, pMove, {Obj(pHookedObject.Get()), Obj(pOtherHooked.Get())});
    ASSERT_TRUE(result.m_bOk) << result.m_Error;
    EXPECT_TRUE(result.m_pValue->IsBoolean() && result.m_pValue->ToBoolean());
    EXPECT_EQ(s_pMoveSource, pOtherHooked.Get());

    result = Call(&m_Host, pToString, {Obj(pVec3.Get())});
    ASSERT_TRUE(result.m_bOk) << result.m_Error;
    EXPECT_EQ(result.String(), "X: 1.000 Y: 2.000 Z: 3.000");

    Strong<CAdder> pAdder = MakeStrong<CAdder>();
    result = Call(&m_Host, pCreateFunction, {new CArgumentFunction(pAdder.Get())});
    ASSERT_TRUE(result.m_bOk) << result.m_Error;
    EXPECT_EQ(result.Object(), pAdder.Get());
    EXPECT_EQ(pAdder->GetReflectedClass(), m_Host.GetFunctionClass());
    EXPECT_STREQ(m_Host.GetFunctionClass()->GetName(), "Function");

    result = Call(&m_Host, pCall, {Obj(pAdder.Get()), Int(2), Int(40)});
    ASSERT_TRUE(result.m_bOk) << result.m_Error;
    EXPECT_EQ(result.Int(), 42);
    // A failing function does not fail the call; there is just no result.
    pAdder->m_bFail = true;
    result = Call(&m_Host, pCall, {Obj(pAdder.Get()), Int(2)});
    EXPECT_TRUE(result.m_bOk);
    EXPECT_FALSE(result.HasValue());
    EXPECT_EQ(pAdder->m_Calls, 2);

    // The generic forwarder behaves the same way for functions wrapping a CFunction.
    pAdder->m_bFail = false;
    result = Call(&m_Host, ScriptFunction("forward", "", Reflection::ForwardToFunction), pAdder.Get(), {Int(3), Int(4)});
    ASSERT_TRUE(result.m_bOk);
    EXPECT_EQ(result.Int(), 7);
}

namespace {
// A language VM that records what the host asks of it.
struct CRecordingVM : CScriptingVM {
    CRecordingVM(std::vector<std::string>* pLog, const char* name, bool* pAlive = nullptr)
        : m_pLog(pLog), m_Name(name), m_pAlive(pAlive) {
        if (m_pAlive) *m_pAlive = true;
    }
    ~CRecordingVM() override {
        m_pLog->push_back(m_Name + " deleted");
        if (m_pAlive) *m_pAlive = false;
    }
    bool DefineClasses() override { m_pLog->push_back(m_Name + " define"); return m_Name != "broken"; }
    void CollectGarbage() override { m_pLog->push_back(m_Name + " collect"); }
    CScriptEnvironment* CreateEnvironment(const char*) override { return nullptr; }
    std::vector<std::string>* m_pLog;
    std::string m_Name;
    bool* m_pAlive;
};

bool* g_pVMAlive;
std::vector<std::string>* g_pTeardownLog;
void RecordClassTeardown(void*) { g_pTeardownLog->push_back(*g_pVMAlive ? "class data freed with VM alive" : "class data freed late"); }
} // namespace

TEST(ScriptingHost, VMTableCollectsInOrderAndTearsDownClassesFirst) {
    EXPECT_EQ(CRC32Hash::Compute("Lua"), SCRIPTING_VM_LUA);
    EXPECT_EQ(CRC32Hash::Compute("SpiderMonkey"), SCRIPTING_VM_SPIDERMONKEY);
    EXPECT_EQ(CRC32Hash::Compute("Squirrel"), SCRIPTING_VM_SQUIRREL);

    std::vector<std::string> log;
    bool bLuaAlive = false;
    g_pVMAlive = &bLuaAlive;
    g_pTeardownLog = &log;
    {
        CScripting host;
        auto* pLua = new CRecordingVM(&log, "lua", &bLuaAlive);
        EXPECT_TRUE(host.AddVM(SCRIPTING_VM_LUA, pLua));
        EXPECT_TRUE(host.AddVM(SCRIPTING_VM_SQUIRREL, new CRecordingVM(&log, "squirrel")));
        EXPECT_EQ(host.FindVM(SCRIPTING_VM_LUA), pLua);
        EXPECT_EQ(host.FindVM(SCRIPTING_VM_SPIDERMONKEY), nullptr);
        host.GetVector3DClass()->AddUserData(SCRIPTING_VM_LUA, RecordClassTeardown);
        host.CollectGarbage();
        EXPECT_TRUE(host.DefineClasses());
        for (int i = 2; i < 16; ++i) EXPECT_TRUE(host.AddVM(1000 + i, new CRecordingVM(&log, "filler")));
        // The 17th VM is refused and, being handed over, deleted.
        EXPECT_FALSE(host.AddVM(2000, new CRecordingVM(&log, "seventeenth")));
        EXPECT_EQ(host.GetVMCount(), 16u);
    }
    const std::vector<std::string> start(log.begin(), log.begin() + 4);
    EXPECT_EQ(start, (std::vector<std::string>{"lua collect", "squirrel collect", "lua define", "squirrel define"}));
    EXPECT_EQ(log[4], "seventeenth deleted");
    EXPECT_EQ(log[5], "class data freed with VM alive");
    EXPECT_EQ(log[6], "lua deleted");
    EXPECT_EQ(log[7], "squirrel deleted");
}

TEST(ScriptingHost, DefineClassesReportsAFailingVM) {
    std::vector<std::string> log;
    CScripting host;
    host.AddVM(1, new CRecordingVM(&log, "broken"));
    host.AddVM(2, new CRecordingVM(&log, "fine"));
    EXPECT_FALSE(host.DefineClasses());
    EXPECT_EQ(log, (std::vector<std::string>{"broken define", "fine define"}));
}

TEST(ScriptingHost, BuiltInApiIsRegisteredInItsOrder) {
    CScripting host;
    const ReflectedNamespace& global = host.m_Global;
    EXPECT_STREQ(global.GetName(), "global");
    std::vector<std::string> namespaces, functions, classes;
    for (const auto& p : global.m_Namespaces) namespaces.push_back(p->GetName());
    for (const auto& p : global.m_Functions) functions.push_back(p->m_Function.GetName());
    for (const auto& p : global.m_Classes) classes.push_back(p->GetName());
    EXPECT_EQ(namespaces, (std::vector<std::string>{"reflection", "module", "sdl", "platform"}));
    EXPECT_EQ(functions, (std::vector<std::string>{"toColour", "collectAllGarbage", "inPoly"}));
    EXPECT_EQ(classes, (std::vector<std::string>{"Stream", "TextReader", "Matrix4x4", "Vec2", "Vec3"}));
    std::vector<std::string> reflection;
    for (const auto& p : host.GetReflectionNamespace()->m_Functions) reflection.push_back(p->m_Function.GetName());
    EXPECT_EQ(reflection, (std::vector<std::string>{"clone", "move", "tostring", "createFunction", "call"}));
    ASSERT_EQ(host.GetReflectionNamespace()->m_Classes.size(), 1u);
    EXPECT_FALSE(host.GetFunctionClass()->m_Constructor.IsSet());
    EXPECT_EQ(host.GetModuleNamespace(), global.FindNamespace("module"));
    EXPECT_STREQ(host.GetStreamClass()->GetName(), "Stream");
    EXPECT_FALSE(host.GetStreamClass()->m_Constructor.IsSet());
    EXPECT_STREQ(host.GetTextReaderClass()->m_Constructor.m_Function.GetName(), "TextReader");
    EXPECT_STREQ(host.GetTextReaderClass()->m_Constructor.m_Function.GetMask(), "tx");
    EXPECT_TRUE(host.GetStreamClass()->FindFunction("readLine")->m_bObsolete);
    EXPECT_FALSE(host.GetStreamClass()->FindFunction("readInt8")->m_bObsolete);
}
