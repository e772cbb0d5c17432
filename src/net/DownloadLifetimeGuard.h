#pragma once

#include <cstddef>

class StopSignal;
class wxEvtHandler;

// What keeps one download thread from outliving what it serves: its result reaches its receiver
// on the main thread only while the receiver still exists (a body nobody takes is freed), and
// WaitForAll returns only once every download thread has ended, its system thread included, so
// that the library holding their code may go. Each download thread owns one.
class DownloadLifetimeGuard
{
public:
    DownloadLifetimeGuard() = default;
    // A result still owed is handed over as a failure, or dropped on the main thread, where
    // nobody waits for it; then the download no longer counts as running.
    ~DownloadLifetimeGuard();

    DownloadLifetimeGuard(const DownloadLifetimeGuard&) = delete;
    DownloadLifetimeGuard& operator=(const DownloadLifetimeGuard&) = delete;

    // On the main thread, once the download thread exists: it counts as running from now on, its
    // one result goes to receiver (null: to nobody) as a wxEVT_DOWNLOAD_FINISHED of id, and
    // WaitForAll raises stop (if not null), which must outlive the guard.
    void Enlist(wxEvtHandler* receiver, int id, StopSignal* stop = nullptr);

    // On the download thread, as it starts: WaitForAll also waits for this system thread to end.
    static void EnterThread();

    // Hands the result over (body allocated with operator new, or null for a failure); only the
    // first call counts, the body of any other is freed.
    void Deliver(void* body, size_t size);

    // The download no longer runs (a joinable thread ends before its object goes).
    void Release();

    // Whether WaitForAll asks the running downloads to stop.
    static bool IsStopping();

    // On the main thread, before the code of the download threads goes away: asks every running
    // download to stop, waits until each has ended (each is bounded by its socket time-out), and
    // hands over or frees what they left.
    static void WaitForAll();

private:
    class Delivery;
    class Dispatcher;
    class ResultEvent;

    // Who gets the result, until it is handed over: the download thread only carries it.
    Delivery* m_delivery = nullptr;
    StopSignal* m_stop = nullptr;
    bool m_enlisted = false;
};
