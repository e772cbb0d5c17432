#pragma once

#include "model/UserList.h"

#include <wx/thread.h>

// The watched site: holds its current list of performers and knows how to fetch a new one.
// The daemon thread replaces the list while the main thread reads it, so every access goes
// through the site's lock.
class Site
{
public:
    Site();
    virtual ~Site();

    static Site* GetInstance();

    // Downloads the list and makes it current: the time in ms until the next call, 0 on failure.
    virtual int UpdateUserList() = 0;
    virtual bool OnInit() = 0;
    virtual void OnExit() = 0;

    // A consistent copy of the current list, safe from any thread.
    UserList GetUserList() const;
    void SetUserList(const UserList& list);

private:
    static Site* ms_instance;

    mutable wxMutex m_lock;
    UserList m_userList;
};
