#include "Engine/Clock.h"
#include "Engine/PumpedEventLoop.h"
#include "Engine/Threads.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

using namespace Tessera3D;

TEST(FrameTime, CapsLongPausesAndCountsFixedSteps) {
    const uint64_t frequency = 1000000000ull;
    struct Case { double elapsed; double frameTime; uint32_t steps; } cases[] = {
        {0.005, 0.005, 0},       // below one step of 1/60 s
        {0.015, 0.015, 1},       // 0.020 accumulated: one step, 0.00333 left
        {5.0, 0.0625, 3},        // a pause of seconds counts as 0.0625 s
        {0.0, 0.0, 0},
    };
    FrameTimeInfo frame;
    uint64_t now = 1000;
    frame.Start(now);
    for (const Case& c : cases) {
        now += static_cast<uint64_t>(c.elapsed * frequency);
        EXPECT_NEAR(frame.Update(now, frequency), c.frameTime, 1e-9) << c.elapsed;
        EXPECT_EQ(frame.m_StepCount, c.steps) << c.elapsed;
        EXPECT_GE(frame.m_Accumulator, 0.0);
        EXPECT_LT(frame.m_Accumulator, frame.m_FixedStep);
    }
}

TEST(Clock, MonotonicMilliseconds) {
    const uint32_t a = OS::GetMillisecondsSinceStart();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const uint32_t b = OS::GetMillisecondsSinceStart();
    EXPECT_GE(b - a, 19u);
    EXPECT_GT(OS::GetPerformanceFrequency(), 0u);
}

TEST(Signalable, StaysSignalledUntilReset) {
    Signalable event;
    EXPECT_FALSE(event.Wait(1));
    std::thread t([&] { event.Signal(); });
    EXPECT_TRUE(event.Wait(5000));
    t.join();
    EXPECT_TRUE(event.IsSignalled()) << "not auto-reset";
    event.Reset();
    EXPECT_FALSE(event.IsSignalled());
    event.SignalFromInterrupt();
    EXPECT_TRUE(event.Wait(0));
}

TEST(Thread, RunsOnceWithItsNameAndRefusesSecondStart) {
    struct Probe { std::string name; int runs = 0; } probe;
    CThreadCB thread("ProbeThread", [](void* p) {
        auto* pProbe = static_cast<Probe*>(p);
        char name[16] = {};
        pthread_getname_np(pthread_self(), name, sizeof(name));
        pProbe->name = name;
        ++pProbe->runs;
    }, &probe);
    EXPECT_TRUE(thread.Start());
    EXPECT_FALSE(thread.Start());
    EXPECT_TRUE(thread.Join());
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(probe.runs, 1);
    EXPECT_EQ(probe.name, "ProbeThread");
}

TEST(PumpedEventLoop, PumpsInOrderAndClearDropsPending) {
    CPumpedEventLoop<std::string> queue;
    std::thread producer([&] {
        for (int i = 0; i < 100; ++i) queue.Push(std::to_string(i));
    });
    producer.join();
    std::vector<std::string> seen;
    EXPECT_EQ(queue.Pump([&](std::string& line) { seen.push_back(line); }), 100u);
    ASSERT_EQ(seen.size(), 100u);
    EXPECT_EQ(seen.front(), "0");
    EXPECT_EQ(seen.back(), "99");
    EXPECT_EQ(queue.Pump([&](std::string&) { FAIL(); }), 0u);
    queue.Push("dropped");
    queue.Clear();
    EXPECT_EQ(queue.Pump([&](std::string&) { FAIL(); }), 0u);
}
