#include "ui/UserListTreeItemData.h"

#include "ui/UserListTreeCtrl.h"

UserListTreeItemData::UserListTreeItemData(const User& user)
    : m_user(user)
{
}

UserListTreeItemData::~UserListTreeItemData()
{
    if ( m_owner )
        m_owner->Unindex(this, m_user.GetName());
}

void UserListTreeItemData::SetUser(const User& user)
{
    if ( m_owner && user.GetName() != m_user.GetName() )
        m_owner->Rename(this, m_user.GetName(), user.GetName());
    m_user = user;
}
