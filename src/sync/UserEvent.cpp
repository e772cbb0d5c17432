#include "sync/UserEvent.h"

UserEvent::UserEvent(const User& user, wxEventType commandType, int oldStatus)
    : wxEvent(wxID_ANY, commandType)
    , m_user(user)
    , m_oldStatus(oldStatus)
{
}

UserEvent::UserEvent(const UserEvent& other)
    : wxEvent(other)
    , m_user(other.m_user.GetName().Clone(), other.m_user.GetStatus())
    , m_oldStatus(other.m_oldStatus)
{
}

wxEvent* UserEvent::Clone() const
{
    return new UserEvent(*this);
}
