#pragma once

#include "net/StopSignal.h"

#include <wx/datetime.h>
#include <wx/list.h>
#include <wx/thread.h>

#include <memory>

class HistoryWriter;
class Site;
class wxEvent;
class wxEvtHandler;
class UserList;
class wxStopWatch;

WX_DECLARE_LIST(wxEvtHandler, EventHandlerList);

// Polls the site once per interval and posts what changed to every registered handler: first
// one list event with the whole list, then per poll one event per added, deleted and changed
// performer, in that order of kinds. It never touches a window itself.
class DaemonThread : public wxThread
{
public:
    DaemonThread(Site* site, wxThreadKind kind, unsigned int priority, unsigned int stackSize);
    ~DaemonThread() override;

    // May be called while the thread runs; a handler added twice gets every event twice.
    void AddEventHandler(wxEvtHandler* handler);
    // The one handler (or none) that gets a SyncStatusEvent after every attempt; it gets no
    // user events. May be called while the thread runs.
    void SetStatusHandler(wxEvtHandler* handler);
    // The watch history's writer (or none), handed every good poll; before the thread runs.
    void SetHistory(HistoryWriter* history) { m_history = history; }

    bool ShouldExit();

    // However the site answers, a list is never asked for sooner than this after the last
    // request began.
    static constexpr int MIN_SPACING_MS = 1000;

protected:
    ExitCode Entry() override;
    // On the thread that deletes this one: every wait of this thread ends at once.
    void OnDelete() override;

private:
    // Posts event to every handler; false when a stop request cut it short.
    bool PostToHandlers(const wxEvent& event);
    // Posts one poll's differences, and hands the poll to the history; false when stopped.
    bool PostDifferences(const std::shared_ptr<const UserList>& previous,
                         const std::shared_ptr<const UserList>& current, int interval);
    // Calls the site for a list, the site's result; a failure goes to the status handler.
    int Attempt();
    // A good list came: the status handler hears of it.
    void Succeeded(const UserList& list);
    void PostStatus();
    // Sleeps until ms have passed on watch; false when asked to stop.
    bool WaitSinceAttempt(const wxStopWatch& watch, int ms);

    Site* m_site;
    // Raised by Delete; the site's request and its pauses wait on it too.
    StopSignal m_stop;
    wxMutex m_handlersLock;
    EventHandlerList m_handlers;
    wxEvtHandler* m_statusHandler = nullptr;
    HistoryWriter* m_history = nullptr;
    // This thread's own: how the attempts have gone.
    size_t m_online = 0;
    wxDateTime m_lastSuccess;
    wxDateTime m_failingSince;
    int m_failures = 0;
};
