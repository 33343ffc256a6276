// The script functions of events, commands, key binds, timers and XML, called the way a language
// binding calls them (a CNativeState per call, native functions standing in for script functions):
// results and exact error texts, one table per family.
#include "ScriptingTestUtil.h"

#include "Engine/NativeState.h"
#include "Engine/ScriptStream.h"
#include "Engine/Scripting.h"
#include "Scripting/CommandHandlers.h"
#include "Scripting/EventHandlers.h"
#include "Scripting/KeyBinds.h"
#include "Scripting/ServerEvents.h"
#include "Scripting/TimerHandlers.h"
#include "Scripting/XmlInterface.h"

#include <gtest/gtest.h>

#include <initializer_list>

using namespace Tessera3D;
using namespace ScriptingTest;

namespace {

struct CThing : CBaseObject {};

// What one call gave: the first result, or the error text.
struct SResult {
    bool m_bOk = false;
    std::string m_Error;
    Strong<CArgument> m_pValue;

    // "true"/"false", "null", "none" (no result), "object", the text of a string or "error: <text>".
    std::string Describe() const {
        if (!m_bOk) return "error: " + m_Error;
        if (!m_pValue) return "none";
        if (m_pValue->IsBoolean()) return m_pValue->ToBoolean() ? "true" : "false";
        if (m_pValue->IsNull()) return "null";
        if (m_pValue->IsObject()) return "object";
        if (m_pValue->IsString()) return std::string("\"") + m_pValue->ToString() + "\"";
        if (m_pValue->IsNumber()) {
            double number = 0;
            m_pValue->ToNumber(number);
            char text[64];
            snprintf(text, sizeof(text), "%g", number);
            return text;
        }
        return "other";
    }
    CBaseObject* Object() const { return m_pValue && m_pValue->IsObject() ? m_pValue->ToObject() : nullptr; }
};

// The registries with their script API on a host's global namespace.
class ScriptFunctionsTest : public ::testing::Test {
protected:
    ScriptFunctionsTest() {
        m_Events.RegisterFunctions(&m_Host.m_Global);
        m_Commands.RegisterFunctions(&m_Host.m_Global);
        m_Timers.RegisterFunctions(&m_Host.m_Global);
        m_KeyBinds.RegisterFunctions(&m_Host.m_Global);
        m_Xml.RegisterFunctions(&m_Host.m_Global);
        DeclareEvents(m_Events, GetResourceEventDeclarations());
        DeclareEvents(m_Events, GetHostEventDeclarations());
        DeclareEvents(m_Events, GetElementEventDeclarations());
    }

    // Takes over the references of the argument values.
    SResult Run(const ScriptFunction& function, void* pUser, std::initializer_list<CArgument*> args, CBaseObject* pCaller,
                CBaseObject* pThis) {
        CArgumentArray arguments;
        for (CArgument* pValue : args) arguments.Append(pValue);
        CNativeState state(&m_Host, pCaller, &arguments, pThis);
        SResult result;
        result.m_bOk = state.Call(function, pUser);
        if (result.m_bOk) result.m_pValue = state.m_RVal.GetReturnArgument();
        else result.m_Error = GetLastError();
        return result;
    }
    SResult Call(const char* name, std::initializer_list<CArgument*> args, CBaseObject* pCaller = nullptr) {
        const ReflectedFunction* pFunction = m_Host.m_Global.FindFunction(name);
        EXPECT_NE(pFunction, nullptr) << name;
        return Run(pFunction->m_Function, pFunction->m_pUser, args, pCaller, nullptr);
    }
    SResult Method(CBaseObject* pThis, const char* className, const char* name, std::initializer_list<CArgument*> args = {}) {
        const ReflectedFunction* pFunction = m_Host.m_Global.FindClass(className)->FindFunction(name);
        EXPECT_NE(pFunction, nullptr) << name;
        return Run(pFunction->m_Function, pFunction->m_pUser, args, nullptr, pThis);
    }
    SResult Property(CBaseObject* pThis, const char* className, const char* name) {
        const ReflectedProperty* pProperty = m_Host.m_Global.FindClass(className)->FindProperty(name);
        EXPECT_NE(pProperty, nullptr) << name;
        return Run(pProperty->m_Getter, pProperty->m_pUser, {}, nullptr, pThis);
    }
    SResult Construct(const char* className) {
        const ReflectedClass* pClass = m_Host.m_Global.FindClass(className);
        return Run(pClass->m_Constructor.m_Function, pClass->m_Constructor.m_pUser, {}, nullptr, nullptr);
    }

    static CArgument* Str(const char* text) { return new CArgumentString(text); }
    static CArgument* Int(int32_t value) { return new CArgumentInteger(value); }
    static CArgument* Bool(bool value) { return new CArgumentBoolean(value); }
    static CArgument* Obj(CBaseObject* pObject) { return new CArgumentObject(pObject); }
    static CArgument* Fn(CFunction* pFunction) { return new CArgumentFunction(pFunction); }
    static CArgument* Null() { return new CArgument(); }

    CScripting m_Host;
    EventHandlers::CEventHandlers m_Events;
    CCommandHandlers m_Commands;
    TimerHandlers::CTimerHandlers m_Timers;
    CKeyBinds m_KeyBinds;
    CXmlInterface m_Xml;
    Strong<CThing> m_R1 = MakeStrong<CThing>(), m_R2 = MakeStrong<CThing>();
    Strong<CThing> m_A = MakeStrong<CThing>(), m_B = MakeStrong<CThing>();
};

struct SRow {
    const char* what;
    std::function<SResult()> call;
    std::string expected;
};

void RunTable(const std::vector<SRow>& rows) {
    for (const SRow& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.call().Describe(), row.expected);
    }
}

} // namespace

TEST_F(ScriptFunctionsTest, Events) {
    std::vector<std::string> ran;
    auto r1Handler = Recorder([&](const CArgumentArray&) { ran.push_back("r1"); });
    auto r2Handler = Recorder([&](const CArgumentArray&) { ran.push_back("r2"); });
    auto boundA = Recorder([&](const CArgumentArray&) { ran.push_back("boundA"); });
    auto preventing = Recorder([&](const CArgumentArray& values) {
        ran.push_back("preventing");
        Method(values.Get(0)->ToObject(), "CancellableEvent", "preventDefault");
    });
    CLogCapture log;
    RunTable({
        {"declare", [&] { return Call("addEvent", {Str("MyEvent")}); }, "true"},
        {"declare again, any case", [&] { return Call("addEvent", {Str("myEVENT"), Int(3)}); }, "true"},
        {"no name", [&] { return Call("addEvent", {Int(1)}); }, "error: Expected string for argument 1"},
        {"count not a number", [&] { return Call("addEvent", {Str("E2"), Str("x")}); }, "error: Expected integer for argument 2"},
        {"handler, lower case", [&] { return Call("addEventHandler", {Str("myevent"), Fn(r1Handler.Get())}, m_R1.Get()); }, "true"},
        {"handler of r2", [&] { return Call("addEventHandler", {Str("MyEvent"), Fn(r2Handler.Get())}, m_R2.Get()); }, "true"},
        {"handler, unknown event", [&] { return Call("addEventHandler", {Str("Nope"), Fn(r1Handler.Get())}); }, "false"},
        {"handler, no function", [&] { return Call("addEventHandler", {Str("MyEvent"), Str("f")}); }, "error: Expected Function for argument 2"},
        {"bind, unknown event", [&] { return Call("bindEventHandler", {Str("Nope"), Obj(m_A.Get()), Fn(boundA.Get())}); }, "error: Event 'Nope' doesn't exist"},
        {"bind, no source index", [&] { return Call("bindEventHandler", {Str("MyEvent"), Obj(m_A.Get()), Fn(boundA.Get())}); }, "error: Event 'MyEvent' is not bindable"},
        {"bind, not an object", [&] { return Call("bindEventHandler", {Str("OnElementDestroy"), Str("A"), Fn(boundA.Get())}); }, "error: Expected Instance for argument 2"},
        {"bind to A", [&] { return Call("bindEventHandler", {Str("OnElementDestroy"), Obj(m_A.Get()), Fn(boundA.Get())}, m_R1.Get()); }, "true"},
        {"trigger, second argument not an object", [&] { return Call("triggerEvent", {Str("MyEvent"), Int(5)}); }, "error: Expected Instance for argument 2"},
        {"trigger, unknown", [&] { return Call("triggerEvent", {Str("Nope")}); }, "error: Event 'Nope' doesn't exist"},
        {"trigger, nobody prevents", [&] { return Call("triggerEvent", {Str("MyEvent"), Null(), Str("x")}); }, "false"},
        {"destroy B: the bound handler stays quiet", [&] { return Call("triggerEvent", {Str("OnElementDestroy"), Null(), Obj(m_B.Get())}); }, "false"},
        {"destroy A", [&] { return Call("triggerEvent", {Str("OnElementDestroy"), Null(), Obj(m_A.Get())}); }, "false"},
        {"object argument is no source", [&] { return Call("triggerEvent", {Str("OnElementDestroy"), Obj(m_A.Get())}); }, "false"},
        {"remove r2's", [&] { return Call("removeEventHandler", {Str("MYEVENT")}, m_R2.Get()); }, "true"},
        {"remove r2's again", [&] { return Call("removeEventHandler", {Str("MyEvent")}, m_R2.Get()); }, "false"},
        {"remove, unknown event", [&] { return Call("removeEventHandler", {Str("Nope")}, m_R2.Get()); }, "false"},
        {"unbind, other resource", [&] { return Call("unbindEventHandler", {Str("OnElementDestroy"), Obj(m_A.Get())}, m_R2.Get()); }, "false"},
        {"unbind", [&] { return Call("unbindEventHandler", {Str("OnElementDestroy"), Obj(m_A.Get())}, m_R1.Get()); }, "true"},
        {"unbind, unknown event", [&] { return Call("unbindEventHandler", {Str("Nope"), Obj(m_A.Get())}, m_R1.Get()); }, "false"},
        {"a preventing handler", [&] { return Call("addEventHandler", {Str("MyEvent"), Fn(preventing.Get())}, m_R2.Get()); }, "true"},
        {"trigger, prevented", [&] { return Call("triggerEvent", {Str("MyEvent")}); }, "true"},
        {"OnProcess is not cancellable", [&] { return Call("triggerEvent", {Str("OnProcess"), Null(), new CArgumentDouble(0.5)}); }, "false"},
    });
    EXPECT_EQ(ran, (std::vector<std::string>{"r1", "r2", "boundA", "r1", "preventing"}));
    EXPECT_EQ(m_Events.FindEventType("MyEvent")->GetArgumentCount(), -1) << "the first declaration stays";
    EXPECT_TRUE(m_Events.FindEventType("MyEvent")->IsCancellable());
    EXPECT_EQ(log.Warnings(), (std::vector<std::string>{
                                  "AddEventHandler: Event 'Nope' doesn't exist",
                                  "TriggerWithEvent: Event 'OnElementDestroy' triggered with 0 arguments but requires 1 arguments",
                                  "Trigger: Event 'OnProcess' used with 'preventDefault' but not registered that way",
                              }));
}

TEST_F(ScriptFunctionsTest, EventObjects) {
    Strong<CBaseObject> pSeen;
    auto handler = Recorder([&](const CArgumentArray& values) { pSeen = values.Get(0)->ToObject(); });
    Call("addEvent", {Str("OnThing")});
    Call("addEventHandler", {Str("onthing"), Fn(handler.Get())});
    Call("addEventHandler", {Str("OnPlayerJoin"), Fn(handler.Get())});
    CArgumentArray one;
    one.AddNull();
    m_Events.FindEventType("OnPlayerJoin")->Trigger(one); // a plain event
    ASSERT_TRUE(pSeen);
    Strong<CBaseObject> pPlain = pSeen;
    Call("triggerEvent", {Str("ONTHING")});
    ASSERT_NE(pSeen.Get(), pPlain.Get());
    RunTable({
        {"name", [&] { return Property(pSeen.Get(), "Event", "name"); }, "\"OnThing\""},
        {"description", [&] { return Property(pSeen.Get(), "Event", "description"); }, "\"\""},
        {"not prevented", [&] { return Method(pSeen.Get(), "CancellableEvent", "isDefaultPrevented"); }, "false"},
        {"prevent", [&] { return Method(pSeen.Get(), "CancellableEvent", "preventDefault"); }, "none"},
        {"prevented", [&] { return Method(pSeen.Get(), "CancellableEvent", "isDefaultPrevented"); }, "true"},
        {"a plain event cannot", [&] { return Method(pPlain.Get(), "CancellableEvent", "preventDefault"); }, "error: CancellableEvent expected for 'this'"},
        {"no this", [&] { return Property(nullptr, "Event", "name"); }, "error: 'this' is null"},
        {"another object", [&] { return Property(m_A.Get(), "Event", "name"); }, "error: Event expected for 'this'"},
    });
}

TEST_F(ScriptFunctionsTest, Commands) {
    std::vector<std::string> ran;
    auto mine = Recorder([&](const CArgumentArray& values) { ran.push_back(std::string("mine ") + values.Get(1)->ToString()); });
    auto other = Recorder([&](const CArgumentArray&) { ran.push_back("other"); });
    struct CRestricted : CCommandHandler {
        explicit CRestricted(std::vector<std::string>& ran) : m_Ran(ran) {}
        void Execute(const char*, const char* parameters, CBaseObject*) override { m_Ran.push_back(std::string("start ") + parameters); }
        std::vector<std::string>& m_Ran;
    };
    m_Commands.AddCommandHandler(std::make_unique<CRestricted>(ran), "start");
    RunTable({
        {"add", [&] { return Call("addCommandHandler", {Str("MyCmd"), Fn(mine.Get())}, m_R1.Get()); }, "true"},
        {"has, lower case", [&] { return Call("hasCommandHandler", {Str("mycmd")}); }, "true"},
        {"has a native one", [&] { return Call("hasCommandHandler", {Str("START")}); }, "true"},
        {"has none", [&] { return Call("hasCommandHandler", {Str("nothing")}); }, "false"},
        {"taken", [&] { return Call("addCommandHandler", {Str("mycmd"), Fn(other.Get())}, m_R1.Get()); }, "false"},
        {"replace, other resource", [&] { return Call("addCommandHandler", {Str("mycmd"), Fn(other.Get()), Bool(true)}, m_R2.Get()); }, "false"},
        {"replace flag not a bool", [&] { return Call("addCommandHandler", {Str("mycmd"), Fn(other.Get()), Int(1)}, m_R1.Get()); }, "error: Expected boolean for argument 3"},
        {"no function", [&] { return Call("addCommandHandler", {Str("x"), Null()}); }, "error: Expected Function for argument 2"},
        {"run it", [&] { return Call("consoleCommand", {Str("/mycmd a b")}, m_R2.Get()); }, "true"},
        {"replace, same resource", [&] { return Call("addCommandHandler", {Str("MYCMD"), Fn(other.Get()), Bool(true)}, m_R1.Get()); }, "true"},
        {"run the replacement", [&] { return Call("consoleCommand", {Str("/mycmd")}); }, "true"},
        {"restricted, from a resource", [&] { return Call("consoleCommand", {Str("/start x")}, m_R1.Get()); }, "false"},
        {"restricted, from the host", [&] { return Call("consoleCommand", {Str("/start y")}); }, "true"},
        {"chat without say", [&] { return Call("consoleCommand", {Str("hello")}); }, "false"},
        {"remove, other resource", [&] { return Call("removeCommandHandler", {Str("mycmd")}, m_R2.Get()); }, "false"},
        {"remove a native one from a resource", [&] { return Call("removeCommandHandler", {Str("start")}, m_R1.Get()); }, "false"},
        {"remove", [&] { return Call("removeCommandHandler", {Str("MyCmd")}, m_R1.Get()); }, "true"},
        {"gone", [&] { return Call("hasCommandHandler", {Str("mycmd")}); }, "false"},
    });
    EXPECT_EQ(ran, (std::vector<std::string>{"mine a b", "other", "start y"}));

    // The resource manager decides which resources are privileged.
    m_Commands.SetPrivilegeCheck([&](CBaseObject* caller) { return caller == m_R1.Get(); });
    EXPECT_EQ(Call("consoleCommand", {Str("/start z")}, m_R1.Get()).Describe(), "true");
    EXPECT_EQ(Call("consoleCommand", {Str("/start z")}, m_R2.Get()).Describe(), "false");
}

TEST_F(ScriptFunctionsTest, KeyBinds) {
    std::vector<std::string> ran;
    auto onDown = Recorder([&](const CArgumentArray&) { ran.push_back("down"); });
    auto onBoth = Recorder([&](const CArgumentArray& values) {
        ran.push_back("both");
        CBaseObject* pEvent = values.Get(0)->ToObject();
        for (const char* property : {"keyCode", "scanCode", "mod", "repeat", "down"})
            ran.push_back(std::string(property) + "=" + Property(pEvent, "KeyEvent", property).Describe());
        Method(pEvent, "KeyEvent", "preventDefault");
        ran.push_back("prevented=" + Method(pEvent, "KeyEvent", "isDefaultPrevented").Describe());
    });
    RunTable({
        {"bind down", [&] { return Call("bindKey", {Int(0x61), Int(KEYSTATE_DOWN), Fn(onDown.Get())}, m_R1.Get()); }, "true"},
        {"bind both with repeats", [&] { return Call("bindKey", {Int(0x61), Int(KEYSTATE_BOTH), Fn(onBoth.Get()), Bool(true)}, m_R2.Get()); }, "true"},
        {"key not a number", [&] { return Call("bindKey", {Str("a"), Int(0), Fn(onDown.Get())}); }, "error: Expected integer for argument 1"},
        {"no function", [&] { return Call("bindKey", {Int(0x61), Int(0), Null()}); }, "error: Expected Function for argument 3"},
        {"repeat not a bool", [&] { return Call("bindKey", {Int(0x61), Int(0), Fn(onDown.Get()), Str("yes")}); }, "error: Expected boolean for argument 4"},
    });
    auto pEvent = Strong<CKeyEvent>::Adopt(m_KeyBinds.NewKeyEvent());
    pEvent->m_KeyCode = 0x61;
    pEvent->m_ScanCode = 4;
    pEvent->m_ModState = 0x3;
    pEvent->m_RepeatCount = 2;
    pEvent->m_bDown = true;
    m_KeyBinds.HandleKeyEvent(pEvent.Get(), nullptr);
    EXPECT_EQ(ran, (std::vector<std::string>{"both", "keyCode=97", "scanCode=4", "mod=3", "repeat=2", "down=true", "prevented=true"}));
    EXPECT_TRUE(pEvent->m_bDefaultPrevented);

    RunTable({
        {"unbind, other resource's key", [&] { return Call("unbindKey", {Int(0x61)}, m_A.Get()); }, "false"},
        {"unbind", [&] { return Call("unbindKey", {Int(0x61)}, m_R1.Get()); }, "true"},
        {"unbind all", [&] { return Call("unbindAllKeys", {}, m_R2.Get()); }, "none"},
        {"wrong this", [&] { return Property(m_A.Get(), "KeyEvent", "keyCode"); }, "error: KeyEvent expected for 'this'"},
    });
    EXPECT_EQ(m_KeyBinds.GetBindCount(), 0u);
}

TEST_F(ScriptFunctionsTest, Timers) {
    auto function = Recorder();
    SResult timeout = Call("setTimeout", {Fn(function.Get()), Int(1000), Str("a"), Int(2)}, m_R1.Get());
    ASSERT_TRUE(timeout.Object());
    EXPECT_EQ(timeout.Object()->GetReflectedClass(), m_Host.m_Global.FindClass("Timer"));
    SResult interval = Call("setInterval", {Fn(function.Get()), new CArgumentDouble(250.0)});
    SResult immediate = Call("setImmediate", {Fn(function.Get()), Str("now")});
    ASSERT_TRUE(interval.Object() && immediate.Object());
    auto* pTimeout = static_cast<TimerHandlers::CScriptTimer*>(timeout.Object());
    EXPECT_DOUBLE_EQ(pTimeout->GetInterval(), 1.0);
    EXPECT_EQ(pTimeout->GetResource(), m_R1.Get());
    EXPECT_EQ(pTimeout->GetRemainingRuns(), 1);
    EXPECT_EQ(static_cast<TimerHandlers::CScriptTimer*>(interval.Object())->GetRemainingRuns(), 0);
    EXPECT_DOUBLE_EQ(static_cast<TimerHandlers::CScriptTimer*>(immediate.Object())->GetInterval(), 0.0);

    for (int i = 0; i < 4; ++i) m_Timers.Process(0.25);
    // immediate once, the interval every 250 ms, the timeout once at one second.
    ASSERT_EQ(function->GetCallCount(), 1u + 4u + 1u);
    // Slot order within a pass: the timeout (slot 0), the interval, the immediate.
    EXPECT_STREQ(function->GetCall(1).Get(0)->ToString(), "now");
    const CArgumentArray& last = function->GetCall(4);
    ASSERT_EQ(last.GetCount(), 2u);
    EXPECT_STREQ(last.Get(0)->ToString(), "a");

    RunTable({
        {"a finished timeout", [&] { return Call("clearTimeout", {Obj(timeout.Object())}); }, "false"},
        {"the interval, by clearImmediate", [&] { return Call("clearImmediate", {Obj(interval.Object())}); }, "true"},
        {"twice", [&] { return Call("clearInterval", {Obj(interval.Object())}); }, "false"},
        {"not a timer", [&] { return Call("clearTimeout", {Obj(m_A.Get())}); }, "error: Expected Timer for argument 1"},
        {"nothing", [&] { return Call("clearTimeout", {}); }, "error: Expected Timer for argument 1"},
        {"no delay", [&] { return Call("setTimeout", {Fn(function.Get())}); }, "error: Expected integer for argument 2"},
        {"no function", [&] { return Call("setImmediate", {Int(1)}); }, "error: Expected Function for argument 1"},
    });

    for (size_t i = m_Timers.GetCount(); i < TimerHandlers::TIMER_CAPACITY; ++i) m_Timers.CreateTimer(function.Get(), 1.0, 0, nullptr);
    EXPECT_EQ(Call("setTimeout", {Fn(function.Get()), Int(1)}).Describe(), "null") << "every slot is taken";
}

TEST_F(ScriptFunctionsTest, Xml) {
    SResult document = Construct("XmlDocument");
    ASSERT_TRUE(document.Object());
    CBaseObject* pDocument = document.Object();
    const char text[] = "<root a=\"1\"><child flag=\"maybe\" n=\"42x\">hi</child><child/></root>";
    auto pBytes = MakeStrong<CUnlimitedStream>();
    pBytes->Write(text, sizeof(text) - 1);
    auto pStream = MakeStrong<CScriptStream>(m_Host.GetStreamClass(), pBytes.Get());
    auto pClosed = MakeStrong<CScriptStream>(m_Host.GetStreamClass(), pBytes.Get());
    pClosed->Close();

    RunTable({
        {"no root yet", [&] { return Property(pDocument, "XmlDocument", "rootElement"); }, "null"},
        {"load, not a stream", [&] { return Method(pDocument, "XmlDocument", "load", {Obj(m_A.Get())}); }, "error: Expected Stream for argument 1"},
        {"load, closed stream", [&] { return Method(pDocument, "XmlDocument", "load", {Obj(pClosed.Get())}); }, "error: Stream closed"},
        {"load", [&] { return Method(pDocument, "XmlDocument", "load", {Obj(pStream.Get())}); }, "true"},
        {"load on an element", [&] { return Method(m_A.Get(), "XmlDocument", "load", {Obj(pStream.Get())}); }, "error: XmlDocument expected for 'this'"},
    });
    CBaseObject* pRoot = Property(pDocument, "XmlDocument", "rootElement").Object();
    ASSERT_NE(pRoot, nullptr);
    SResult children = Property(pRoot, "XmlElement", "children");
    ASSERT_TRUE(children.m_pValue && children.m_pValue->IsArray());
    auto* pChildren = static_cast<CArgumentArray*>(children.m_pValue.Get());
    ASSERT_EQ(pChildren->GetCount(), 2u);
    CBaseObject* pChild = pChildren->Get(0)->ToObject();
    SResult attributes = Property(pChild, "XmlElement", "attributes");
    ASSERT_TRUE(attributes.m_pValue && attributes.m_pValue->IsMap());
    EXPECT_EQ(static_cast<CArgumentMap*>(attributes.m_pValue.Get())->GetCount(), 2u);

    RunTable({
        {"name", [&] { return Property(pRoot, "XmlElement", "name"); }, "\"root\""},
        {"count", [&] { return Property(pRoot, "XmlElement", "childrenCount"); }, "2"},
        {"text", [&] { return Property(pChild, "XmlElement", "text"); }, "\"hi\""},
        {"root has no parent", [&] { return Property(pRoot, "XmlElement", "parent"); }, "null"},
        {"integer", [&] { return Method(pChild, "XmlElement", "getIntegerAttribute", {Str("n")}); }, "42"},
        {"float", [&] { return Method(pChild, "XmlElement", "getFloatAttribute", {Str("n")}); }, "42"},
        {"string", [&] { return Method(pChild, "XmlElement", "getStringAttribute", {Str("flag")}); }, "\"maybe\""},
        {"bool, another word", [&] { return Method(pChild, "XmlElement", "getBoolAttribute", {Str("flag")}); }, "error: attribute flag doesn't exist"},
        {"missing", [&] { return Method(pChild, "XmlElement", "getStringAttribute", {Str("A")}); }, "error: attribute A doesn't exist"},
        {"name not a string", [&] { return Method(pChild, "XmlElement", "getStringAttribute", {Int(1)}); }, "error: Expected string for argument 1"},
        {"clear", [&] { return Method(pRoot, "XmlElement", "clear"); }, "none"},
        {"count after clear", [&] { return Property(pRoot, "XmlElement", "childrenCount"); }, "0"},
        {"the kept child has no parent now", [&] { return Property(pChild, "XmlElement", "parent"); }, "null"},
        {"a new element", [&] { return Property(Construct("XmlElement").Object(), "XmlElement", "childrenCount"); }, "0"},
    });
    EXPECT_EQ(Property(pChildren->Get(1)->ToObject(), "XmlElement", "name").Describe(), "\"child\"");
}
