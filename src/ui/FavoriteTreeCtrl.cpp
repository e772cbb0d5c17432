#include "ui/FavoriteTreeCtrl.h"

#include "history/HistoryClock.h"
#include "history/HistoryPhrases.h"
#include "history/WatchHistory.h"
#include "sync/UserEvent.h"
#include "ui/UserListTreeItemData.h"

#include <wx/intl.h>
#include <wx/wupdlock.h>

#include <algorithm>
#include <vector>

namespace
{
enum
{
    ID_NOTE_TIMER = 1,
    ID_SOON_TIMER
};
const int MINUTE_MS = 60 * 1000;
// Time enough for the history's writer to have the poll that brought the change.
const int SOON_MS = 1000;
}

wxBEGIN_EVENT_TABLE(FavoriteTreeCtrl, UserListTreeCtrl)
    EVT_USER_LIST_INITIALIZED(FavoriteTreeCtrl::OnUserListInitialized)
    EVT_USER_ADDED(FavoriteTreeCtrl::OnUserAdded)
    EVT_USER_DELETED(FavoriteTreeCtrl::OnUserDeleted)
    EVT_USER_CHANGED(FavoriteTreeCtrl::OnUserStatusChanged)
    EVT_TIMER(wxID_ANY, FavoriteTreeCtrl::OnNoteTimer)
wxEND_EVENT_TABLE()

FavoriteTreeCtrl::FavoriteTreeCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                                   const wxSize& size, long style, const wxValidator& validator,
                                   const wxString& name)
    : UserListTreeCtrl(parent, id, pos, size, style, validator, name)
    , m_noteTimer(this, ID_NOTE_TIMER)
    , m_soonTimer(this, ID_SOON_TIMER)
{
    m_offlineIcon = AddSkinImage("UserListTreeCtrl_offlineIcon");
    m_freeIcon = AddSkinImage("UserListTreeCtrl_freeIcon");
    m_busyIcon = AddSkinImage("UserListTreeCtrl_busyIcon");
}

void FavoriteTreeCtrl::CreateGroupItems()
{
    if ( m_onlineGroup.IsOk() )
        return;
    const int onlineGroupIcon = AddSkinImage("UserListTreeCtrl_onlineGroupIcon");
    const int offlineGroupIcon = AddSkinImage("UserListTreeCtrl_offlineGroupIcon");

    m_onlineGroupLabel = _("Online");
    m_onlineGroup = AppendItem(GetRootItem(),
                               wxString::Format("%s (%s)", m_onlineGroupLabel, _("Loading")),
                               onlineGroupIcon, onlineGroupIcon, nullptr);
    m_offlineGroupLabel = _("Offline");
    m_offlineGroup = AppendItem(GetRootItem(),
                                wxString::Format("%s (%s)", m_offlineGroupLabel, _("Loading")),
                                offlineGroupIcon, offlineGroupIcon, nullptr);
}

UserListTreeCtrl* FavoriteTreeCtrl::CreateView() const
{
    return new FavoriteTreeCtrl(GetParent(), wxID_ANY, wxDefaultPosition, wxDefaultSize, GetWindowStyleFlag(),
                                wxDefaultValidator, GetName());
}

void FavoriteTreeCtrl::TakeStateFrom(const UserListTreeCtrl& full)
{
    const FavoriteTreeCtrl& favorites = static_cast<const FavoriteTreeCtrl&>(full);
    m_favorites = favorites.m_favorites;
    if ( favorites.m_onlineGroup.IsOk() )
        CreateGroupItems();
}

void FavoriteTreeCtrl::OnUserListInitialized(UserListEvent& event)
{
    if ( event.GetId() != FAVORITES_LIST_ID )
    {
        FollowSiteList(event.GetUserList());
        return;
    }
    // Favourites need their groups; without them they would have nowhere to go.
    CreateGroupItems();
    DeleteChildren(m_onlineGroup);
    DeleteChildren(m_offlineGroup);
    m_favorites = event.GetUserList();
    for ( UserList::const_iterator it = m_favorites.begin(); it != m_favorites.end(); ++it )
    {
        UserEvent changed(it->second, wxEVT_USER_CHANGED, STATUS_OFFLINE);
        ProcessOnSelf(changed);
    }
    Expand(m_onlineGroup);
    Expand(m_offlineGroup);
    LookAgainSoon();
}

void FavoriteTreeCtrl::OnUserAdded(UserEvent& event)
{
    if ( !m_favorites.FindUser(event.GetUser().GetName()) )
        return;
    UserEvent changed(event.GetUser(), wxEVT_USER_CHANGED, STATUS_OFFLINE);
    ProcessOnSelf(changed);
}

void FavoriteTreeCtrl::OnUserDeleted(UserEvent& event)
{
    if ( !m_favorites.FindUser(event.GetUser().GetName()) )
        return;
    User gone(event.GetUser());
    const int status = gone.GetStatus();
    gone.SetStatus(STATUS_OFFLINE);
    UserEvent changed(gone, wxEVT_USER_CHANGED, status);
    ProcessOnSelf(changed);
}

void FavoriteTreeCtrl::OnUserStatusChanged(UserEvent& event)
{
    const User& user = event.GetUser();
    if ( !m_favorites.FindUser(user.GetName()) )
        return;
    const int status = user.GetStatus();
    const int image = status == STATUS_OFFLINE ? m_offlineIcon
                                               : OnlineIcon(status, m_freeIcon, m_busyIcon);

    // The group the item leaves is the one it is in, not the one the event's old status
    // names: a favourites list built from an older site list may show it elsewhere.
    if ( status & STATUS_ONLINE )
    {
        const wxTreeItemId left = FindItem(user, m_offlineGroup, false);
        if ( left.IsOk() )
            Delete(left);
    }
    else if ( status == STATUS_OFFLINE )
    {
        const wxTreeItemId left = FindItem(user, m_onlineGroup, false);
        if ( left.IsOk() )
            Delete(left);
    }

    wxTreeItemId item = FindItem(user, GetRootItem(), true);
    if ( item.IsOk() )
    {
        SetItemImages(item, image);
    }
    else
    {
        if ( status == STATUS_OFFLINE )
            item = AppendUserItem(m_offlineGroup, user, image);
        else if ( status & STATUS_ONLINE )
            item = AppendUserItem(m_onlineGroup, user, image);
        else
            return;
        UpdateGroupLabels();
    }
    GetUserData(item)->SetUser(user);
    LookAgainSoon();
}

void FavoriteTreeCtrl::UpdateGroupLabels()
{
    // User items never have children: the direct counts are those of the whole branches.
    SetItemText(m_onlineGroup,
                wxString::Format("%s (%d)", m_onlineGroupLabel,
                                 static_cast<int>(GetChildrenCount(m_onlineGroup, false))));
    SetItemText(m_offlineGroup,
                wxString::Format("%s (%d)", m_offlineGroupLabel,
                                 static_cast<int>(GetChildrenCount(m_offlineGroup, false))));
}

void FavoriteTreeCtrl::FollowSiteList(const UserList& site)
{
    for ( UserList::const_iterator it = m_favorites.begin(); it != m_favorites.end(); ++it )
    {
        const User* online = site.FindUser(it->first);
        const User now(it->first, online ? online->GetStatus() : STATUS_OFFLINE);
        const UserListTreeItemData* shown = GetUserData(FindItem(now, GetRootItem(), true));
        const int before = shown ? shown->GetUser().GetStatus() : STATUS_OFFLINE;
        if ( shown && before == now.GetStatus() )
            continue;
        UserEvent changed(now, wxEVT_USER_CHANGED, before);
        ProcessOnSelf(changed);
    }
}

void FavoriteTreeCtrl::SetHistory(WatchHistory* history)
{
    UserListTreeCtrl::SetHistory(history);
    if ( history )
        m_noteTimer.Start(MINUTE_MS);
    else
        m_noteTimer.Stop();
    LookAgain();
}

void FavoriteTreeCtrl::SetOrderByLastSeen(bool order)
{
    m_orderByLastSeen = order;
    if ( order )
        OrderOffline();
}

void FavoriteTreeCtrl::OnNoteTimer(wxTimerEvent&)
{
    LookAgain();
}

void FavoriteTreeCtrl::LookAgainSoon()
{
    // The view shows the full tree's notes.
    if ( GetHistory() && !IsView() && !m_soonTimer.IsRunning() )
        m_soonTimer.StartOnce(SOON_MS);
}

void FavoriteTreeCtrl::LookAgain()
{
    if ( IsView() )
        return;
    m_seen.clear();
    HistoryReader* reader = GetHistory() ? GetHistory()->GetReader() : nullptr;
    if ( reader && !m_favorites.IsEmpty() )
    {
        std::vector<wxString> names;
        names.reserve(m_favorites.GetCount());
        for ( UserList::const_iterator it = m_favorites.begin(); it != m_favorites.end(); ++it )
            names.push_back(it->first);
        std::vector<HistoryReader::Seen> seen;
        if ( reader->Look(names, seen) )
        {
            for ( size_t i = 0; i < names.size(); ++i )
                m_seen[names[i]] = seen[i];
        }
    }
    if ( m_orderByLastSeen )
        OrderOffline();
    // Once a minute: the notes change, and nothing else.
    Refresh();
    if ( GetFilterView() )
        GetFilterView()->Refresh();
}

wxString FavoriteTreeCtrl::GetUserNote(const User& user) const
{
    if ( !GetHistory() || !GetHistory()->GetReader() )
        return wxString();
    const auto found = m_seen.find(user.GetName());
    const HistoryReader::Seen seen = found == m_seen.end() ? HistoryReader::Seen() : found->second;
    const std::int64_t now = GetHistory()->GetClock().Now();
    if ( user.GetStatus() & STATUS_ONLINE )
        return HistoryPhrases::OnlineFor(now, seen.onlineSince);
    return HistoryPhrases::LastSeen(now, seen.lastSeen);
}

void FavoriteTreeCtrl::OrderOffline()
{
    if ( !m_offlineGroup.IsOk() )
        return;
    std::vector<User> shown;
    wxTreeItemIdValue cookie;
    for ( wxTreeItemId item = GetFirstChild(m_offlineGroup, cookie); item.IsOk();
          item = GetNextChild(m_offlineGroup, cookie) )
    {
        if ( const UserListTreeItemData* data = GetUserData(item) )
            shown.push_back(data->GetUser());
    }
    const auto lastSeen = [this](const User& user) {
        const auto found = m_seen.find(user.GetName());
        return found == m_seen.end() ? std::int64_t(0) : found->second.lastSeen;
    };
    std::vector<User> ordered(shown);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [&](const User& a, const User& b) { return lastSeen(a) > lastSeen(b); });
    if ( std::equal(shown.begin(), shown.end(), ordered.begin(),
                    [](const User& a, const User& b) { return a.GetName() == b.GetName(); }) )
        return;
    const UserListTreeItemData* selected = GetUserData(GetSelection());
    const wxString keep = selected ? selected->GetUser().GetName() : wxString();
    {
        wxWindowUpdateLocker frozen(this);
        DeleteChildren(m_offlineGroup);
        for ( const User& user : ordered )
        {
            const wxTreeItemId item = AppendUserItem(m_offlineGroup, user, m_offlineIcon);
            if ( user.GetName() == keep )
                SelectItem(item);
        }
    }
    RebuildView();
}
