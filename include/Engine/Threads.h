#pragma once
// Thread primitives: a recursive lock, an event and a named thread.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <string>

namespace Tessera3D {

class CLockable {
public:
    void Lock() { m_Mutex.lock(); }
    void Unlock() { m_Mutex.unlock(); }
    bool TryLock() { return m_Mutex.try_lock(); }

private:
    std::recursive_mutex m_Mutex;
};

class CScopedLock {
public:
    explicit CScopedLock(CLockable& lockable) : m_Lockable(lockable) { m_Lockable.Lock(); }
    ~CScopedLock() { m_Lockable.Unlock(); }
    CScopedLock(const CScopedLock&) = delete;
    CScopedLock& operator=(const CScopedLock&) = delete;

private:
    CLockable& m_Lockable;
};

// An event: a flag that stays set until cleared (or clears itself when a wait consumes it, for
// auto-reset events) and wakes every waiter when set.
class Signalable {
public:
    explicit Signalable(bool autoReset = false) : m_bAutoReset(autoReset) {}

    void Signal();
    // Sets the flag only; safe inside a signal handler, where taking a lock could deadlock. Waiters
    // see it at their next test or time-out.
    void SignalFromInterrupt() { m_bSignalled.store(true, std::memory_order_release); }
    void Reset() { m_bSignalled.store(false, std::memory_order_release); }
    bool IsSignalled() const { return m_bSignalled.load(std::memory_order_acquire); }
    // Waits up to timeoutMs milliseconds (negative: forever); true when signalled.
    bool Wait(int timeoutMs);

private:
    bool m_bAutoReset;
    std::atomic<bool> m_bSignalled{false};
    std::mutex m_Mutex;
    std::condition_variable m_Condition;
};

// A named, joinable thread. Start() refuses to start twice; destroying a running thread detaches it.
// A detached thread may outlive this object, so what it touches after Run() is shared, not owned;
// a subclass whose Run() can outlive it must likewise keep its state in shared storage.
class Thread {
public:
    explicit Thread(const char* name) : m_Name(name) {}
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    bool Start();
    bool Join();
    bool IsRunning() const { return m_pRunning->IsSignalled(); }
    bool IsStarted() const { return m_bStarted; }
    const std::string& GetName() const { return m_Name; }

protected:
    virtual void Run() {}
    // What the new thread runs. By default Run() on this object; a thread that may outlive its object
    // (it is detached at destruction) returns work that holds only shared state.
    virtual std::function<void()> GetWork() { return [this] { Run(); }; }

private:
    struct StartRecord;
    static void* Entry(void* pRecord);

    std::string m_Name;
    pthread_t m_Thread{};
    bool m_bStarted = false;
    bool m_bJoined = false;
    std::shared_ptr<Signalable> m_pRunning = std::make_shared<Signalable>();
};

// A thread that runs a given function with a given argument.
class CThreadCB : public Thread {
public:
    using Function = void (*)(void* pArgument);
    CThreadCB(const char* name, Function function, void* pArgument)
        : Thread(name), m_Function(function), m_pArgument(pArgument) {}

protected:
    void Run() override { m_Function(m_pArgument); }

private:
    Function m_Function;
    void* m_pArgument;
};

} // namespace Tessera3D
