#include "shell/Site.h"

Site* Site::ms_instance = nullptr;

Site::Site()
{
    ms_instance = this;
}

Site::~Site() = default;

Site* Site::GetInstance()
{
    return ms_instance;
}

UserList Site::GetUserList() const
{
    wxMutexLocker lock(m_lock);
    return m_userList;
}

void Site::SetUserList(const UserList& list)
{
    // Copy outside the lock so that readers wait only for the swap.
    UserList copy(list);
    wxMutexLocker lock(m_lock);
    std::swap(m_userList, copy);
}
