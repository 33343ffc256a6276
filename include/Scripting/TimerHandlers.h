#pragma once
// Timers: script functions called after a delay, repeatedly, or on the next frame, from a fixed table
// of 4096 slots that the main loop runs once per frame.
//
// Timer functions may create and clear timers during a pass:
// - a timer created during a pass is not visited by that pass, whatever its slot; it first counts
//   time in the next pass (so setImmediate from a timer runs in the next frame);
// - a timer cleared during a pass leaves the table at once (its slot is free, clearing it again
//   returns false) and is not visited any more; the pass keeps its own reference to the timer that is
//   running, so a timer that clears itself is freed only after its function has returned.
#include "Engine/ArgumentArray.h"
#include "Engine/BaseObject.h"
#include "Engine/Function.h"
#include "Engine/References.h"

#include <cstddef>
#include <cstdint>

namespace Tessera3D {

class ReflectedClass;
class ReflectedNamespace;

namespace TimerHandlers {

class CTimerHandlers;

constexpr size_t TIMER_CAPACITY = 4096;

class CScriptTimer : public CBaseObject {
public:
    CScriptTimer(CTimerHandlers* pOwner, CBaseObject* pResource, CFunction* pFunction, double interval,
                 int32_t remainingRuns);

    CTimerHandlers* GetOwner() const { return m_pOwner; }
    // -1 while not in the table.
    int32_t GetSlot() const { return m_Slot; }
    bool IsRegistered() const { return m_Slot >= 0; }
    CBaseObject* GetResource() const { return m_pResource; }
    CFunction* GetFunction() const { return m_pFunction.Get(); }
    // 1 for a one-shot timer, 0 for an unlimited one.
    int32_t GetRemainingRuns() const { return m_RemainingRuns; }
    double GetInterval() const { return m_Interval; }
    double GetElapsed() const { return m_Elapsed; }
    CArgumentArray& GetArguments() { return m_Arguments; }

private:
    friend class CTimerHandlers;

    CTimerHandlers* m_pOwner;
    int32_t m_Slot = -1;
    CBaseObject* m_pResource;
    int32_t m_RemainingRuns;
    double m_Interval;
    double m_Elapsed = 0.0;
    CArgumentArray m_Arguments;
    Strong<CFunction> m_pFunction;
    // Set for timers created during a pass; that pass leaves them alone.
    bool m_bAddedDuringPass = false;
};

class CTimerHandlers {
public:
    CTimerHandlers();
    ~CTimerHandlers();
    CTimerHandlers(const CTimerHandlers&) = delete;
    CTimerHandlers& operator=(const CTimerHandlers&) = delete;

    // A timer in the first free slot (the table holds one reference; the pointer carries none), with
    // clones of the arguments from index first on. Null when every slot is in use.
    CScriptTimer* CreateTimer(CFunction* pFunction, double interval, int32_t remainingRuns, CBaseObject* pResource,
                              const CArgumentArray* pArguments = nullptr, size_t first = 0);
    // Takes the timer out of the table; false when it is not in this table.
    bool RemoveTimer(CScriptTimer* pTimer);
    // Every timer of the resource; every timer.
    size_t RemoveTimers(CBaseObject* pResource);
    size_t RemoveTimers();

    // One timer pass with the frame's elapsed time in seconds.
    void Process(double frameTime);

    size_t GetCount() const { return m_Count; }
    CScriptTimer* GetTimer(size_t slot) const { return slot < TIMER_CAPACITY && m_Used[slot] ? m_pTimers[slot] : nullptr; }
    bool IsProcessing() const { return m_bProcessing; }

    // The script API: the class Timer, setTimeout, setInterval, setImmediate and the three clearing
    // functions (one function under three names).
    void RegisterFunctions(ReflectedNamespace* pGlobal);

    ReflectedClass* GetTimerClass() const { return m_pTimerClass; }
    void SetTimerClass(ReflectedClass* pClass) { m_pTimerClass = pClass; }

private:
    void Unregister(CScriptTimer* pTimer);

    size_t m_Count = 0;
    uint8_t m_Used[TIMER_CAPACITY] = {};
    CScriptTimer* m_pTimers[TIMER_CAPACITY] = {};
    bool m_bProcessing = false;
    ReflectedClass* m_pTimerClass = nullptr;
};

} // namespace TimerHandlers
} // namespace Tessera3D
