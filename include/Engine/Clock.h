#pragma once
// The monotonic clock of frame timing: the raw monotonic clock in nanoseconds, the wall clock in
// microseconds where that is missing. Initialised once, on first use.
#include <cstdint>

namespace Tessera3D {
namespace OS {

void InitialiseClock();
uint64_t GetPerformanceCounter();
uint64_t GetPerformanceFrequency();
uint64_t GetStartTicks();
// Milliseconds since the clock was initialised, as an unsigned 32-bit number.
uint32_t GetMillisecondsSinceStart();

} // namespace OS

// Frame timing of the main loop: elapsed time capped, accumulated into fixed steps.
struct FrameTimeInfo {
    double m_Accumulator = 0.0;
    uint64_t m_LastCount = 0;
    uint32_t m_StepCount = 0;
    double m_FixedStep = 1.0 / 60.0;
    double m_FrameTime = 0.0;
    double m_MaxFrameTime = 0.0625;
    int m_MaxStepCount = 4;
    double m_TimeScale = 1.0;

    void Start(uint64_t now);
    // Advances to the clock count now; returns the frame time in seconds.
    double Update(uint64_t now, uint64_t frequency);
};

} // namespace Tessera3D
