#include "ui/FavoriteTreeCtrl.h"

#include "sync/UserEvent.h"
#include "ui/UserListTreeItemData.h"

#include <wx/intl.h>

wxBEGIN_EVENT_TABLE(FavoriteTreeCtrl, UserListTreeCtrl)
    EVT_USER_LIST_INITIALIZED(FavoriteTreeCtrl::OnUserListInitialized)
    EVT_USER_ADDED(FavoriteTreeCtrl::OnUserAdded)
    EVT_USER_DELETED(FavoriteTreeCtrl::OnUserDeleted)
    EVT_USER_CHANGED(FavoriteTreeCtrl::OnUserStatusChanged)
wxEND_EVENT_TABLE()

FavoriteTreeCtrl::FavoriteTreeCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                                   const wxSize& size, long style, const wxValidator& validator,
                                   const wxString& name)
    : UserListTreeCtrl(parent, id, pos, size, style, validator, name)
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
