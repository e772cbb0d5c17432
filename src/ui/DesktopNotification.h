#pragma once

#include "model/User.h"

#include <wx/event.h>
#include <wx/timer.h>

#include <set>

class DownloadFinishedEvent;
class wxNotificationMessage;

// A pop-up as the desktop's own notification, for those who choose them: the performer's name
// as its title, what happened as its text, the thumbnail as its picture once it has come (the
// pop-up's placeholder when it cannot be had), gone after the pop-up's time; its action opens
// the performer's preview page, as a click on the pop-up does. Create it with new and forget
// it: it deletes itself once the notification is gone.
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
    void OnAction(wxCommandEvent& event);
    void OnDismissed(wxCommandEvent& event);
    void OnGone(wxTimerEvent& event);

    User m_user;
    int m_kind;
    wxNotificationMessage* m_message = nullptr;
    // The desktop has said the notification is gone.
    bool m_closed = false;
    // A server that never says the notification has gone still has it gone a little later.
    wxTimer m_gone;

    static std::set<DesktopNotification*> ms_live;

    wxDECLARE_EVENT_TABLE();
};
