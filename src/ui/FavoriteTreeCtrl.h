#pragma once

#include "model/UserList.h"
#include "ui/UserListTreeCtrl.h"

// The "Favorite" page: the user's favourites in two groups, "Online (count)" and
// "Offline (count)", moved between them as performers come and go; an icon tells free, busy
// and offline apart.
//
// Two kinds of list event reach this tree, told apart by their id:
// - FAVORITES_LIST_ID (0): the favourites list the main frame posts after each favourites
//   download. It replaces the favourites and rebuilds both groups.
// - any other id, in practice the daemon thread's -1: the site's complete list of the first
//   download, which reaches this tree when the tree was registered before it. It is never taken
//   as the favourites; it only brings the shown favourites up to date (a favourite on it gets
//   its status, one missing from it goes offline), in case the favourites list was put
//   together from an older site list.
// Between lists the daemon thread's per-user events keep the favourites current; those for
// other performers change nothing.
class FavoriteTreeCtrl : public UserListTreeCtrl
{
public:
    static constexpr int FAVORITES_LIST_ID = 0;

    FavoriteTreeCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                     long style, const wxValidator& validator, const wxString& name);

    // Adds the two group items, once: the main frame calls it after the first favourites
    // download. A later call does nothing.
    void CreateGroupItems();

protected:
    UserListTreeCtrl* CreateView() const override;
    // The favourites and, once they exist, the groups.
    void TakeStateFrom(const UserListTreeCtrl& full) override;

private:
    void OnUserListInitialized(UserListEvent& event);
    void OnUserAdded(UserEvent& event);
    void OnUserDeleted(UserEvent& event);
    void OnUserStatusChanged(UserEvent& event);
    void UpdateGroupLabels();
    void FollowSiteList(const UserList& site);

    // Only the names count: they decide who is a favourite.
    UserList m_favorites;
    wxString m_onlineGroupLabel;
    wxTreeItemId m_onlineGroup;
    wxString m_offlineGroupLabel;
    wxTreeItemId m_offlineGroup;
    int m_offlineIcon = -1;
    int m_freeIcon = -1;
    int m_busyIcon = -1;

    wxDECLARE_EVENT_TABLE();
};
