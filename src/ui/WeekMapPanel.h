#pragma once

#include "history/WeekPattern.h"

#include <wx/window.h>

#include <vector>

class wxGraphicsContext;
class wxMouseEvent;
class wxPaintEvent;

// The week's pattern as a picture: seven rows of days by 24 hours, each cell coloured by the share
// of its watched time the performer was online, hours never watched hatched apart; day and hour
// labels, the current hour framed, a legend of the colours below, and each cell's figures as its
// tooltip. Drawn with the toolkit's graphics context in the theme's colours, so that it is sharp
// at any scale and readable on dark themes. Screen readers get the picture as an image whose
// description says what it shows.
class WeekMapPanel : public wxWindow
{
public:
    WeekMapPanel(wxWindow* parent, wxWindowID id);

    // Shows pattern, and tells screen readers description of it.
    void SetPattern(const WeekPattern& pattern, const wxString& description);

    // The cell (day, hour) under point, in window coordinates; false when there is none.
    bool HitTest(const wxPoint& point, int& day, int& hour) const;

protected:
    wxSize DoGetBestClientSize() const override;

private:
    void OnPaint(wxPaintEvent& event);
    void OnMotion(wxMouseEvent& event);
    void OnLeave(wxMouseEvent& event);
    // Where the cells stand, for the window's size: their top left and one cell's size.
    void Measure(wxPoint& origin, wxSize& cell) const;
    void DrawLegend(wxGraphicsContext& gc, const wxRect& area) const;
    // The legend's words: below the lightest colour, beyond the fullest, and beside the hatching.
    static std::vector<wxString> LegendTexts();
    wxColour ShareColour(double share) const;

    WeekPattern m_pattern;
    int m_tipDay = -1;
    int m_tipHour = -1;

    wxDECLARE_EVENT_TABLE();
};
