#pragma once
// A queue that producer threads fill and one consumer drains in batches: pending items under a lock,
// an event set when an item arrives, and a processing list that is worked through without the lock.
#include "Engine/Threads.h"

#include <mutex>
#include <vector>

namespace Tessera3D {

template <typename T>
class CPumpedEventLoop {
public:
    void Push(T item) {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Pending.push_back(std::move(item));
        }
        m_Event.Signal();
    }

    // Runs every pending item in arrival order; returns how many ran.
    template <typename Fn>
    size_t Pump(Fn&& process) {
        if (!m_Event.IsSignalled()) return 0;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Processing.swap(m_Pending);
            m_Event.Reset();
        }
        for (T& item : m_Processing) process(item);
        const size_t count = m_Processing.size();
        m_Processing.clear();
        return count;
    }

    // Drops every pending item without running it.
    void Clear() {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Pending.clear();
        m_Event.Reset();
    }

    Signalable& GetEvent() { return m_Event; }

private:
    std::mutex m_Mutex;
    std::vector<T> m_Pending;
    std::vector<T> m_Processing;
    Signalable m_Event;
};

} // namespace Tessera3D
