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

    // On the main thread, before the plug-in's code goes: forgets the calls still queued, whose
    // callers have all given up by then.
    static void DropPending();
};
