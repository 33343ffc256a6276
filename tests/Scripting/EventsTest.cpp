// The event registry: declaration by case-insensitive name, triggering with sources, cancellation and
// warnings, removal by resource and by source, and handlers that change the list while it runs.
#include "ScriptingTestUtil.h"

#include "Scripting/EventHandlers.h"
#include "Scripting/ServerEvents.h"

#include <gtest/gtest.h>

using namespace Tessera3D;
using namespace Tessera3D::EventHandlers;
using namespace ScriptingTest;

namespace {

struct CThing : CBaseObject {};

// A registry with one bindable, cancellable type "OnThing" (source at 0, two values required).
class EventsTest : public ::testing::Test {
protected:
    EventsTest() {
        m_pType = m_Events.CreateEventType("OnThing", "Called for things", 2, true);
        m_pType->SetSourceIndex(0);
    }

    void Add(CFunction* pFunction, CBaseObject* pResource = nullptr, CBaseObject* pSource = nullptr) {
        m_pType->AddHandler(std::make_unique<CScriptEventHandler>(&m_Events, pResource, pSource, pFunction));
    }

    static Strong<CArgumentArray> Values(CBaseObject* pSource, const char* text = "x") {
        auto pValues = MakeStrong<CArgumentArray>();
        pValues->AddObject(pSource);
        pValues->AddString(text);
        return pValues;
    }

    CEventHandlers m_Events;
    CEventType* m_pType;
    Strong<CThing> m_A = MakeStrong<CThing>(), m_B = MakeStrong<CThing>();
    Strong<CThing> m_Resource1 = MakeStrong<CThing>(), m_Resource2 = MakeStrong<CThing>();
};

} // namespace

TEST_F(EventsTest, NamesAreCaseInsensitiveAndDeclaredOnce) {
    EXPECT_EQ(m_Events.FindEventType("onthing"), m_pType);
    EXPECT_EQ(m_Events.FindEventType("ONTHING"), m_pType);
    EXPECT_EQ(m_Events.CreateEventType("onTHING", "other", -1, false), nullptr) << "the key is taken";
    EXPECT_EQ(m_pType->GetName(), "OnThing") << "the name as first declared";
    EXPECT_EQ(m_pType->GetDescription(), "Called for things");
    EXPECT_EQ(m_Events.FindEventType("OnOther"), nullptr);
    EXPECT_EQ(m_Events.FindEventType(nullptr), nullptr);
    EXPECT_EQ(m_Events.CreateEventType("OnOther", nullptr, -1, false)->GetSourceIndex(), -1);
    ASSERT_EQ(m_Events.GetEventTypes().size(), 2u);
    EXPECT_EQ(m_Events.GetEventTypes()[1]->GetName(), "OnOther");
}

TEST_F(EventsTest, HandlersRunInOrderWithTheEventAndClonesOfTheValues) {
    std::vector<int> order;
    auto first = Recorder([&](const CArgumentArray&) { order.push_back(1); });
    auto second = Recorder([&](const CArgumentArray&) { order.push_back(2); });
    Add(first.Get());
    Add(second.Get());
    Strong<CArgumentArray> pValues = Values(m_A.Get(), "text");
    CArgumentArray& values = *pValues;
    values.AddNumber(7);
    EXPECT_TRUE(m_pType->Trigger(values));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));

    const CArgumentArray& call = first->GetCall(0);
    ASSERT_EQ(call.GetCount(), 4u);
    auto* pEvent = dynamic_cast<CEvent*>(call.Get(0)->ToObject());
    ASSERT_NE(pEvent, nullptr);
    EXPECT_EQ(dynamic_cast<CCancellableEvent*>(pEvent), nullptr) << "a plain trigger makes a plain event";
    EXPECT_EQ(pEvent->GetName(), "OnThing");
    EXPECT_EQ(pEvent->GetDescription(), "Called for things");
    EXPECT_EQ(call.Get(1)->ToObject(), m_A.Get());
    EXPECT_STREQ(call.Get(2)->ToString(), "text");
    EXPECT_NE(call.Get(2), values.Get(1)) << "handlers receive clones";
    EXPECT_EQ(second->GetCall(0).Get(0)->ToObject(), pEvent) << "one event object per trigger";

    CEventType* pEmpty = m_Events.CreateEventType("OnNobody", "", -1, false);
    EXPECT_FALSE(pEmpty->Trigger(CArgumentArray())) << "no handler ran";
}

TEST_F(EventsTest, SourcesDecideWhichBoundHandlersRun) {
    auto unbound = Recorder(), boundA = Recorder(), boundB = Recorder();
    Add(unbound.Get());
    Add(boundA.Get(), nullptr, m_A.Get());
    Add(boundB.Get(), nullptr, m_B.Get());

    Strong<CArgumentArray> pForA = Values(m_A.Get()), pForB = Values(m_B.Get()), pWithNull = Values(nullptr);
    CArgumentArray &forA = *pForA, &forB = *pForB, &withNull = *pWithNull;
    CArgumentArray textFirst;
    textFirst.AddString("not an object");
    textFirst.AddObject(m_A.Get());
    CArgumentArray none;
    const std::pair<const char*, CArgumentArray*> cases[] = {
        {"source A", &forA}, {"source B", &forB}, {"null source", &withNull}, {"no object at the index", &textFirst},
        {"no values", &none},
    };
    const size_t expected[][3] = {{1, 1, 0}, {2, 1, 1}, {3, 1, 1}, {4, 1, 1}, {5, 1, 1}};
    CLogCapture log;
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].first);
        m_pType->Trigger(*cases[i].second);
        EXPECT_EQ(unbound->GetCallCount(), expected[i][0]);
        EXPECT_EQ(boundA->GetCallCount(), expected[i][1]);
        EXPECT_EQ(boundB->GetCallCount(), expected[i][2]);
    }

    // A type without a source index runs only its unbound handlers.
    m_pType->SetSourceIndex(-1);
    m_pType->Trigger(forA);
    EXPECT_EQ(unbound->GetCallCount(), 6u);
    EXPECT_EQ(boundA->GetCallCount(), 1u);
}

TEST_F(EventsTest, CancellationAndWarnings) {
    auto preventing = Recorder([](const CArgumentArray& values) {
        if (auto* pEvent = dynamic_cast<CCancellableEvent*>(values.Get(0)->ToObject())) pEvent->PreventDefault();
    });
    auto after = Recorder();
    Add(preventing.Get());
    Add(after.Get());

    CLogCapture log;
    bool prevented = false;
    EXPECT_TRUE(m_pType->Trigger(*Values(m_A.Get()), prevented));
    EXPECT_TRUE(prevented);
    EXPECT_EQ(after->GetCallCount(), 1u) << "the handlers after the preventing one still run";
    EXPECT_TRUE(log.Warnings().empty());

    // Too few values: warned, still triggered.
    CArgumentArray one;
    one.AddObject(m_A.Get());
    EXPECT_TRUE(m_pType->Trigger(one));
    // A type not declared cancellable, triggered cancellable-style: warned, still triggered, and the
    // handlers get a cancellable event.
    CEventType* pPlain = m_Events.CreateEventType("OnPlain", "", -1, false);
    auto plainHandler = Recorder();
    pPlain->AddHandler(std::make_unique<CScriptEventHandler>(&m_Events, nullptr, nullptr, plainHandler.Get()));
    prevented = true;
    EXPECT_TRUE(pPlain->Trigger(CArgumentArray(), prevented));
    EXPECT_FALSE(prevented);
    EXPECT_NE(dynamic_cast<CCancellableEvent*>(plainHandler->GetCall(0).Get(0)->ToObject()), nullptr);

    EXPECT_EQ(log.Warnings(), (std::vector<std::string>{
                                  "TriggerWithEvent: Event 'OnThing' triggered with 1 arguments but requires 2 arguments",
                                  "Trigger: Event 'OnPlain' used with 'preventDefault' but not registered that way",
                              }));
}

TEST_F(EventsTest, RemovalByResourceAndBySource) {
    auto r1Unbound = Recorder(), r1BoundA = Recorder(), r2BoundA = Recorder(), hostBoundB = Recorder();
    Add(r1Unbound.Get(), m_Resource1.Get());
    Add(r1BoundA.Get(), m_Resource1.Get(), m_A.Get());
    Add(r2BoundA.Get(), m_Resource2.Get(), m_A.Get());
    Add(hostBoundB.Get(), nullptr, m_B.Get());

    EXPECT_EQ(m_pType->RemoveHandlersWithSource(nullptr, nullptr), 0u) << "a null source removes nothing";
    EXPECT_EQ(m_pType->RemoveHandlersWithSource(m_A.Get(), m_Resource2.Get()), 1u);
    EXPECT_EQ(m_pType->GetHandlerCount(), 3u);
    EXPECT_EQ(m_pType->RemoveHandlers(m_Resource2.Get()), 0u);
    EXPECT_EQ(m_pType->RemoveHandlers(m_Resource1.Get()), 2u);
    EXPECT_EQ(m_pType->GetHandlerCount(), 1u);
    m_pType->Trigger(*Values(m_B.Get()));
    EXPECT_EQ(hostBoundB->GetCallCount(), 1u);
    EXPECT_EQ(r1Unbound->GetCallCount(), 0u);

    // Over every type: an object that goes takes its bound handlers along; a null resource means all.
    CEventType* pOther = m_Events.CreateEventType("OnOther", "", -1, false);
    pOther->SetSourceIndex(0);
    pOther->AddHandler(std::make_unique<CScriptEventHandler>(&m_Events, nullptr, m_B.Get(), Recorder().Get()));
    pOther->AddHandler(std::make_unique<CScriptEventHandler>(&m_Events, nullptr, nullptr, Recorder().Get()));
    EXPECT_EQ(m_Events.RemoveHandlersWithSource(m_B.Get()), 2u);
    EXPECT_EQ(m_Events.RemoveHandlers(nullptr), 1u);
    EXPECT_EQ(pOther->GetHandlerCount(), 0u);
}

TEST_F(EventsTest, HandlerWhoseSourceVanishedIsRemovedNotWidened) {
    auto bound = Recorder();
    {
        auto pGone = MakeStrong<CThing>();
        Add(bound.Get(), nullptr, pGone.Get());
    }
    m_pType->Trigger(*Values(nullptr));
    m_pType->Trigger(*Values(m_A.Get()));
    EXPECT_EQ(bound->GetCallCount(), 0u);
    EXPECT_EQ(m_pType->GetHandlerCount(), 0u);
}

// Handlers that change the list during a trigger: additions wait for the next trigger; removals act at
// once, and the removed handler is freed only after the trigger (ASan would see a use after free).
TEST_F(EventsTest, HandlersChangingTheListWhileItRuns) {
    std::vector<std::string> ran;
    Strong<CRecordingFunction> late = Recorder([&](const CArgumentArray&) { ran.push_back("late"); });
    Strong<CRecordingFunction> victim = Recorder([&](const CArgumentArray&) { ran.push_back("victim"); });
    int nested = 0;
    auto first = Recorder([&](const CArgumentArray&) {
        ran.push_back("first");
        if (ran.size() == 1) {
            Add(late.Get(), m_Resource2.Get());   // added now: not part of this trigger
            m_pType->RemoveHandlers(m_Resource1.Get()); // removes the victim and this handler itself
            if (nested++ == 0) m_pType->Trigger(*Values(m_A.Get())); // nested trigger of the same type
        }
    });
    Add(first.Get(), m_Resource1.Get());
    Add(victim.Get(), m_Resource1.Get());
    first.Detach()->Release(); // the handler holds the only reference now
    victim.Detach()->Release();

    EXPECT_TRUE(m_pType->Trigger(*Values(m_A.Get())));
    // The nested trigger started after the addition, so it ran "late"; the victim never ran.
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "late"}));
    EXPECT_EQ(m_pType->GetHandlerCount(), 1u);
    m_pType->Trigger(*Values(m_A.Get()));
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "late", "late"}));
}

TEST(ServerEvents, DeclarationsInTheirGroups) {
    CEventHandlers events;
    EXPECT_EQ(DeclareEvents(events, GetResourceEventDeclarations()), 2u);
    EXPECT_EQ(DeclareEvents(events, GetHostEventDeclarations()), 8u);
    EXPECT_EQ(DeclareEvents(events, GetElementEventDeclarations()), 3u);
    EXPECT_EQ(DeclareEvents(events, GetGameEventDeclarations()), 11u);
    EXPECT_EQ(DeclareEvents(events, GetHostEventDeclarations()), 0u) << "declared once";

    struct Case {
        const char* name;
        int32_t arguments;
        bool cancellable;
        int32_t source;
    } cases[] = {
        {"OnResourceStart", 1, true, 0},   {"OnResourceStop", 2, true, 0},    {"OnPlayerConnect", 1, true, -1},
        {"OnPlayerQuit", 2, false, -1},     {"OnPlayerCommand", 3, true, -1},  {"OnProcess", 1, false, -1},
        {"OnServerStart", 0, false, -1},    {"OnElementDestroy", 1, true, 0},  {"OnPedWasted", 5, false, -1},
        {"OnRequestSession", 2, true, 0},   {"OnAddIVNetworkEvent", 5, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CEventType* pType = events.FindEventType(c.name);
        ASSERT_NE(pType, nullptr);
        EXPECT_EQ(pType->GetArgumentCount(), c.arguments);
        EXPECT_EQ(pType->IsCancellable(), c.cancellable);
        EXPECT_EQ(pType->GetSourceIndex(), c.source);
    }
    EXPECT_EQ(events.GetEventTypes().front()->GetName(), "OnResourceStart");
    EXPECT_EQ(events.GetEventTypes().back()->GetName(), "OnAddIVNetworkEvent");
    EXPECT_EQ(events.FindEventType("OnPedEnterVehicle")->GetDescription(), "Called when a ped is entering a vehicle.");
}
