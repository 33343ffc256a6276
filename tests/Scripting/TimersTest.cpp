// Timers: one-shot and repeating runs over accumulated frame time, the full table, removal by resource,
// and timers that create or clear timers during a pass.
#include "ScriptingTestUtil.h"

#include "Scripting/TimerHandlers.h"

#include <gtest/gtest.h>

using namespace Tessera3D;
using namespace Tessera3D::TimerHandlers;
using namespace ScriptingTest;

namespace {

struct CThing : CBaseObject {};

} // namespace

TEST(Timers, OneShotRunsOnceWithItsArgumentsAfterItsDelay) {
    CTimerHandlers timers;
    auto function = Recorder();
    CArgumentArray arguments;
    arguments.AddNumber(1000); // the delay itself is not passed on
    arguments.AddString("a");
    arguments.AddNumber(2);
    Strong<CScriptTimer> pTimer = timers.CreateTimer(function.Get(), 1.0, 1, nullptr, &arguments, 1);
    ASSERT_TRUE(pTimer);
    EXPECT_EQ(pTimer->GetSlot(), 0);
    EXPECT_EQ(timers.GetCount(), 1u);

    const double frames[] = {0.25, 0.5, 0.125};
    for (double frame : frames) timers.Process(frame);
    EXPECT_EQ(function->GetCallCount(), 0u) << "0.875 s so far";
    timers.Process(0.125);
    ASSERT_EQ(function->GetCallCount(), 1u);
    ASSERT_EQ(function->GetCall(0).GetCount(), 2u);
    EXPECT_STREQ(function->GetCall(0).Get(0)->ToString(), "a");
    EXPECT_NE(function->GetCall(0).Get(0), arguments.Get(1)) << "the timer keeps clones";

    EXPECT_FALSE(pTimer->IsRegistered());
    EXPECT_EQ(timers.GetCount(), 0u);
    EXPECT_FALSE(timers.RemoveTimer(pTimer.Get())) << "a finished one-shot timer is no longer in the table";
    for (int i = 0; i < 8; ++i) timers.Process(0.5);
    EXPECT_EQ(function->GetCallCount(), 1u);
}

TEST(Timers, RepeatingTimers) {
    CTimerHandlers timers;
    auto everyFrame = Recorder(), everySecond = Recorder();
    timers.CreateTimer(everyFrame.Get(), 0.0, 0, nullptr);
    Strong<CScriptTimer> pSecond = timers.CreateTimer(everySecond.Get(), 1.0, 0, nullptr);
    for (int i = 0; i < 10; ++i) timers.Process(0.25);
    EXPECT_EQ(everyFrame->GetCallCount(), 10u);
    EXPECT_EQ(everySecond->GetCallCount(), 2u) << "elapsed restarts at 0 after each run";
    EXPECT_DOUBLE_EQ(pSecond->GetElapsed(), 0.5);
    EXPECT_TRUE(timers.RemoveTimer(pSecond.Get()));
    EXPECT_FALSE(timers.RemoveTimer(pSecond.Get()));
    EXPECT_EQ(timers.GetCount(), 1u);
}

TEST(Timers, FullTableAndSlotReuse) {
    CTimerHandlers timers;
    auto function = Recorder();
    std::vector<CScriptTimer*> all;
    for (size_t i = 0; i < TIMER_CAPACITY; ++i) all.push_back(timers.CreateTimer(function.Get(), 1.0, 1, nullptr));
    EXPECT_EQ(all.back()->GetSlot(), 4095);
    EXPECT_EQ(timers.CreateTimer(function.Get(), 1.0, 1, nullptr), nullptr);
    Strong<CScriptTimer> pKept = all[17];
    ASSERT_TRUE(timers.RemoveTimer(all[17]));
    EXPECT_EQ(pKept->GetSlot(), -1);
    CScriptTimer* pNew = timers.CreateTimer(function.Get(), 1.0, 1, nullptr);
    ASSERT_NE(pNew, nullptr);
    EXPECT_EQ(pNew->GetSlot(), 17) << "the first free slot";
    EXPECT_EQ(timers.RemoveTimers(), TIMER_CAPACITY);
    EXPECT_EQ(timers.GetCount(), 0u);
}

TEST(Timers, RemovalByResource) {
    CTimerHandlers timers;
    auto r1 = MakeStrong<CThing>(), r2 = MakeStrong<CThing>();
    auto function = Recorder();
    timers.CreateTimer(function.Get(), 0.0, 0, r1.Get());
    timers.CreateTimer(function.Get(), 0.0, 0, r2.Get());
    timers.CreateTimer(function.Get(), 0.0, 0, r1.Get());
    EXPECT_EQ(timers.RemoveTimers(r1.Get()), 2u);
    EXPECT_EQ(timers.GetCount(), 1u);
    EXPECT_EQ(timers.GetTimer(1)->GetResource(), r2.Get());
}

// Timers created in a pass wait for the next pass, wherever their slot; a timer cleared by another
// during the pass does not run; a timer that clears itself is freed after its function returns (ASan).
TEST(Timers, TimersChangingTheTableDuringAPass) {
    CTimerHandlers timers;
    std::vector<std::string> ran;
    auto created = Recorder([&](const CArgumentArray&) { ran.push_back("created"); });
    auto victim = Recorder([&](const CArgumentArray&) { ran.push_back("victim"); });
    CScriptTimer* pVictim = nullptr;
    CScriptTimer* pSelf = nullptr;
    auto first = Recorder([&](const CArgumentArray&) {
        ran.push_back("first");
        if (ran.size() > 1) return;
        EXPECT_TRUE(timers.RemoveTimer(pVictim));
        // The victim's slot (1) and a slot after this pass's position (3) both get new timers.
        EXPECT_EQ(timers.CreateTimer(created.Get(), 0.0, 1, nullptr)->GetSlot(), 1);
        EXPECT_EQ(timers.CreateTimer(created.Get(), 0.0, 1, nullptr)->GetSlot(), 3);
        EXPECT_TRUE(timers.RemoveTimer(pSelf));
        EXPECT_FALSE(timers.RemoveTimer(pSelf));
    });
    pSelf = timers.CreateTimer(first.Get(), 0.0, 0, nullptr);
    pVictim = timers.CreateTimer(victim.Get(), 0.0, 0, nullptr);
    timers.CreateTimer(Recorder([&](const CArgumentArray&) { ran.push_back("third"); }).Get(), 0.0, 1, nullptr);
    first.Detach()->Release(); // the timer holds the only reference

    timers.Process(0.0625);
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "third"}));
    EXPECT_EQ(timers.GetCount(), 2u);
    ran.clear();
    timers.Process(0.0625);
    EXPECT_EQ(ran, (std::vector<std::string>{"created", "created"}));
    EXPECT_EQ(timers.GetCount(), 0u);
}
