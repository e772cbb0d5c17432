#pragma once

#include "ui/AccessibleView.h"

#include <wx/statusbr.h>

// The frame's status line ("300 online · updated 15:43:26"), which screen readers read as a
// status bar with its text, told again whenever the text changes.
class StatusLine : public wxStatusBar, public AccessibleView
{
public:
    StatusLine(wxWindow* parent, wxWindowID id, long style, const wxString& name);

    wxString GetAccessibleName() const override;

protected:
    // Every change of the text comes through here.
    void DoUpdateStatusText(int number) override;
};
