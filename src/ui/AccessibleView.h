#pragma once

#include <wx/gdicmn.h>
#include <wx/string.h>

#include <memory>
#include <vector>

class wxBookCtrlBase;
class wxMenu;
class wxWindow;

// What a window that the toolkit draws itself shows, told to screen readers. The toolkit draws
// its tree and its status bar on a bare canvas, which the desktop's accessibility layer (ATK on
// GTK) sees as an empty panel; a window that is also an AccessibleView gets an accessible object
// that asks it instead: a tree with a row for each row on screen, or a status bar with its text.
//
// A tree's rows are full citizens: each has its place on screen (which a magnifier follows) and
// its actions (open, menu), and the tree tells which row is selected, so that a screen reader
// coming back to it says the row and not only the tree.
//
// The window keeps the view informed (rows changed, a row gone, the current row, its text);
// while no screen reader has asked for anything, that costs next to nothing.
class AccessibleView
{
public:
    enum Kind
    {
        TREE,
        STATUS_BAR
    };

    // A row as the view knows it; stable while the row lives.
    typedef const void* Row;

    // What a screen reader may do with a row: what Enter does, and what the Menu key does.
    enum RowAction
    {
        ROW_OPEN,
        ROW_MENU
    };

    explicit AccessibleView(Kind kind);
    virtual ~AccessibleView();

    AccessibleView(const AccessibleView&) = delete;
    AccessibleView& operator=(const AccessibleView&) = delete;

    // Makes window, drawn by the toolkit, speak through this view from now on.
    void AttachTo(wxWindow* window);

    // The window's own name: a tree's page, a status bar's text.
    virtual wxString GetAccessibleName() const = 0;
    // The rows a screen reader moves through, top to bottom as shown (children of collapsed
    // rows are not shown).
    virtual void ListRows(std::vector<Row>& rows) const;
    virtual wxString GetRowName(Row row) const;
    // What a screen reader adds after the name when asked; read afresh each time.
    virtual wxString GetRowDescription(Row row) const;
    // 0 for the top rows, 1 for their children.
    virtual int GetRowLevel(Row row) const;
    virtual bool IsRowExpandable(Row row) const;
    virtual bool IsRowExpanded(Row row) const;
    // The row the keys act on, or null.
    virtual Row GetCurrentRow() const;
    // Where row is shown, in the window's own coordinates; empty when it is not.
    virtual wxRect GetRowRect(Row row) const;
    // The row shown at point, in the window's own coordinates, or null.
    virtual Row GetRowAt(const wxPoint& point) const;
    // Makes row the one the keys act on, as a click on it does.
    virtual void SelectRow(Row row);
    // Whether row has the action; and doing it, which comes after the screen reader's call has
    // been answered (a menu would hold that call for as long as it is open).
    virtual bool HasRowAction(Row row, RowAction action) const;
    virtual void DoRowAction(Row row, RowAction action);

    // Tell screen readers, once the window has changed: the name; the rows (added, removed,
    // renamed, expanded or collapsed); a row deleted for good (before its memory may be reused);
    // the row the keys now act on.
    void NotifyNameChanged();
    void NotifyRowsChanged();
    void NotifyRowDeleted(Row row);
    void NotifyCurrentRow(Row row);
    // Rows renamed since the last call are told now: a change that comes in many steps (a
    // group's count) is heard once, as it ends, not step by step.
    void NotifyRowsSettled();

    // A menu shown for something is said with its name ("RubyMoon menu"), not as a bare menu.
    static void NameMenu(wxMenu& menu, const wxString& name);
    // What a screen reader says of a window, or of a book's page tab, after its name; a reader
    // in the window says a new one at once. Empty for nothing.
    static void Describe(wxWindow* window, const wxString& text);
    static void DescribePage(wxBookCtrlBase* book, int page, const wxString& text);
    // Makes window tell screen readers that it is on screen each time it becomes active. GTK
    // does not tell when it comes on screen, and a reader that learnt of the window before then
    // keeps it as not showing, and then does not follow the focus in it.
    static void TellWhenShown(wxWindow* window);
    // Before a book and its pages go. GTK tells screen readers of each page as it leaves, and
    // then asks the page's tab for a label the page no longer has, complaining on the terminal;
    // a book without tabs shown is not asked.
    static void LetBookGo(wxBookCtrlBase* book);

    // For the accessible objects' glue.
    struct Glue;

private:
    std::unique_ptr<Glue> m_glue;
};
