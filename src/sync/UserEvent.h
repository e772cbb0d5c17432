#pragma once

#include "sync/UserListEvent.h"

// One performer who was added, deleted or changed, with the status it had before
// (-1 when there is none).
class UserEvent : public wxEvent
{
public:
    UserEvent(const User& user, wxEventType commandType, int oldStatus);
    UserEvent(const UserEvent& other);

    const User& GetUser() const { return m_user; }
    int GetOldStatus() const { return m_oldStatus; }
    void SetOldStatus(int status) { m_oldStatus = status; }

    wxEvent* Clone() const override;

private:
    User m_user;
    int m_oldStatus;
};

typedef void (wxEvtHandler::*UserEventFunction)(UserEvent&);
#define UserEventHandler(func) wxEVENT_HANDLER_CAST(UserEventFunction, func)
#define EVT_USER_ADDED(func) wx__DECLARE_EVT1(wxEVT_USER_ADDED, wxID_ANY, UserEventHandler(func))
#define EVT_USER_DELETED(func) wx__DECLARE_EVT1(wxEVT_USER_DELETED, wxID_ANY, UserEventHandler(func))
#define EVT_USER_CHANGED(func) wx__DECLARE_EVT1(wxEVT_USER_CHANGED, wxID_ANY, UserEventHandler(func))
