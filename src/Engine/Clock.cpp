#include "Engine/Clock.h"

#include <cmath>
#include <ctime>
#include <mutex>
#include <sys/time.h>

namespace Tessera3D {
namespace OS {

namespace {
uint64_t g_ullStartTicks = 0;
uint64_t g_ullTicksFrequency = 0;
bool g_bRawMonotonic = false;
std::once_flag g_ClockOnce;

uint64_t ReadCounter() {
    if (g_bRawMonotonic) {
        timespec ts;
        clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
        return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
    }
    timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<uint64_t>(tv.tv_sec) * 1000000ull + static_cast<uint64_t>(tv.tv_usec);
}
} // namespace

void InitialiseClock() {
    std::call_once(g_ClockOnce, [] {
        timespec ts;
        g_bRawMonotonic = clock_gettime(CLOCK_MONOTONIC_RAW, &ts) == 0;
        g_ullTicksFrequency = g_bRawMonotonic ? 1000000000ull : 1000000ull;
        g_ullStartTicks = ReadCounter();
    });
}

uint64_t GetPerformanceCounter() {
    InitialiseClock();
    return ReadCounter();
}

uint64_t GetPerformanceFrequency() {
    InitialiseClock();
    return g_ullTicksFrequency;
}

uint64_t GetStartTicks() {
    InitialiseClock();
    return g_ullStartTicks;
}

uint32_t GetMillisecondsSinceStart() {
    const uint64_t now = GetPerformanceCounter();
    return static_cast<uint32_t>((now - g_ullStartTicks) * 1000ull / g_ullTicksFrequency);
}

} // namespace OS

void FrameTimeInfo::Start(uint64_t now) {
    m_Accumulator = 0.0;
    m_LastCount = now;
}

double FrameTimeInfo::Update(uint64_t now, uint64_t frequency) {
    const double elapsed = static_cast<double>(now - m_LastCount) / static_cast<double>(frequency);
    m_LastCount = now;
    m_FrameTime = (elapsed < m_MaxFrameTime ? elapsed : m_MaxFrameTime) * m_TimeScale;
    m_Accumulator += m_FrameTime;
    m_StepCount = static_cast<uint32_t>(std::floor(m_Accumulator / m_FixedStep));
    m_Accumulator -= m_StepCount * m_FixedStep;
    return m_FrameTime;
}

} // namespace Tessera3D
