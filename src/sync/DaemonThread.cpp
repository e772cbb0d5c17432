#include "sync/DaemonThread.h"

#include "history/HistoryWriter.h"
#include "shell/Site.h"
#include "sync/SyncStatusEvent.h"
#include "sync/UserEvent.h"

#include <wx/listimpl.cpp>
#include <wx/log.h>
#include <wx/stopwatch.h>

#include <algorithm>
#include <vector>

WX_DEFINE_LIST(EventHandlerList);

DaemonThread::DaemonThread(Site* site, wxThreadKind kind, unsigned int priority,
                           unsigned int stackSize)
    : wxThread(kind)
    , m_site(site)
{
    m_handlers.DeleteContents(false);
    const wxThreadError error = Create(stackSize);
    if ( error != wxTHREAD_NO_ERROR )
        wxLogTrace("lumora", "DaemonThread: Create failed (%d)", static_cast<int>(error));
    SetPriority(priority);
}

DaemonThread::~DaemonThread()
{
    m_handlers.Clear();
}

void DaemonThread::AddEventHandler(wxEvtHandler* handler)
{
    wxMutexLocker lock(m_handlersLock);
    m_handlers.Append(handler);
}

void DaemonThread::SetStatusHandler(wxEvtHandler* handler)
{
    wxMutexLocker lock(m_handlersLock);
    m_statusHandler = handler;
}

int DaemonThread::Attempt()
{
    const wxDateTime start = wxDateTime::Now();
    const int result = m_site->UpdateUserList();
    // A stop is not a failure of the site's.
    if ( result == 0 && !TestDestroy() )
    {
        if ( m_failures++ == 0 )
            m_failingSince = start;
        PostStatus();
    }
    return result;
}

void DaemonThread::Succeeded(const UserList& list)
{
    m_online = list.GetCount();
    m_lastSuccess = wxDateTime::Now();
    m_failingSince = wxDateTime();
    m_failures = 0;
    PostStatus();
}

void DaemonThread::PostStatus()
{
    wxMutexLocker lock(m_handlersLock);
    if ( m_statusHandler )
        m_statusHandler->AddPendingEvent(SyncStatusEvent(m_online, m_lastSuccess, m_failingSince, m_failures));
}

void DaemonThread::OnDelete()
{
    m_stop.Raise();
}

bool DaemonThread::ShouldExit()
{
    if ( m_stop.IsRaised() || TestDestroy() )
        return true;
    wxThread::Yield();
    return false;
}

bool DaemonThread::PostToHandlers(const wxEvent& event)
{
    // A snapshot, so that the main thread can register a handler while we post.
    std::vector<wxEvtHandler*> handlers;
    {
        wxMutexLocker lock(m_handlersLock);
        handlers.assign(m_handlers.begin(), m_handlers.end());
    }
    for ( wxEvtHandler* handler : handlers )
    {
        if ( ShouldExit() )
            return false;
        if ( handler )
            handler->AddPendingEvent(event);
    }
    return true;
}

bool DaemonThread::PostDifferences(const std::shared_ptr<const UserList>& previous,
                                   const std::shared_ptr<const UserList>& current, int interval)
{
    std::shared_ptr<UserList> added = std::make_shared<UserList>();
    std::shared_ptr<UserList> deleted = std::make_shared<UserList>();
    std::shared_ptr<UserList> changed = std::make_shared<UserList>();
    previous->GetDifference(*current, *added, *deleted, *changed);
    // Written on a thread of its own, while the events go out.
    if ( m_history )
        m_history->Record(current, added, deleted, changed, interval / 1000);

    for ( UserList::const_iterator it = added->begin(); it != added->end(); ++it )
    {
        if ( !PostToHandlers(UserEvent(it->second, wxEVT_USER_ADDED, -1)) )
            return false;
    }
    for ( UserList::const_iterator it = deleted->begin(); it != deleted->end(); ++it )
    {
        if ( !PostToHandlers(UserEvent(it->second, wxEVT_USER_DELETED, -1)) )
            return false;
    }
    for ( UserList::const_iterator it = changed->begin(); it != changed->end(); ++it )
    {
        UserEvent event(it->second, wxEVT_USER_CHANGED, -1);
        // The lists are shared with the history's writer: looked at, never added to.
        const User* before = previous->FindUser(it->first);
        event.SetOldStatus(before ? before->GetStatus() : STATUS_OFFLINE);
        if ( !PostToHandlers(event) )
            return false;
    }
    return true;
}

bool DaemonThread::WaitSinceAttempt(const wxStopWatch& watch, int ms)
{
    // One wait, which a stop request ends: nothing wakes the thread meanwhile.
    const long left = ms - watch.Time();
    if ( left > 0 )
        m_stop.Sleep(left);
    return !ShouldExit();
}

wxThread::ExitCode DaemonThread::Entry()
{
    wxLogTrace("lumora", "DaemonThread started");
    // The site's request and its pauses find the signal through the thread.
    StopSignal::Binding binding(m_stop);
    // Runs from the start of one attempt to the start of the next.
    wxStopWatch watch;
    int interval = 0;
    while ( (interval = Attempt()) == 0 )
    {
        if ( ShouldExit() || !WaitSinceAttempt(watch, MIN_SPACING_MS) )
        {
            wxLogTrace("lumora", "DaemonThread stopped before the first list");
            return reinterpret_cast<ExitCode>(1);
        }
        watch.Start();
    }
    interval = std::max(interval, MIN_SPACING_MS);

    std::shared_ptr<const UserList> previous = std::make_shared<const UserList>(m_site->GetUserList());
    wxLogTrace("lumora", "DaemonThread: first list of %lu performers", static_cast<unsigned long>(previous->GetCount()));
    if ( m_history )
        m_history->Record(previous, nullptr, nullptr, nullptr, interval / 1000);
    UserListEvent initialized(wxEVT_USER_LIST_INITIALIZED, -1);
    initialized.SetUserList(*previous);
    if ( !PostToHandlers(initialized) )
        return 0;
    // After the list, so that the count never runs ahead of the trees.
    Succeeded(*previous);

    watch.Start();
    for ( ;; )
    {
        if ( ShouldExit() )
            break;
        if ( watch.Time() < interval )
        {
            WaitSinceAttempt(watch, interval);
            continue;
        }
        watch.Start();
        const int result = Attempt();
        if ( result != 0 )
        {
            const std::shared_ptr<const UserList> current = std::make_shared<const UserList>(m_site->GetUserList());
            if ( !PostDifferences(previous, current, result) )
                break;
            Succeeded(*current);
            previous = current;
        }
        // Whatever the site answered, failures included, it is not asked again within a second.
        interval = std::max(result, MIN_SPACING_MS);
    }
    wxLogTrace("lumora", "DaemonThread stopped");
    return 0;
}
