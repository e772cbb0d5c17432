#include "ui/StatusLine.h"

StatusLine::StatusLine(wxWindow* parent, wxWindowID id, long style, const wxString& name)
    : wxStatusBar(parent, id, style, name)
    , AccessibleView(AccessibleView::STATUS_BAR)
{
    AttachTo(this);
}

void StatusLine::DoUpdateStatusText(int number)
{
    // Drawn with the window's next paint: the toolkit's own would paint at once and wait for the
    // display's answer, a second wakeup at every poll for a line nobody waits on.
    wxRect field;
    if ( GetFieldRect(number, field) )
        Refresh(true, &field);
    NotifyNameChanged();
}

wxString StatusLine::GetAccessibleName() const
{
    return GetStatusText(0);
}
