#include "Scripting/TimerHandlers.h"

#include <vector>

namespace Tessera3D {
namespace TimerHandlers {

CScriptTimer::CScriptTimer(CTimerHandlers* pOwner, CBaseObject* pResource, CFunction* pFunction, double interval,
                           int32_t remainingRuns)
    : m_pOwner(pOwner), m_pResource(pResource), m_RemainingRuns(remainingRuns), m_Interval(interval),
      m_pFunction(pFunction) {}

CTimerHandlers::CTimerHandlers() = default;

CTimerHandlers::~CTimerHandlers() { RemoveTimers(); }

CScriptTimer* CTimerHandlers::CreateTimer(CFunction* pFunction, double interval, int32_t remainingRuns,
                                          CBaseObject* pResource, const CArgumentArray* pArguments, size_t first) {
    if (!pFunction || m_Count >= TIMER_CAPACITY) return nullptr;
    size_t slot = 0;
    while (slot < TIMER_CAPACITY && m_Used[slot]) ++slot;
    if (slot == TIMER_CAPACITY) return nullptr;

    auto* pTimer = new CScriptTimer(this, pResource, pFunction, interval, remainingRuns);
    pTimer->SetReflectedClass(m_pTimerClass);
    if (pArguments)
        for (size_t i = first; i < pArguments->GetCount(); ++i) pTimer->m_Arguments.Add(pArguments->Get(i));
    pTimer->m_bAddedDuringPass = m_bProcessing;
    pTimer->m_Slot = static_cast<int32_t>(slot);
    m_Used[slot] = 1;
    m_pTimers[slot] = pTimer; // the creation reference becomes the table's
    ++m_Count;
    return pTimer;
}

void CTimerHandlers::Unregister(CScriptTimer* pTimer) {
    const size_t slot = static_cast<size_t>(pTimer->m_Slot);
    m_Used[slot] = 0;
    m_pTimers[slot] = nullptr;
    pTimer->m_Slot = -1;
    --m_Count;
    pTimer->Release(); // the table's reference
}

bool CTimerHandlers::RemoveTimer(CScriptTimer* pTimer) {
    if (!pTimer || pTimer->m_pOwner != this || pTimer->m_Slot < 0) return false;
    Unregister(pTimer);
    return true;
}

size_t CTimerHandlers::RemoveTimers(CBaseObject* pResource) {
    // Collected first: a timer's release may run code that touches the table.
    std::vector<Strong<CScriptTimer>> removed;
    for (size_t slot = 0; slot < TIMER_CAPACITY && m_Count > 0; ++slot) {
        CScriptTimer* pTimer = m_Used[slot] ? m_pTimers[slot] : nullptr;
        if (!pTimer || pTimer->m_pResource != pResource) continue;
        removed.emplace_back(pTimer);
        Unregister(pTimer);
    }
    return removed.size();
}

size_t CTimerHandlers::RemoveTimers() {
    std::vector<Strong<CScriptTimer>> removed;
    for (size_t slot = 0; slot < TIMER_CAPACITY && m_Count > 0; ++slot) {
        if (!m_Used[slot]) continue;
        removed.emplace_back(m_pTimers[slot]);
        Unregister(m_pTimers[slot]);
    }
    return removed.size();
}

void CTimerHandlers::Process(double frameTime) {
    if (m_Count == 0 || m_bProcessing) return;
    m_bProcessing = true;
    for (size_t slot = 0; slot < TIMER_CAPACITY; ++slot) {
        if (!m_Used[slot] || m_pTimers[slot]->m_bAddedDuringPass) continue;
        Strong<CScriptTimer> pTimer = m_pTimers[slot];
        pTimer->m_Elapsed += frameTime;
        if (pTimer->m_Elapsed < pTimer->m_Interval) continue;
        {
            CReturnValue result;
            pTimer->m_pFunction->Call(pTimer->m_Arguments, &result);
        }
        if (!pTimer->IsRegistered()) continue; // cleared by its own function
        pTimer->m_Elapsed = 0.0;
        if (pTimer->m_RemainingRuns > 0 && --pTimer->m_RemainingRuns == 0) Unregister(pTimer.Get());
    }
    for (size_t slot = 0; slot < TIMER_CAPACITY; ++slot)
        if (m_Used[slot]) m_pTimers[slot]->m_bAddedDuringPass = false;
    m_bProcessing = false;
}

} // namespace TimerHandlers
} // namespace Tessera3D
