#pragma once

#include <functional>

// Runs work on the main thread and waits for it to finish. A worker thread that is asked to
// stop while it waits stops waiting: whoever stops it (for example a window being destroyed
// on the main thread) must not deadlock on a call that the main thread has not yet reached.
class MainThreadCall
{
public:
    MainThreadCall() = delete;

    // True when work ran to its end; false when the waiting thread was asked to stop first.
    // work receives a test that tells it whether the caller has given up meanwhile.
    static bool Run(const std::function<void(const std::function<bool()>& abandoned)>& work);

    // Queues work for the main thread without waiting for it and without waking it: it runs when
    // the main thread is next idle after anything else woke it, so that it costs no wakeup of its
    // own. Until Install, and after DropPending, the work is dropped.
    static void PostWhenAwake(const std::function<void()>& work);

    // On the main thread: lets the work of PostWhenAwake run from now on.
    static void Install();

    // On the main thread, before the plug-in's code goes: forgets the calls still queued, whose
    // callers have all given up by then, and the work that waits for the main thread to wake.
    static void DropPending();

private:
    static void Queue(const std::function<void()>& job);
};
