#pragma once

#include "model/User.h"

#include <wx/hashmap.h>

WX_DECLARE_STRING_HASH_MAP(User, UserHashMap);

// The performers known at one moment, keyed by name (case-sensitive). Iteration follows the
// hash map's bucket order, which nobody may rely on.
class UserList
{
public:
    typedef UserHashMap::iterator iterator;
    typedef UserHashMap::const_iterator const_iterator;

    UserList() = default;
    virtual ~UserList() = default;

    UserList(const UserList&) = default;
    UserList& operator=(const UserList&) = default;

    iterator begin() { return m_users.begin(); }
    iterator end() { return m_users.end(); }
    const_iterator begin() const { return m_users.begin(); }
    const_iterator end() const { return m_users.end(); }

    size_t GetCount() const { return m_users.size(); }
    bool IsEmpty() const { return m_users.empty(); }

    void Clear();
    // The last user added under a name wins.
    void AddUser(const User& user);
    void RemoveUser(const wxString& name);
    // Null when absent; valid until the list next changes.
    const User* FindUser(const wxString& name) const;
    // For names known to be present; an absent name gets a default user stored under it.
    User& GetUser(const wxString& name) const;

    // Called on the previous list with the current one as other. added and changed are
    // appended to; deleted is overwritten.
    void GetDifference(const UserList& other, UserList& added, UserList& deleted,
                       UserList& changed) const;

private:
    // GetUser is const yet may store a default user, as callers expect.
    mutable UserHashMap m_users;
};
