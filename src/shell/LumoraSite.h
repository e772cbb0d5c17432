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
    // At most this much of a poll's pause is slept while its answer is on its way: a server may
    // give up on a reader that long silent.
    static constexpr long MAX_PREPAID_MS = 5000;
    static constexpr long DEFAULT_SYNC_SECONDS = 10;
    // While keeping watching through an outage, attempts are this far apart at the most.
    static constexpr long MAX_RETRY_MS = 60000;

private:
    // What a poll reads from the configuration.
    struct PollSettings
    {
        wxString url;
        long seconds = DEFAULT_SYNC_SECONDS;
        bool keepWatching = false;
        // Read as the poll began, rather than as the last one ended.
        bool fresh = true;
    };

    // On the main thread: the configuration is not thread-safe, and is written there.
    static PollSettings ReadPollSettings();
    // The settings of the poll that begins: those read on the main thread as the same thread's
    // last poll ended, when there are some, else read now. False when asked to stop meanwhile.
    bool TakePollSettings(StopSignal* stop, PollSettings& settings);
    // After a poll of the thread that stop belongs to, which found this many performers: the
    // pause its next list is expected to owe, and the settings of that poll, which the main thread
    // reads when it wakes anyway for what this poll brought (one wakeup a poll, not two).
    void PrepareNextPoll(StopSignal* stop, size_t performers);
    // The pause the thread's poll that begins may sleep while its answer comes.
    long TakePrepaidMs(StopSignal* stop);
    // Whether to keep watching, as the configuration says now.
    bool ShouldKeepWatching(const PollSettings& settings) const;

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
    // What the next poll of the polling thread (known by its stop signal's serial) takes from the
    // last: its settings, and the pause it is expected to owe, what the last list did.
    wxMutex m_nextSettingsLock;
    std::unique_ptr<PollSettings> m_nextSettings;
    unsigned long m_nextSettingsFor = 0;
    long m_nextPrepaidMs = 0;
    unsigned long m_nextPrepaidFor = 0;

    wxDECLARE_DYNAMIC_CLASS(LumoraSite);
};
