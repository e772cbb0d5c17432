#pragma once

#include "model/User.h"

#include <wx/treebase.h>

class UserListTreeCtrl;

// The payload of a user item: a copy of one performer. While its item is in a tree, it keeps
// that tree's name index in step: a new name moves its entry, and its end (whichever call
// deletes the item) removes it.
class UserListTreeItemData : public wxTreeItemData
{
public:
    explicit UserListTreeItemData(const User& user);
    ~UserListTreeItemData() override;

    UserListTreeItemData(const UserListTreeItemData&) = delete;
    UserListTreeItemData& operator=(const UserListTreeItemData&) = delete;

    const User& GetUser() const { return m_user; }
    // Overwrites both the name and the status word.
    void SetUser(const User& user);

private:
    friend class UserListTreeCtrl;

    User m_user;
    // The tree whose index lists this item; null while none does.
    UserListTreeCtrl* m_owner = nullptr;
};
