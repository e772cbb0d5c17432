#pragma once

#include "model/UserList.h"

#include <wx/event.h>

class UserListEvent;
class UserEvent;

wxDECLARE_EVENT(wxEVT_USER_LIST_INITIALIZED, UserListEvent);
wxDECLARE_EVENT(wxEVT_USER_ADDED, UserEvent);
wxDECLARE_EVENT(wxEVT_USER_DELETED, UserEvent);
wxDECLARE_EVENT(wxEVT_USER_CHANGED, UserEvent);

// Hands a whole list over: the first list of the site, or the favourites after a login.
// Not a command event, so it does not travel up to parent windows.
class UserListEvent : public wxEvent
{
public:
    UserListEvent(wxEventType commandType, int id);
    UserListEvent(const UserListEvent& other);

    const UserList& GetUserList() const { return m_userList; }
    void SetUserList(const UserList& list) { m_userList = list; }

    // A clone owns its own copy of every user: nothing is shared between threads.
    wxEvent* Clone() const override;

private:
    UserList m_userList;
};

typedef void (wxEvtHandler::*UserListEventFunction)(UserListEvent&);
#define UserListEventHandler(func) wxEVENT_HANDLER_CAST(UserListEventFunction, func)
#define EVT_USER_LIST_INITIALIZED(func) \
    wx__DECLARE_EVT1(wxEVT_USER_LIST_INITIALIZED, wxID_ANY, UserListEventHandler(func))
