#pragma once

#include "shell/Site.h"

#include <wx/module.h>
#include <wx/thread.h>

#include <memory>

class HttpClient;
class StopSignal;
class wxStopWatch;

// The Lumora site, and at the same time the toolkit module through which the host's module
// mechanism creates it when the plug-in is loaded.
class LumoraSite : public Site, public wxModule
{
public:
    LumoraSite();

    int UpdateUserList() override;
    bool OnInit() override;
    void OnExit() override;

    // After this many failed downloads in a row every further failure is shown to the user.
    static constexpr int MAX_FAILURES = 10;
    static constexpr int TIMEOUT_SECONDS = 3;
    static constexpr int PAUSE_PER_PERFORMER_MS = 10;
    // The pause owed for the performers is slept in pieces of this, not one per performer: a
    // watcher's poll of 300 performers owes 3 s every 10 s, and its wakeups must stay few.
    static constexpr int PAUSE_PIECE_MS = 250;
    static constexpr long DEFAULT_SYNC_SECONDS = 10;
    // While keeping watching through an outage, attempts are this far apart at the most.
    static constexpr long MAX_RETRY_MS = 60000;

private:
    // The failure path of an attempt that started at attempt: always 0.
    int Failed(wxThread* self, StopSignal* stop, const wxStopWatch& attempt, bool keepWatching);
    // On the polling thread: lets a failed attempt last ms from its start; false when asked to
    // stop.
    static bool WaitOutFailedAttempt(wxThread& thread, StopSignal* stop, const wxStopWatch& attempt, long ms);
    // How long the next failed attempt lasts: the time-out, or while keeping watching, twice as
    // long after each failure up to MAX_RETRY_MS.
    long FailedAttemptMs(bool keepWatching) const;
    void OnDownloadFailed(bool keepWatching);

    // Consecutive failed downloads; touched only by the thread that polls.
    int m_failures = 0;
    // The polls' client, which keeps its connection from one poll to the next. Taken by one
    // poll at a time; another poll meanwhile makes its own.
    wxMutex m_listClientLock;
    std::unique_ptr<HttpClient> m_listClient;

    wxDECLARE_DYNAMIC_CLASS(LumoraSite);
};
