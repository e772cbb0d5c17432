#pragma once

#include "model/User.h"

#include <wx/event.h>
#include <wx/timer.h>

#include <set>

class DownloadFinishedEvent;
typedef struct _NotifyNotification NotifyNotification;

// A pop-up as the desktop's own notification, for those who choose them: the performer's name
// as its title, what happened as its text, the thumbnail as its picture once it has come (the
// pop-up's placeholder when it cannot be had), gone after the pop-up's time. A click on it, or
// its "Profile" action, opens the performer's preview page, as a click on the pop-up does. It
// names us by our desktop entry and our icon, so that the desktop can group and silence ours.
// Create it with new and forget it: it deletes itself once the notification is gone.
class DesktopNotification : public wxEvtHandler
{
public:
    DesktopNotification(const User& user, int kind);
    ~DesktopNotification() override;

    DesktopNotification(const DesktopNotification&) = delete;
    DesktopNotification& operator=(const DesktopNotification&) = delete;

    // The frame's end: every notification still there goes with it.
    static void CloseAll();

private:
    void OnDownloadFinished(DownloadFinishedEvent& event);
    void OnGone(wxTimerEvent& event);
    // libnotify calls these from the main loop.
    static void OnAction(NotifyNotification* notification, char* action, void* self);
    static void OnClosed(NotifyNotification* notification, void* self);

    User m_user;
    int m_kind;
    NotifyNotification* m_notification = nullptr;
    // Nothing of ours is on the desktop (any more): the desktop has said it is gone, or it never came.
    bool m_closed = false;
    // A server that never says the notification has gone still has it gone a little later.
    wxTimer m_gone;

    static std::set<DesktopNotification*> ms_live;

    wxDECLARE_EVENT_TABLE();
};
