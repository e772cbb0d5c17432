#pragma once

#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>

// A stop request that reaches a worker thread at once, wherever it waits: in a pause of its own
// (Sleep), or on the network, where whoever waits registers a Waker that the request calls. A
// thread can then wait as long as it likes without waking up now and then to look for a stop.
// Raised from any thread, and never lowered: one signal per thread object.
class StopSignal
{
public:
    StopSignal();
    ~StopSignal();

    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // Any thread: every wait on the signal ends now, and every later one at once.
    void Raise();
    bool IsRaised() const;

    // A number no other signal of the process has had, so that what belongs to one thread's run
    // is told apart from another's, whose signal may stand at the same address.
    unsigned long GetSerial() const { return m_serial; }

    // Waits ms, or less when the signal is raised meanwhile; false when it is raised.
    bool Sleep(long ms);

    // While it lives, raising the signal also calls wake (on the raising thread, and at once if
    // the signal is already up), for a wait that Sleep does not cover. A null signal does nothing.
    class Waker
    {
    public:
        Waker(StopSignal* signal, const std::function<void()>& wake);
        ~Waker();

        Waker(const Waker&) = delete;
        Waker& operator=(const Waker&) = delete;

    private:
        StopSignal* m_signal;
        std::list<std::function<void()>>::iterator m_entry;
    };

    // While it lives, the signal is the calling thread's: code far down the thread's calls finds
    // it with OfThisThread, without being handed it.
    class Binding
    {
    public:
        explicit Binding(StopSignal& signal);
        ~Binding();

        Binding(const Binding&) = delete;
        Binding& operator=(const Binding&) = delete;
    };

    // The calling thread's signal, or null when it has none.
    static StopSignal* OfThisThread();

private:
    mutable std::mutex m_lock;
    std::condition_variable m_raised;
    bool m_up = false;
    const unsigned long m_serial;
    std::list<std::function<void()>> m_wakers;
};
