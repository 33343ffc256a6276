#include "Engine/Threads.h"

#include <chrono>

namespace Tessera3D {

struct Thread::StartRecord {
    std::function<void()> m_Work;
    std::shared_ptr<Signalable> m_pRunning;
    std::string m_Name;
};

void Signalable::Signal() {
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bSignalled.store(true, std::memory_order_release);
    }
    m_Condition.notify_all();
}

bool Signalable::Wait(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_Mutex);
    auto ready = [this] { return m_bSignalled.load(std::memory_order_acquire); };
    bool signalled;
    if (timeoutMs < 0) {
        m_Condition.wait(lock, ready);
        signalled = true;
    } else {
        signalled = m_Condition.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    }
    if (signalled && m_bAutoReset) m_bSignalled.store(false, std::memory_order_release);
    return signalled;
}

Thread::~Thread() {
    // A thread still running (say, blocked reading standard input) is left to end with the process.
    if (m_bStarted && !m_bJoined) pthread_detach(m_Thread);
}

bool Thread::Start() {
    if (m_bStarted) return false;
    m_pRunning->Signal(); // set before the thread can observe or clear it
    auto* pStart = new StartRecord{GetWork(), m_pRunning, m_Name};
    if (pthread_create(&m_Thread, nullptr, &Thread::Entry, pStart) != 0) {
        delete pStart;
        m_pRunning->Reset();
        return false;
    }
    m_bStarted = true;
    return true;
}

bool Thread::Join() {
    if (!m_bStarted || m_bJoined) return false;
    m_bJoined = pthread_join(m_Thread, nullptr) == 0;
    return m_bJoined;
}

void* Thread::Entry(void* pRecord) {
    std::unique_ptr<StartRecord> pStart(static_cast<StartRecord*>(pRecord));
    // Named from inside, so the name is in place before any of the thread's own code runs.
    pthread_setname_np(pthread_self(), pStart->m_Name.substr(0, 15).c_str());
    pStart->m_Work();
    pStart->m_pRunning->Reset();
    return nullptr;
}

} // namespace Tessera3D
