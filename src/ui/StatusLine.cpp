#include "ui/StatusLine.h"

StatusLine::StatusLine(wxWindow* parent, wxWindowID id, long style, const wxString& name)
    : wxStatusBar(parent, id, style, name)
    , AccessibleView(AccessibleView::STATUS_BAR)
{
    AttachTo(this);
}

void StatusLine::DoUpdateStatusText(int number)
{
    wxStatusBar::DoUpdateStatusText(number);
    NotifyNameChanged();
}

wxString StatusLine::GetAccessibleName() const
{
    return GetStatusText(0);
}
