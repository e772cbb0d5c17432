#pragma once

#include <wx/list.h>
#include <wx/thread.h>

class Site;
class wxEvent;
class wxEvtHandler;
class UserList;

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

    bool ShouldExit();

protected:
    ExitCode Entry() override;

private:
    // Posts event to every handler; false when a stop request cut it short.
    bool PostToHandlers(const wxEvent& event);
    // Posts one poll's differences; false when stopped.
    bool PostDifferences(const UserList& previous, const UserList& current);

    Site* m_site;
    wxMutex m_handlersLock;
    EventHandlerList m_handlers;
};
