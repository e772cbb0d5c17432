#include "ui/AllTreeCtrl.h"

#include "history/HistoryClock.h"
#include "history/HistoryPhrases.h"
#include "history/HistoryReader.h"
#include "history/WatchHistory.h"
#include "sync/UserEvent.h"
#include "ui/UserListTreeItemData.h"

#include <wx/intl.h>

wxBEGIN_EVENT_TABLE(AllTreeCtrl, UserListTreeCtrl)
    EVT_USER_ADDED(AllTreeCtrl::OnUserAdded)
    EVT_USER_CHANGED(AllTreeCtrl::OnUserChanged)
    EVT_USER_DELETED(AllTreeCtrl::OnUserDeleted)
    EVT_USER_LIST_INITIALIZED(AllTreeCtrl::OnUserListInitialized)
    EVT_TREE_ITEM_GETTOOLTIP(wxID_ANY, AllTreeCtrl::OnItemToolTip)
wxEND_EVENT_TABLE()

AllTreeCtrl::AllTreeCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                         long style, const wxValidator& validator, const wxString& name)
    : UserListTreeCtrl(parent, id, pos, size, style, validator, name)
{
    const int groupIcon = AddSkinImage("UserListTreeCtrl_onlineGroupIcon");
    m_freeIcon = AddSkinImage("UserListTreeCtrl_freeIcon");
    m_busyIcon = AddSkinImage("UserListTreeCtrl_busyIcon");

    m_groupLabel = _("Online");
    m_group = AppendItem(GetRootItem(), wxString::Format("%s (%s)", m_groupLabel, _("Loading")),
                         groupIcon, groupIcon, nullptr);
    // An expand button even while the first list is still on its way.
    SetItemHasChildren(m_group, true);
}

UserListTreeCtrl* AllTreeCtrl::CreateView() const
{
    return new AllTreeCtrl(GetParent(), wxID_ANY, wxDefaultPosition, wxDefaultSize, GetWindowStyleFlag(),
                           wxDefaultValidator, GetName());
}

void AllTreeCtrl::OnItemToolTip(wxTreeEvent& event)
{
    const UserListTreeItemData* data = GetUserData(event.GetItem());
    const wxString tip = data ? HistoryTip(data->GetUser()) : wxString();
    if ( tip.empty() )
    {
        event.Veto();
        return;
    }
    event.SetToolTip(tip);
}

wxString AllTreeCtrl::GetRowDescription(Row row) const
{
    const UserListTreeItemData* data = GetUserData(wxTreeItemId(const_cast<void*>(row)));
    return data ? HistoryTip(data->GetUser()) : wxString();
}

wxString AllTreeCtrl::HistoryTip(const User& user) const
{
    HistoryReader* reader = GetHistory() ? GetHistory()->GetReader() : nullptr;
    std::vector<HistoryReader::Seen> seen;
    if ( !reader || !reader->Look({ user.GetName() }, seen) )
        return wxString();
    // Not yet written: online since a moment the history does not know, last seen before.
    const std::int64_t before = seen[0].onlineSince ? seen[0].seenBefore : seen[0].lastSeen;
    return HistoryPhrases::Online(GetHistory()->GetClock().Now(), seen[0].onlineSince, before);
}

void AllTreeCtrl::OnUserListInitialized(UserListEvent& event)
{
    m_addingList = true;
    UserListTreeCtrl::OnUserListInitialized(event);
    m_addingList = false;
    Expand(m_group);
    UpdateGroupLabel();
}

void AllTreeCtrl::OnUserAdded(UserEvent& event)
{
    // The changed handler below gives the icon to the first item of the name. When that is the
    // new item, it is born with its icon, so that the handler finds nothing to redo: setting an
    // image measures the item again.
    const User& user = event.GetUser();
    const bool first = !FindItem(user, m_group, false).IsOk();
    const int icon = first ? OnlineIcon(user.GetStatus(), m_freeIcon, m_busyIcon) : -1;
    AppendUserItem(m_group, user, icon);
    UserEvent changed(user, wxEVT_USER_CHANGED, -1);
    ProcessOnSelf(changed);
    if ( !m_addingList )
        UpdateGroupLabel();
}

void AllTreeCtrl::OnUserChanged(UserEvent& event)
{
    const wxTreeItemId item = FindItem(event.GetUser(), m_group, false);
    if ( item.IsOk() )
        SetItemImages(item, OnlineIcon(event.GetUser().GetStatus(), m_freeIcon, m_busyIcon));
    // The base handler stores the new status in the item's data.
    event.Skip();
}

void AllTreeCtrl::OnUserDeleted(UserEvent& event)
{
    UserListTreeCtrl::OnUserDeleted(event);
    UpdateGroupLabel();
}

void AllTreeCtrl::UpdateGroupLabel()
{
    // User items never have children, so the direct count is the count of the whole branch,
    // and costs nothing to ask for.
    SetItemText(m_group, wxString::Format("%s (%d)", m_groupLabel,
                                          static_cast<int>(GetChildrenCount(m_group, false))));
}
