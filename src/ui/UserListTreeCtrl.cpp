#include "ui/UserListTreeCtrl.h"

#include "model/UserList.h"
#include "shell/SiteHosts.h"
#include "shell/Util.h"
#include "skin/Skin.h"
#include "sync/UserEvent.h"
#include "ui/UserListTreeItemData.h"

#include <wx/bitmap.h>
#include <wx/image.h>
#include <wx/imaglist.h>
#include <wx/intl.h>
#include <wx/menu.h>
#include <wx/utils.h>

#include <algorithm>
#include <cstring>

wxBEGIN_EVENT_TABLE(UserListTreeCtrl, wxTreeCtrl)
    EVT_MENU(wxID_OPEN, UserListTreeCtrl::OnMenu)
    EVT_TREE_ITEM_ACTIVATED(wxID_ANY, UserListTreeCtrl::OnTreeItemActivated)
    EVT_TREE_ITEM_RIGHT_CLICK(wxID_ANY, UserListTreeCtrl::OnTreeItemRightClick)
    EVT_USER_ADDED(UserListTreeCtrl::OnUserAdded)
    EVT_USER_CHANGED(UserListTreeCtrl::OnUserChanged)
    EVT_USER_DELETED(UserListTreeCtrl::OnUserDeleted)
    EVT_USER_LIST_INITIALIZED(UserListTreeCtrl::OnUserListInitialized)
wxEND_EVENT_TABLE()

UserListTreeCtrl::UserListTreeCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                                   const wxSize& size, long style, const wxValidator& validator,
                                   const wxString& name)
    : wxTreeCtrl(parent, id, pos, size, style, validator, name)
{
    AddRoot(wxEmptyString, -1, -1, nullptr);
}

UserListTreeCtrl::~UserListTreeCtrl()
{
    // The toolkit deletes the items (and their data) after this index is gone.
    for ( auto& names : m_index )
        for ( IndexEntry& entry : names.second )
            entry.data->m_owner = nullptr;
}

wxTreeItemId UserListTreeCtrl::FindItem(const User& user, const wxTreeItemId& parent,
                                        bool recursive) const
{
    const auto found = m_index.find(user.GetName());
    if ( !parent.IsOk() || found == m_index.end() )
        return wxTreeItemId();
    const IndexEntry* first = nullptr;
    for ( const IndexEntry& entry : found->second )
    {
        if ( recursive ? !IsBelow(entry.parent, parent) : entry.parent != parent )
            continue;
        if ( !first || ComesFirst(entry, *first, parent) )
            first = &entry;
    }
    return first ? first->item : wxTreeItemId();
}

UserListTreeItemData* UserListTreeCtrl::GetUserData(const wxTreeItemId& item) const
{
    return item.IsOk() ? dynamic_cast<UserListTreeItemData*>(GetItemData(item)) : nullptr;
}

void UserListTreeCtrl::OnUserListInitialized(UserListEvent& event)
{
    const UserList& users = event.GetUserList();
    for ( UserList::const_iterator it = users.begin(); it != users.end(); ++it )
    {
        UserEvent added(it->second, wxEVT_USER_ADDED, -1);
        ProcessOnSelf(added);
    }
}

void UserListTreeCtrl::OnUserAdded(UserEvent& event)
{
    AppendUserItem(GetRootItem(), event.GetUser(), -1);
}

void UserListTreeCtrl::OnUserChanged(UserEvent& event)
{
    const wxTreeItemId item = FindItem(event.GetUser(), GetRootItem(), true);
    if ( item.IsOk() )
        GetUserData(item)->SetUser(event.GetUser());
}

void UserListTreeCtrl::OnUserDeleted(UserEvent& event)
{
    const wxTreeItemId item = FindItem(event.GetUser(), GetRootItem(), true);
    if ( item.IsOk() )
        Delete(item);
}

wxTreeItemId UserListTreeCtrl::AppendUserItem(const wxTreeItemId& parent, const User& user,
                                              int image)
{
    UserListTreeItemData* data = new UserListTreeItemData(user);
    const wxTreeItemId item = AppendItem(parent, user.GetName(), image, image, data);
    if ( item.IsOk() )
    {
        data->m_owner = this;
        m_index[user.GetName()].push_back(IndexEntry{ data, item, parent, m_appended++ });
    }
    return item;
}

void UserListTreeCtrl::SetItemImages(const wxTreeItemId& item, int image)
{
    // Each call measures the item's text anew, which a list of thousands feels: only a
    // different image is worth it.
    if ( GetItemImage(item, wxTreeItemIcon_Normal) != image )
        SetItemImage(item, image, wxTreeItemIcon_Normal);
    if ( GetItemImage(item, wxTreeItemIcon_Selected) != image )
        SetItemImage(item, image, wxTreeItemIcon_Selected);
}

void UserListTreeCtrl::ProcessOnSelf(wxEvent& event)
{
    GetEventHandler()->ProcessEvent(event);
}

int UserListTreeCtrl::OnlineIcon(int status, int freeIcon, int busyIcon)
{
    if ( status & STATUS_FREE )
        return freeIcon;
    if ( (status & STATUS_ONLINE) && !(status & STATUS_BUSY) )
        return freeIcon;
    if ( status & STATUS_BUSY )
        return busyIcon;
    return -1;
}

int UserListTreeCtrl::AddSkinImage(wxImageList* images, const wxString& name)
{
    const wxSize size = images->GetSize();
    wxBitmap bitmap = Skin::GetInstance()->GetBitmap(name);
    if ( !bitmap.IsOk() )
    {
        // The list refuses an invalid bitmap, which would shift every later index.
        wxImage blank(size);
        blank.SetAlpha();
        std::memset(blank.GetAlpha(), wxIMAGE_ALPHA_TRANSPARENT, size.x * size.y);
        bitmap = wxBitmap(blank);
    }
    else if ( bitmap.GetSize() != size )
    {
        // A wider image would be cut into several entries, a narrower one refused.
        bitmap = wxBitmap(bitmap.ConvertToImage().Scale(size.x, size.y, wxIMAGE_QUALITY_HIGH));
    }
    return images->Add(bitmap);
}

void UserListTreeCtrl::OnMenu(wxCommandEvent& WXUNUSED(event))
{
    // Not skipped: the frame uses the same id for showing itself.
    const UserListTreeItemData* data = GetUserData(GetSelection());
    if ( !data )
        return;
    // The preview page takes the bare name as its whole query.
    Util::LaunchBrowser(
        SiteHosts::MakeUrl(SiteHosts::PREVIEW, "/preview.shtml?" + data->GetUser().GetName()));
}

void UserListTreeCtrl::OnTreeItemActivated(wxTreeEvent& WXUNUSED(event))
{
    // Activation is "Profile": it acts on the selection, not on the activated item.
    wxCommandEvent command(wxEVT_MENU, wxID_OPEN);
    command.SetEventObject(this);
    Command(command);
}

void UserListTreeCtrl::OnTreeItemRightClick(wxTreeEvent& event)
{
    // Branches have no menu. The selection stays as it is: "Profile" acts on it.
    if ( !GetUserData(event.GetItem()) )
        return;
    wxMenu menu;
    menu.Append(wxID_OPEN, _("Profile"), wxEmptyString, wxITEM_NORMAL);
    PopupMenu(&menu, ScreenToClient(wxGetMousePosition()));
}

void UserListTreeCtrl::Unindex(const UserListTreeItemData* data, const wxString& name)
{
    const auto found = m_index.find(name);
    if ( found == m_index.end() )
        return;
    IndexEntries& entries = found->second;
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [data](const IndexEntry& e) { return e.data == data; });
    if ( entry != entries.end() )
        entries.erase(entry);
    if ( entries.empty() )
        m_index.erase(found);
}

void UserListTreeCtrl::Rename(const UserListTreeItemData* data, const wxString& from,
                              const wxString& to)
{
    const auto found = m_index.find(from);
    if ( found == m_index.end() )
        return;
    const auto entry = std::find_if(found->second.begin(), found->second.end(),
                                    [data](const IndexEntry& e) { return e.data == data; });
    if ( entry == found->second.end() )
        return;
    const IndexEntry moved = *entry;
    Unindex(data, from);
    m_index[to].push_back(moved);
}

bool UserListTreeCtrl::IsBelow(const wxTreeItemId& item, const wxTreeItemId& ancestor) const
{
    for ( wxTreeItemId up = item; up.IsOk(); up = GetItemParent(up) )
        if ( up == ancestor )
            return true;
    return false;
}

bool UserListTreeCtrl::ComesFirst(const IndexEntry& a, const IndexEntry& b,
                                  const wxTreeItemId& top) const
{
    if ( a.parent == b.parent )
        return a.order < b.order;

    // Otherwise compare where the two paths from top part.
    const auto pathFromTop = [this, &top](const wxTreeItemId& item)
    {
        std::vector<wxTreeItemId> path;
        for ( wxTreeItemId up = item; up.IsOk() && up != top; up = GetItemParent(up) )
            path.push_back(up);
        std::reverse(path.begin(), path.end());
        return path;
    };
    const std::vector<wxTreeItemId> pathA = pathFromTop(a.item);
    const std::vector<wxTreeItemId> pathB = pathFromTop(b.item);
    size_t level = 0;
    while ( level < pathA.size() && level < pathB.size() && pathA[level] == pathB[level] )
        ++level;
    // One item lies below the other, and a subtree is searched before its own item.
    if ( level == pathA.size() || level == pathB.size() )
        return pathA.size() > pathB.size();

    // The two branches part at siblings: the one met first among their parent's children.
    const wxTreeItemId parent = level == 0 ? top : pathA[level - 1];
    wxTreeItemIdValue cookie;
    for ( wxTreeItemId child = GetFirstChild(parent, cookie); child.IsOk();
          child = GetNextChild(parent, cookie) )
    {
        if ( child == pathA[level] )
            return true;
        if ( child == pathB[level] )
            return false;
    }
    return false;
}
