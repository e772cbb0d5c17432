#include "sync/UserListEvent.h"

#include "sync/UserEvent.h"

wxDEFINE_EVENT(wxEVT_USER_LIST_INITIALIZED, UserListEvent);
wxDEFINE_EVENT(wxEVT_USER_ADDED, UserEvent);
wxDEFINE_EVENT(wxEVT_USER_DELETED, UserEvent);
wxDEFINE_EVENT(wxEVT_USER_CHANGED, UserEvent);

UserListEvent::UserListEvent(wxEventType commandType, int id)
    : wxEvent(id, commandType)
{
}

UserListEvent::UserListEvent(const UserListEvent& other)
    : wxEvent(other)
{
    for ( UserList::const_iterator it = other.m_userList.begin(); it != other.m_userList.end(); ++it )
        m_userList.AddUser(User(it->second.GetName().Clone(), it->second.GetStatus()));
}

wxEvent* UserListEvent::Clone() const
{
    return new UserListEvent(*this);
}
