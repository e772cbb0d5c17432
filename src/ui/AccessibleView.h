#pragma once

#include <wx/string.h>

#include <memory>
#include <vector>

class wxWindow;

// What a window that the toolkit draws itself shows, told to screen readers. The toolkit draws
// its tree and its status bar on a bare canvas, which the desktop's accessibility layer (ATK on
// GTK) sees as an empty panel; a window that is also an AccessibleView gets an accessible object
// that asks it instead: a tree with a row for each row on screen, or a status bar with its text.
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

    // Tell screen readers, once the window has changed: the name; the rows (added, removed,
    // renamed, expanded or collapsed); a row deleted for good (before its memory may be reused);
    // the row the keys now act on.
    void NotifyNameChanged();
    void NotifyRowsChanged();
    void NotifyRowDeleted(Row row);
    void NotifyCurrentRow(Row row);

    // For the accessible objects' glue.
    struct Glue;

private:
    std::unique_ptr<Glue> m_glue;
};
