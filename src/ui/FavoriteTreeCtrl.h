#pragma once

#include "history/HistoryReader.h"
#include "model/UserList.h"
#include "ui/UserListTreeCtrl.h"

#include <wx/timer.h>

#include <unordered_map>

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
//
// With a watch history, each row says at its right, quietly, how long an online favourite has
// been online ("online 1 h 12 min") and when an offline one was last seen ("last seen 3 h ago",
// "not seen yet"), looked up again each minute and whenever a favourite comes or goes; the
// offline favourites may be ordered by when they were last seen, most recent first.
class FavoriteTreeCtrl : public UserListTreeCtrl
{
public:
    static constexpr int FAVORITES_LIST_ID = 0;

    FavoriteTreeCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                     long style, const wxValidator& validator, const wxString& name);

    // Adds the two group items, once: the main frame calls it after the first favourites
    // download. A later call does nothing.
    void CreateGroupItems();

    void SetHistory(WatchHistory* history) override;
    // The offline favourites by when they were last seen, most recent first; or as they came.
    void SetOrderByLastSeen(bool order);
    // Looks up every favourite in the history again (as when the history changed under it).
    void LookAgain();

protected:
    UserListTreeCtrl* CreateView() const override;
    // The favourites and, once they exist, the groups.
    void TakeStateFrom(const UserListTreeCtrl& full) override;
    wxString GetUserNote(const User& user) const override;

private:
    void OnUserListInitialized(UserListEvent& event);
    void OnUserAdded(UserEvent& event);
    void OnUserDeleted(UserEvent& event);
    void OnUserStatusChanged(UserEvent& event);
    void UpdateGroupLabels();
    void FollowSiteList(const UserList& site);
    void OnNoteTimer(wxTimerEvent& event);
    // Once the events at hand are done: favourites came or went.
    void LookAgainSoon();
    void OrderOffline();

    // Only the names count: they decide who is a favourite.
    UserList m_favorites;
    wxString m_onlineGroupLabel;
    wxTreeItemId m_onlineGroup;
    wxString m_offlineGroupLabel;
    wxTreeItemId m_offlineGroup;
    int m_offlineIcon = -1;
    int m_freeIcon = -1;
    int m_busyIcon = -1;

    // What the history knew of each favourite at the last look.
    std::unordered_map<wxString, HistoryReader::Seen> m_seen;
    // Each minute, and a moment after favourites came or went (once the history has it).
    wxTimer m_noteTimer;
    wxTimer m_soonTimer;
    bool m_orderByLastSeen = false;

    wxDECLARE_EVENT_TABLE();
};
