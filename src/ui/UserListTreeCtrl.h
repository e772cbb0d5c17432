#pragma once

#include "model/User.h"
#include "ui/AccessibleView.h"

#include <wx/treectrl.h>

#include <unordered_map>
#include <vector>

class UserEvent;
class UserListEvent;
class UserListTreeItemData;
class WatchHistory;
class wxIdleEvent;
class wxPaintEvent;

// A tree of performers that follows the user events: by default one item per user below the
// root. "Profile" (the context menu of a user item, or activating an item) opens the preview
// page of the selected user.
//
// Finding a user's item is a look-up in an index beside the tree (name -> the items holding
// it, each with its parent and append order) rather than a walk over the items, so that a list
// of thousands applies in linear time. The answers are exactly those of the walk described at
// FindItem, provided user items enter the tree only through AppendUserItem and items are never
// sorted or inserted before others (the trees do neither); user items leave the index with
// their data, whatever call deletes them.
//
// Screen readers read it as a tree of its rows: each performer by name and status, each group by
// its text. The Menu key and Shift+F10 open the context menu of the selected row.
class UserListTreeCtrl : public wxTreeCtrl, public AccessibleView
{
public:
    UserListTreeCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                     long style, const wxValidator& validator, const wxString& name);
    ~UserListTreeCtrl() override;

    // The first item below parent whose data holds a user of the same name (exact,
    // case-sensitive; the status is not compared), or an invalid id. The children are taken
    // in order; with recursive set, a child's subtree is searched before the child itself.
    wxTreeItemId FindItem(const User& user, const wxTreeItemId& parent, bool recursive) const;

    // The user data of item, or null for the root and the group items.
    UserListTreeItemData* GetUserData(const wxTreeItemId& item) const;

    // Shows, in this tree's place, a view of it that holds only the users whose names contain
    // text, ignoring case, under the same group texts; an empty text shows this tree again.
    // This tree keeps taking every event and stays exactly what the events make it; the view
    // follows it event by event.
    void SetFilter(const wxString& text);
    // The view while a filter is set, else null.
    UserListTreeCtrl* GetFilterView() const { return m_view; }
    // How many performers this tree shows, those of a long view still to come included.
    size_t CountPerformers() const;
    // The first performer's item from the top, or an invalid id.
    wxTreeItemId GetFirstPerformer() const;

    // Hands what came from outside on to the view as well, once this tree has taken it.
    bool ProcessEvent(wxEvent& event) override;

    // The watch history, which the tree's notes come from; null for none. Its views share it.
    virtual void SetHistory(WatchHistory* history) { m_history = history; }
    WatchHistory* GetHistory() const { return m_history; }
    // What the watch history says of user, drawn at the right of the row and read after its
    // name; in a view, the full tree's note.
    wxString NoteOf(const User& user) const;
    // Opens the history window of the selected performer; false when there is none to open.
    bool OpenHistory();

    // What a screen reader reads: the page's name, the rows shown, each row's text.
    wxString GetAccessibleName() const override;
    void ListRows(std::vector<Row>& rows) const override;
    wxString GetRowName(Row row) const override;
    int GetRowLevel(Row row) const override;
    bool IsRowExpandable(Row row) const override;
    bool IsRowExpanded(Row row) const override;
    Row GetCurrentRow() const override;
    wxString GetRowDescription(Row row) const override;
    wxRect GetRowRect(Row row) const override;
    Row GetRowAt(const wxPoint& point) const override;
    void SelectRow(Row row) override;
    bool HasRowAction(Row row, RowAction action) const override;
    void DoRowAction(Row row, RowAction action) override;
    // A poll's changes are all in: screen readers hear of renamed rows now, once, and not of
    // every count a group passed through on the way.
    void PollApplied();

protected:
    // The note of a user of this (full) tree; none unless a kind has one.
    virtual wxString GetUserNote(const User& user) const;
    // Whether this is the filter's view of a full tree.
    bool IsView() const { return m_full != nullptr; }
    // Makes the filter's view again after the tree changed other than through an event.
    void RebuildView();

    // The default reactions. A subclass's table replaces them; its handlers may call them.
    void OnUserListInitialized(UserListEvent& event);
    void OnUserAdded(UserEvent& event);
    void OnUserChanged(UserEvent& event);
    void OnUserDeleted(UserEvent& event);

    // Appends an item for user below parent: text = the name, image as normal and selected
    // image, a copy of user as data.
    wxTreeItemId AppendUserItem(const wxTreeItemId& parent, const User& user, int image);
    // Sets the normal and the selected image.
    void SetItemImages(const wxTreeItemId& item, int image);
    // Hands event to this tree's own handler at once, so that the most derived table sees it
    // first.
    void ProcessOnSelf(wxEvent& event);

    // The image of an online user: free, or online without a busy flag, shows as free; busy as
    // busy; anything else has no image (-1).
    static int OnlineIcon(int status, int freeIcon, int busyIcon);
    // Adds the named skin image to the tree's images, at every scale the skin has it, and
    // returns its index. An image the skin lacks is added blank, and one of another size than
    // 16 x 16 is scaled, so that the indices and the rows stay those of a complete skin.
    int AddSkinImage(const wxString& name);

    // A new empty tree of the same kind and look, beside this one, for the filter's view.
    virtual UserListTreeCtrl* CreateView() const;
    // In the view: takes over what the kind keeps beside its items, its groups included.
    virtual void TakeStateFrom(const UserListTreeCtrl& full);

private:
    // What a performer is, as the icon shows it: "free", "busy", "offline", or nothing.
    static wxString StatusWord(int status);
    void OnMenu(wxCommandEvent& event);
    void OnHistoryMenu(wxCommandEvent& event);
    void OnTreeItemActivated(wxTreeEvent& event);
    void OnTreeItemRightClick(wxTreeEvent& event);
    void OnTreeKeyDown(wxTreeEvent& event);
    void OnTreeSelChanged(wxTreeEvent& event);
    void OnTreeItemExpandedOrCollapsed(wxTreeEvent& event);
    void OnTreeDeleteItem(wxTreeEvent& event);
    // A tree coming into focus has a selected row, which is what a screen reader then says.
    void OnSetFocus(wxFocusEvent& event);
    // The tree as the toolkit draws it, and the notes at the right of its rows.
    void OnPaint(wxPaintEvent& event);
    // "Profile" for the user of item, at position in this window; nothing for a group.
    void ShowContextMenu(const wxTreeItemId& item, const wxPoint& position);
    // The menu of the selected row, below it, as the Menu key shows it.
    void ShowSelectionMenu();
    void ListRows(const wxTreeItemId& parent, std::vector<Row>& rows) const;

    struct IndexEntry
    {
        UserListTreeItemData* data;
        wxTreeItemId item;
        wxTreeItemId parent;
        // Items are only ever appended, so among the children of one parent this is their order.
        unsigned long order;
    };
    typedef std::vector<IndexEntry> IndexEntries;

    // Kept in step by UserListTreeItemData.
    friend class UserListTreeItemData;
    void Unindex(const UserListTreeItemData* data, const wxString& name);
    void Rename(const UserListTreeItemData* data, const wxString& from, const wxString& to);

    // In the view: the matching users of full, in its groups and order. A long list comes a
    // part at a time, the top first, the rest at idle time or before the next event.
    void Rebuild(const UserListTreeCtrl& full);
    // In the view: appends up to count of the users still to come; true while more are left.
    bool Fill(size_t count);
    void OnIdle(wxIdleEvent& event);
    // In the view: takes out the users the filter no longer shows; false, having changed
    // nothing, when a rebuild would be quicker.
    bool Narrow();
    // In the view: the group texts of full, which count everyone.
    void CopyGroupTexts(const UserListTreeCtrl& full);
    void FollowInView(wxEvent& event);
    bool Matches(const wxString& name) const;

    bool IsBelow(const wxTreeItemId& item, const wxTreeItemId& ancestor) const;
    bool ComesFirst(const IndexEntry& a, const IndexEntry& b, const wxTreeItemId& top) const;

    WatchHistory* m_history = nullptr;

    // The tree's images, in the order of their indices.
    wxVector<wxBitmapBundle> m_skinImages;

    std::unordered_map<wxString, IndexEntries> m_index;
    unsigned long m_appended = 0;

    // The full tree's view while a filter is set, and the view's full tree.
    UserListTreeCtrl* m_view = nullptr;
    UserListTreeCtrl* m_full = nullptr;
    // In the view: the filter text in lower case.
    wxString m_filter;
    // In the view: the users still to be appended, each with its group (an index into
    // m_fillGroups, or NO_GROUP for the root), and whether each group is to be expanded.
    struct PendingUser
    {
        size_t group;
        User user;
        int image;
    };
    static constexpr size_t NO_GROUP = static_cast<size_t>(-1);
    std::vector<PendingUser> m_pending;
    size_t m_nextPending = 0;
    std::vector<wxTreeItemId> m_fillGroups;
    std::vector<bool> m_expandGroups;
    // Events being handled: only the outermost one goes on to the view.
    int m_processing = 0;

    wxDECLARE_EVENT_TABLE();
};
