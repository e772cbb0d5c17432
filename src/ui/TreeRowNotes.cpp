#include "ui/TreeRowNotes.h"

#include <wx/dc.h>
#include <wx/settings.h>
#include <wx/treectrl.h>

namespace
{
// Between a note and the edge, and between a row's text and its note.
const int MARGIN = 6;
}

void TreeRowNotes::Paint(wxTreeCtrl& tree, wxDC& dc, const std::function<wxString(const wxTreeItemId&)>& noteOf)
{
    const wxSize client = tree.GetClientSize();
    dc.SetFont(tree.GetFont());
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    const wxColour dim = wxSystemSettings::GetColour(wxSYS_COLOUR_GRAYTEXT);
    const wxColour onSelection = wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHTTEXT);
    for ( wxTreeItemId item = tree.GetFirstVisibleItem(); item.IsOk() && tree.IsVisible(item);
          item = tree.GetNextVisible(item) )
    {
        wxRect text;
        if ( !tree.GetBoundingRect(item, text, true) )
            continue;
        if ( text.GetTop() >= client.y )
            break;
        const wxString note = noteOf(item);
        if ( note.empty() )
            continue;
        const wxSize size = dc.GetTextExtent(note);
        const int x = client.x - MARGIN - size.x;
        if ( x < text.GetRight() + MARGIN )
            continue;
        dc.SetTextForeground(tree.IsSelected(item) && tree.HasFocus() ? onSelection : dim);
        dc.DrawText(note, x, text.GetTop() + (text.GetHeight() - size.y) / 2);
    }
}
