#include "model/UserList.h"

void UserList::Clear()
{
    m_users.clear();
}

void UserList::AddUser(const User& user)
{
    m_users[user.GetName()] = user;
}

void UserList::RemoveUser(const wxString& name)
{
    m_users.erase(name);
}

const User* UserList::FindUser(const wxString& name) const
{
    const_iterator it = m_users.find(name);
    return it == m_users.end() ? nullptr : &it->second;
}

User& UserList::GetUser(const wxString& name) const
{
    UserHashMap::iterator it = m_users.find(name);
    if ( it == m_users.end() )
        it = m_users.insert(UserHashMap::value_type(name, User(name, STATUS_OFFLINE))).first;
    return it->second;
}

void UserList::GetDifference(const UserList& other, UserList& added, UserList& deleted,
                             UserList& changed) const
{
    deleted = *this;
    for ( const_iterator it = other.begin(); it != other.end(); ++it )
    {
        const User& current = it->second;
        const_iterator previous = m_users.find(it->first);
        if ( previous != m_users.end() )
        {
            deleted.RemoveUser(it->first);
            if ( current != previous->second )
                changed.AddUser(current);
        }
        else
        {
            added.AddUser(current);
        }
    }
}
