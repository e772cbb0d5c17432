#include "ui/UserListTreeCtrl.h"

#include "history/WatchHistory.h"
#include "model/UserList.h"
#include "shell/SiteHosts.h"
#include "shell/Util.h"
#include "skin/Skin.h"
#include "sync/UserEvent.h"
#include "sync/UserListEvent.h"
#include "ui/HistoryWindow.h"
#include "ui/TreeRowNotes.h"
#include "ui/UserListTreeItemData.h"

#include <wx/bitmap.h>
#include <wx/bmpbndl.h>
#include <wx/bookctrl.h>
#include <wx/dcclient.h>
#include <wx/image.h>
#include <wx/intl.h>
#include <wx/menu.h>
#include <wx/sizer.h>
#include <wx/utils.h>
#include <wx/wupdlock.h>

#include <algorithm>
#include <cstring>
#include <memory>

wxBEGIN_EVENT_TABLE(UserListTreeCtrl, wxTreeCtrl)
    EVT_MENU(wxID_OPEN, UserListTreeCtrl::OnMenu)
    EVT_MENU(HistoryWindow::ID_OPEN, UserListTreeCtrl::OnHistoryMenu)
    EVT_TREE_ITEM_ACTIVATED(wxID_ANY, UserListTreeCtrl::OnTreeItemActivated)
    EVT_TREE_ITEM_RIGHT_CLICK(wxID_ANY, UserListTreeCtrl::OnTreeItemRightClick)
    EVT_TREE_KEY_DOWN(wxID_ANY, UserListTreeCtrl::OnTreeKeyDown)
    EVT_TREE_SEL_CHANGED(wxID_ANY, UserListTreeCtrl::OnTreeSelChanged)
    EVT_TREE_ITEM_EXPANDED(wxID_ANY, UserListTreeCtrl::OnTreeItemExpandedOrCollapsed)
    EVT_TREE_ITEM_COLLAPSED(wxID_ANY, UserListTreeCtrl::OnTreeItemExpandedOrCollapsed)
    EVT_TREE_DELETE_ITEM(wxID_ANY, UserListTreeCtrl::OnTreeDeleteItem)
    EVT_SET_FOCUS(UserListTreeCtrl::OnSetFocus)
    EVT_USER_ADDED(UserListTreeCtrl::OnUserAdded)
    EVT_USER_CHANGED(UserListTreeCtrl::OnUserChanged)
    EVT_USER_DELETED(UserListTreeCtrl::OnUserDeleted)
    EVT_USER_LIST_INITIALIZED(UserListTreeCtrl::OnUserListInitialized)
    EVT_IDLE(UserListTreeCtrl::OnIdle)
    EVT_PAINT(UserListTreeCtrl::OnPaint)
wxEND_EVENT_TABLE()

namespace
{
// Appending and measuring this many items takes about 10 ms: a keystroke shows the top of a
// long list at once, and the rest never holds up the next one.
const size_t FILL_CHUNK = 1000;
}

UserListTreeCtrl::UserListTreeCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                                   const wxSize& size, long style, const wxValidator& validator,
                                   const wxString& name)
    : wxTreeCtrl(parent, id, pos, size, style, validator, name)
    , AccessibleView(AccessibleView::TREE)
{
    AttachTo(this);
    AddRoot(wxEmptyString, -1, -1, nullptr);
}

UserListTreeCtrl::~UserListTreeCtrl()
{
    if ( m_full )
        m_full->m_view = nullptr;
    if ( m_view )
        m_view->m_full = nullptr;
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
    NotifyRowsChanged();
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

void UserListTreeCtrl::SetFilter(const wxString& text)
{
    wxWindow* parent = GetParent();
    if ( text.empty() )
    {
        if ( !m_view )
            return;
        m_view->Destroy();
        m_view = nullptr;
        Show(true);
        parent->Layout();
        return;
    }
    if ( !m_view )
    {
        m_view = CreateView();
        m_view->m_full = this;
        m_view->m_history = m_history;
        if ( wxSizer* sizer = GetContainingSizer() )
            sizer->Add(m_view, 1, wxEXPAND, 0);
        Hide();
    }
    const wxString before = m_view->m_filter;
    m_view->m_filter = text.Lower();
    // A longer text only hides more: taking items out keeps what the view has measured, which
    // a rebuild would measure again; unless most of them go.
    if ( before.empty() || m_view->m_filter.find(before) == wxString::npos || !m_view->Narrow() )
        m_view->Rebuild(*this);
    parent->Layout();
}

bool UserListTreeCtrl::ProcessEvent(wxEvent& event)
{
    ++m_processing;
    const bool handled = wxTreeCtrl::ProcessEvent(event);
    --m_processing;
    // A user's status may have changed, or a group's count: names are read when asked.
    const wxEventType type = event.GetEventType();
    if ( type == wxEVT_USER_CHANGED || type == wxEVT_USER_ADDED || type == wxEVT_USER_DELETED
         || type == wxEVT_USER_LIST_INITIALIZED )
        NotifyRowsChanged();
    // The tree's own follow-up events are the view's to make from the outer one.
    if ( m_view && m_processing == 0 )
        FollowInView(event);
    return handled;
}

void UserListTreeCtrl::FollowInView(wxEvent& event)
{
    const wxEventType type = event.GetEventType();
    if ( type == wxEVT_USER_LIST_INITIALIZED )
    {
        m_view->Rebuild(*this);
        return;
    }
    if ( type != wxEVT_USER_ADDED && type != wxEVT_USER_CHANGED && type != wxEVT_USER_DELETED )
        return;
    // A user's items are all shown or all hidden, and the trees only append and find by name, so
    // handling the matching events alone keeps the view equal to the filtered full tree.
    if ( m_view->Matches(static_cast<UserEvent&>(event).GetUser().GetName()) )
    {
        // The event finds the view as the full tree was before it.
        m_view->Fill(m_view->m_pending.size());
        std::unique_ptr<wxEvent> copy(event.Clone());
        m_view->ProcessEvent(*copy);
    }
    m_view->CopyGroupTexts(*this);
}

bool UserListTreeCtrl::Matches(const wxString& name) const
{
    return name.Lower().find(m_filter) != wxString::npos;
}

UserListTreeCtrl* UserListTreeCtrl::CreateView() const
{
    return new UserListTreeCtrl(GetParent(), wxID_ANY, wxDefaultPosition, wxDefaultSize, GetWindowStyleFlag(),
                                wxDefaultValidator, GetName());
}

void UserListTreeCtrl::TakeStateFrom(const UserListTreeCtrl&)
{
}

wxString UserListTreeCtrl::NoteOf(const User& user) const
{
    return (m_full ? m_full : this)->GetUserNote(user);
}

wxString UserListTreeCtrl::GetUserNote(const User&) const
{
    return wxString();
}

void UserListTreeCtrl::RebuildView()
{
    if ( m_view )
        m_view->Rebuild(*this);
}

void UserListTreeCtrl::OnPaint(wxPaintEvent& event)
{
    wxTreeCtrl::OnPaint(event);
    if ( !m_history )
        return;
    wxPaintDC dc(this);
    TreeRowNotes::Paint(*this, dc, [this](const wxTreeItemId& item) {
        const UserListTreeItemData* data = GetUserData(item);
        return data ? NoteOf(data->GetUser()) : wxString();
    });
}

void UserListTreeCtrl::Rebuild(const UserListTreeCtrl& full)
{
    wxWindowUpdateLocker frozen(this);
    TakeStateFrom(full);
    const wxTreeItemId root = GetRootItem();
    std::vector<wxTreeItemId> groups;
    std::vector<wxTreeItemId> users;
    wxTreeItemIdValue cookie;
    for ( wxTreeItemId item = GetFirstChild(root, cookie); item.IsOk(); item = GetNextChild(root, cookie) )
        (GetUserData(item) ? users : groups).push_back(item);
    for ( const wxTreeItemId& user : users )
        Delete(user);
    for ( const wxTreeItemId& group : groups )
        DeleteChildren(group);

    m_pending.clear();
    m_nextPending = 0;
    m_fillGroups.clear();
    m_expandGroups.clear();
    const wxTreeItemId fullRoot = full.GetRootItem();
    for ( wxTreeItemId theirs = full.GetFirstChild(fullRoot, cookie); theirs.IsOk();
          theirs = full.GetNextChild(fullRoot, cookie) )
    {
        if ( const UserListTreeItemData* data = full.GetUserData(theirs) )
        {
            if ( Matches(data->GetUser().GetName()) )
                m_pending.push_back(PendingUser{ NO_GROUP, data->GetUser(), full.GetItemImage(theirs) });
            continue;
        }
        // The same kind makes the same groups in the same order.
        const size_t group = m_fillGroups.size();
        if ( group == groups.size() )
            break;
        const wxTreeItemId mine = groups[group];
        m_fillGroups.push_back(mine);
        m_expandGroups.push_back(full.IsExpanded(theirs));
        SetItemText(mine, full.GetItemText(theirs));
        wxTreeItemIdValue children;
        for ( wxTreeItemId child = full.GetFirstChild(theirs, children); child.IsOk();
              child = full.GetNextChild(theirs, children) )
        {
            const UserListTreeItemData* data = full.GetUserData(child);
            if ( data && Matches(data->GetUser().GetName()) )
                m_pending.push_back(PendingUser{ group, data->GetUser(), full.GetItemImage(child) });
        }
    }
    Fill(FILL_CHUNK);
}

bool UserListTreeCtrl::Fill(size_t count)
{
    if ( m_fillGroups.empty() && m_pending.empty() )
        return false;
    wxWindowUpdateLocker frozen(this);
    const size_t end = m_nextPending + std::min(count, m_pending.size() - m_nextPending);
    for ( ; m_nextPending < end; ++m_nextPending )
    {
        const PendingUser& pending = m_pending[m_nextPending];
        // The filter may have grown longer since the list was taken.
        if ( Matches(pending.user.GetName()) )
            AppendUserItem(pending.group == NO_GROUP ? GetRootItem() : m_fillGroups[pending.group],
                           pending.user, pending.image);
    }
    // A group can be expanded only once it has something to show.
    for ( size_t group = 0; group < m_fillGroups.size(); ++group )
    {
        if ( m_expandGroups[group] )
            Expand(m_fillGroups[group]);
        else if ( IsExpanded(m_fillGroups[group]) )
            Collapse(m_fillGroups[group]);
    }
    if ( m_nextPending < m_pending.size() )
        return true;
    std::vector<PendingUser>().swap(m_pending);
    m_nextPending = 0;
    m_fillGroups.clear();
    m_expandGroups.clear();
    return false;
}

void UserListTreeCtrl::OnIdle(wxIdleEvent& event)
{
    if ( Fill(FILL_CHUNK) )
        event.RequestMore();
    event.Skip();
}

bool UserListTreeCtrl::Narrow()
{
    std::vector<wxTreeItemId> hidden;
    size_t kept = 0;
    const wxTreeItemId root = GetRootItem();
    wxTreeItemIdValue cookie;
    for ( wxTreeItemId item = GetFirstChild(root, cookie); item.IsOk(); item = GetNextChild(root, cookie) )
    {
        const UserListTreeItemData* data = GetUserData(item);
        if ( data )
        {
            if ( Matches(data->GetUser().GetName()) )
                ++kept;
            else
                hidden.push_back(item);
            continue;
        }
        wxTreeItemIdValue children;
        for ( wxTreeItemId child = GetFirstChild(item, children); child.IsOk(); child = GetNextChild(item, children) )
        {
            const UserListTreeItemData* user = GetUserData(child);
            if ( user && !Matches(user->GetUser().GetName()) )
                hidden.push_back(child);
            else
                ++kept;
        }
    }
    // Each removal shifts the rest of its group: past half, appending the few left is cheaper.
    if ( hidden.size() > kept )
        return false;
    wxWindowUpdateLocker frozen(this);
    for ( const wxTreeItemId& item : hidden )
        Delete(item);
    return true;
}

void UserListTreeCtrl::CopyGroupTexts(const UserListTreeCtrl& full)
{
    wxTreeItemIdValue mineCookie;
    wxTreeItemIdValue theirsCookie;
    wxTreeItemId mine = GetFirstChild(GetRootItem(), mineCookie);
    wxTreeItemId theirs = full.GetFirstChild(full.GetRootItem(), theirsCookie);
    for ( ; mine.IsOk() && theirs.IsOk(); theirs = full.GetNextChild(full.GetRootItem(), theirsCookie) )
    {
        if ( full.GetUserData(theirs) )
            continue;
        // Groups come before any user straight below the root, in both trees.
        if ( GetUserData(mine) )
            break;
        if ( GetItemText(mine) != full.GetItemText(theirs) )
            SetItemText(mine, full.GetItemText(theirs));
        mine = GetNextChild(GetRootItem(), mineCookie);
    }
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

int UserListTreeCtrl::AddSkinImage(const wxString& name)
{
    const wxSize size(16, 16);
    wxBitmapBundle bundle = Skin::GetInstance()->GetBitmapBundle(name);
    if ( !bundle.IsOk() )
    {
        // Left out, it would shift every later index.
        wxImage blank(size);
        blank.SetAlpha();
        std::memset(blank.GetAlpha(), wxIMAGE_ALPHA_TRANSPARENT, size.x * size.y);
        bundle = wxBitmapBundle::FromBitmap(wxBitmap(blank));
    }
    else if ( bundle.GetDefaultSize() != size )
    {
        // Rows are as high as the tallest image.
        const wxBitmap bitmap = Skin::GetInstance()->GetBitmap(name);
        bundle = wxBitmapBundle::FromBitmap(wxBitmap(bitmap.ConvertToImage().Scale(size.x, size.y, wxIMAGE_QUALITY_HIGH)));
    }
    m_skinImages.push_back(bundle);
    SetImages(m_skinImages);
    return static_cast<int>(m_skinImages.size()) - 1;
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

void UserListTreeCtrl::OnHistoryMenu(wxCommandEvent&)
{
    OpenHistory();
}

bool UserListTreeCtrl::OpenHistory()
{
    const UserListTreeItemData* data = GetUserData(GetSelection());
    if ( !data || !m_history || !m_history->IsEnabled() )
        return false;
    HistoryWindow::ShowFor(wxGetTopLevelParent(this), m_history->GetPath(), m_history->GetClock(),
                           data->GetUser().GetName());
    return true;
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
    ShowContextMenu(event.GetItem(), ScreenToClient(wxGetMousePosition()));
}

void UserListTreeCtrl::ShowContextMenu(const wxTreeItemId& item, const wxPoint& position)
{
    // Branches have no menu. The selection stays as it is: "Profile" acts on it.
    if ( !GetUserData(item) )
        return;
    wxMenu menu;
    // Said with the row's performer, as "RubyMoon menu".
    NameMenu(menu, GetUserData(item)->GetUser().GetName());
    menu.Append(wxID_OPEN, _("Profile"), wxEmptyString, wxITEM_NORMAL);
    if ( m_history && m_history->IsEnabled() )
        menu.Append(HistoryWindow::ID_OPEN, wxGetTranslation(wxS("&History\u2026\tCtrl+H")), wxEmptyString, wxITEM_NORMAL);
    PopupMenu(&menu, position);
}

void UserListTreeCtrl::OnTreeKeyDown(wxTreeEvent& event)
{
    const wxKeyEvent& key = event.GetKeyEvent();
    const int code = key.GetKeyCode();
    const bool menuKey = code == WXK_MENU || code == WXK_WINDOWS_MENU
                         || (code == WXK_F10 && key.GetModifiers() == wxMOD_SHIFT);
    if ( !menuKey )
    {
        event.Skip();
        return;
    }
    ShowSelectionMenu();
}

size_t UserListTreeCtrl::CountPerformers() const
{
    size_t count = m_pending.size() - m_nextPending;
    for ( const auto& names : m_index )
        count += names.second.size();
    return count;
}

wxTreeItemId UserListTreeCtrl::GetFirstPerformer() const
{
    // Performers stand at the top or one level down, in their groups.
    wxTreeItemIdValue cookie;
    for ( wxTreeItemId item = GetFirstChild(GetRootItem(), cookie); item.IsOk();
          item = GetNextChild(GetRootItem(), cookie) )
    {
        if ( GetUserData(item) )
            return item;
        wxTreeItemIdValue inner;
        const wxTreeItemId child = GetFirstChild(item, inner);
        if ( child.IsOk() && GetUserData(child) )
            return child;
    }
    return wxTreeItemId();
}

void UserListTreeCtrl::ShowSelectionMenu()
{
    // Where the row is, as a right click on it would have it.
    const wxTreeItemId item = GetSelection();
    wxRect rect;
    if ( !item.IsOk() || !GetBoundingRect(item, rect, true) )
        return;
    ShowContextMenu(item, wxPoint(rect.GetLeft(), rect.GetBottom()));
}

void UserListTreeCtrl::OnSetFocus(wxFocusEvent& event)
{
    wxTreeItemIdValue cookie;
    const wxTreeItemId first = GetFirstChild(GetRootItem(), cookie);
    if ( !GetCurrentRow() && first.IsOk() )
        SelectItem(first);
    event.Skip();
}

void UserListTreeCtrl::OnTreeSelChanged(wxTreeEvent& event)
{
    NotifyCurrentRow(event.GetItem().GetID());
    event.Skip();
}

void UserListTreeCtrl::OnTreeItemExpandedOrCollapsed(wxTreeEvent& event)
{
    NotifyRowsChanged();
    event.Skip();
}

void UserListTreeCtrl::OnTreeDeleteItem(wxTreeEvent& event)
{
    NotifyRowDeleted(event.GetItem().GetID());
    event.Skip();
}

wxString UserListTreeCtrl::GetAccessibleName() const
{
    // The page it stands on: "All" or "Favorite".
    for ( const wxWindow* page = this; page && page->GetParent(); page = page->GetParent() )
    {
        if ( const wxBookCtrlBase* book = wxDynamicCast(page->GetParent(), wxBookCtrlBase) )
        {
            const int at = book->FindPage(page);
            return at == wxNOT_FOUND ? wxString() : book->GetPageText(at);
        }
    }
    return wxString();
}

void UserListTreeCtrl::ListRows(std::vector<Row>& rows) const
{
    ListRows(GetRootItem(), rows);
}

void UserListTreeCtrl::ListRows(const wxTreeItemId& parent, std::vector<Row>& rows) const
{
    if ( !parent.IsOk() )
        return;
    wxTreeItemIdValue cookie;
    for ( wxTreeItemId item = GetFirstChild(parent, cookie); item.IsOk(); item = GetNextChild(parent, cookie) )
    {
        rows.push_back(item.GetID());
        if ( ItemHasChildren(item) && IsExpanded(item) )
            ListRows(item, rows);
    }
}

wxString UserListTreeCtrl::GetRowName(Row row) const
{
    const wxTreeItemId item(const_cast<void*>(row));
    const UserListTreeItemData* data = GetUserData(item);
    // A group reads as it is shown, with its count.
    if ( !data )
        return GetItemText(item);
    // A performer reads as the icon shows: free or busy, offline for a favourite who is not here.
    const wxString word = StatusWord(data->GetUser().GetStatus());
    return word.empty() ? data->GetUser().GetName() : data->GetUser().GetName() + ", " + word;
}

wxString UserListTreeCtrl::StatusWord(int status)
{
    if ( status == STATUS_OFFLINE )
        return _("offline");
    if ( OnlineIcon(status, 1, 2) == 1 )
        return _("free");
    if ( OnlineIcon(status, 1, 2) == 2 )
        return _("busy");
    return wxString();
}

wxString UserListTreeCtrl::GetRowDescription(Row row) const
{
    const UserListTreeItemData* data = GetUserData(wxTreeItemId(const_cast<void*>(row)));
    return data ? NoteOf(data->GetUser()) : wxString();
}

int UserListTreeCtrl::GetRowLevel(Row row) const
{
    int level = 0;
    for ( wxTreeItemId item = GetItemParent(wxTreeItemId(const_cast<void*>(row)));
          item.IsOk() && item != GetRootItem(); item = GetItemParent(item) )
        ++level;
    return level;
}

bool UserListTreeCtrl::IsRowExpandable(Row row) const
{
    return ItemHasChildren(wxTreeItemId(const_cast<void*>(row)));
}

bool UserListTreeCtrl::IsRowExpanded(Row row) const
{
    const wxTreeItemId item(const_cast<void*>(row));
    return ItemHasChildren(item) && IsExpanded(item);
}

AccessibleView::Row UserListTreeCtrl::GetCurrentRow() const
{
    // The hidden root stands as the current item of a tree where nothing is selected yet.
    const wxTreeItemId item = GetSelection();
    return item.IsOk() && item != GetRootItem() ? item.GetID() : nullptr;
}

wxRect UserListTreeCtrl::GetRowRect(Row row) const
{
    wxRect rect;
    return GetBoundingRect(wxTreeItemId(const_cast<void*>(row)), rect, false) ? rect : wxRect();
}

AccessibleView::Row UserListTreeCtrl::GetRowAt(const wxPoint& point) const
{
    int flags = 0;
    const wxTreeItemId item = HitTest(point, flags);
    return item.IsOk() ? item.GetID() : nullptr;
}

void UserListTreeCtrl::SelectRow(Row row)
{
    const wxTreeItemId item(const_cast<void*>(row));
    SelectItem(item);
    EnsureVisible(item);
}

bool UserListTreeCtrl::HasRowAction(Row row, RowAction) const
{
    // A performer opens and has a menu; a group has neither.
    return GetUserData(wxTreeItemId(const_cast<void*>(row))) != nullptr;
}

void UserListTreeCtrl::DoRowAction(Row row, RowAction action)
{
    // Both act on the selection, as their keys do.
    SelectRow(row);
    if ( action == ROW_MENU )
    {
        ShowSelectionMenu();
        return;
    }
    wxCommandEvent command(wxEVT_MENU, wxID_OPEN);
    command.SetEventObject(this);
    Command(command);
}

void UserListTreeCtrl::PollApplied()
{
    NotifyRowsSettled();
    if ( m_view )
        m_view->NotifyRowsSettled();
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
