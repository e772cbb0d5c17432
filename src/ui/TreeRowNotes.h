#pragma once

#include <wx/string.h>

#include <functional>

class wxDC;
class wxTreeCtrl;
class wxTreeItemId;

// Short notes drawn at the right of a tree's rows, quietly, in the theme's dim colour: what the
// watch history says of a performer ("online 1 h 12 min", "last seen 3 h ago"). A note that
// would run into its row's text is left out rather than drawn over it.
class TreeRowNotes
{
public:
    TreeRowNotes() = delete;

    // Draws on dc, a paint context of tree, the note of each row shown; an empty note draws
    // nothing.
    static void Paint(wxTreeCtrl& tree, wxDC& dc, const std::function<wxString(const wxTreeItemId&)>& noteOf);
};
