#include "ui/WeekMapPanel.h"

#include "history/PatternPhrases.h"

#include <wx/dcclient.h>
#include <wx/graphics.h>
#include <wx/intl.h>
#include <wx/settings.h>

#include <algorithm>
#include <ctime>
#include <memory>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

wxBEGIN_EVENT_TABLE(WeekMapPanel, wxWindow)
    EVT_PAINT(WeekMapPanel::OnPaint)
    EVT_MOTION(WeekMapPanel::OnMotion)
    EVT_LEAVE_WINDOW(WeekMapPanel::OnLeave)
wxEND_EVENT_TABLE()

namespace
{
const int GAP = 6;
const int MIN_CELL = 12;
const double LEGEND_SHARES[] = { 0, 0.25, 0.5, 0.75, 1 };
const int DARK_THEME_LIGHTNESS = 135;

wxColour Blend(const wxColour& from, const wxColour& to, double part)
{
    const auto mix = [part](unsigned char a, unsigned char b) {
        return static_cast<unsigned char>(a + (b - a) * part + 0.5);
    };
    return wxColour(mix(from.Red(), to.Red()), mix(from.Green(), to.Green()), mix(from.Blue(), to.Blue()));
}

// Lines across rect, as a hatched cell shows time not watched.
void Hatch(wxGraphicsContext& gc, const wxRect2DDouble& rect, const wxColour& colour)
{
    gc.Clip(rect.m_x, rect.m_y, rect.m_width, rect.m_height);
    gc.SetPen(wxPen(colour, 1));
    const double step = 4;
    for ( double x = rect.m_x - rect.m_height; x < rect.m_x + rect.m_width; x += step )
        gc.StrokeLine(x, rect.m_y + rect.m_height, x + rect.m_height, rect.m_y);
    gc.ResetClip();
}
}

WeekMapPanel::WeekMapPanel(wxWindow* parent, wxWindowID id)
    : wxWindow(parent, id, wxDefaultPosition, wxDefaultSize, wxFULL_REPAINT_ON_RESIZE | wxWANTS_CHARS)
    , m_pattern(0, 1)
{
    SetBackgroundStyle(wxBG_STYLE_PAINT);
}

wxSize WeekMapPanel::DoGetBestClientSize() const
{
    const int line = GetCharHeight();
    int labels = 0;
    for ( int day = 0; day < WeekPattern::DAYS; ++day )
        labels = std::max(labels, GetTextExtent(PatternPhrases::Day(day)).x);
    // The legend's words, its swatches and the gaps between them.
    int legend = (WXSIZEOF(LEGEND_SHARES) + 1) * (line + 2) + 4 * GAP;
    for ( const wxString& text : LegendTexts() )
        legend += GetTextExtent(text).x;
    const int cell = 18;
    return wxSize(labels + GAP + std::max(WeekPattern::HOURS * cell, legend) + 1,
                  line + GAP / 2 + WeekPattern::DAYS * cell + 2 * line + 2 * GAP);
}

std::vector<wxString> WeekMapPanel::LegendTexts()
{
    return { _("online 0%"), _("100% of the watched time"), _("not watched") };
}

void WeekMapPanel::SetPattern(const WeekPattern& pattern, const wxString& description)
{
    m_pattern = pattern;
    m_tipDay = m_tipHour = -1;
    UnsetToolTip();
    Refresh();
#ifdef __WXGTK__
    // Drawn, not said: a screen reader gets it as an image with what it shows as its description.
    for ( GtkWidget* widget : { m_widget, m_wxwindow } )
    {
        if ( !widget )
            continue;
        AtkObject* accessible = gtk_widget_get_accessible(widget);
        atk_object_set_role(accessible, ATK_ROLE_IMAGE);
        atk_object_set_name(accessible, _("The week's pattern").utf8_str());
        atk_object_set_description(accessible, description.utf8_str());
    }
#else
    SetName(description);
#endif
}

void WeekMapPanel::Measure(wxPoint& origin, wxSize& cell) const
{
    const wxSize client = GetClientSize();
    const int line = GetCharHeight();
    int labels = 0;
    for ( int day = 0; day < WeekPattern::DAYS; ++day )
        labels = std::max(labels, GetTextExtent(PatternPhrases::Day(day)).x);
    origin = wxPoint(labels + GAP, line + GAP / 2);
    cell.x = std::max(MIN_CELL, (client.x - origin.x - 1) / WeekPattern::HOURS);
    cell.y = std::max(MIN_CELL, (client.y - origin.y - 2 * line - 2 * GAP) / WeekPattern::DAYS);
}

bool WeekMapPanel::HitTest(const wxPoint& point, int& day, int& hour) const
{
    wxPoint origin;
    wxSize cell;
    Measure(origin, cell);
    if ( point.x < origin.x || point.y < origin.y )
        return false;
    hour = (point.x - origin.x) / cell.x;
    day = (point.y - origin.y) / cell.y;
    return hour < WeekPattern::HOURS && day < WeekPattern::DAYS;
}

wxColour WeekMapPanel::ShareColour(double share) const
{
    // From a faint tint of the theme's selection colour, so that no online time is still told
    // from time not watched, to the colour itself; on a dark theme a lighter one, which dark
    // themes' selection colours are too close to their background for.
    const wxColour background = wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW);
    wxColour full = wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT);
    if ( background.GetLuminance() < 0.5 )
        full = full.ChangeLightness(DARK_THEME_LIGHTNESS);
    return Blend(background, full, 0.12 + 0.88 * share);
}

void WeekMapPanel::OnPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
    if ( !gc )
        return;
    const wxColour background = wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW);
    const wxColour text = wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOWTEXT);
    const wxColour dim = wxSystemSettings::GetColour(wxSYS_COLOUR_GRAYTEXT);
    const wxSize client = GetClientSize();
    gc->SetBrush(wxBrush(background));
    gc->SetPen(*wxTRANSPARENT_PEN);
    gc->DrawRectangle(0, 0, client.x, client.y);

    wxPoint origin;
    wxSize cell;
    Measure(origin, cell);
    gc->SetFont(GetFont(), text);
    double width = 0;
    double height = 0;
    for ( int day = 0; day < WeekPattern::DAYS; ++day )
    {
        const wxString name = PatternPhrases::Day(day);
        gc->GetTextExtent(name, &width, &height);
        gc->DrawText(name, 0, origin.y + day * cell.y + (cell.y - height) / 2);
    }
    for ( int hour = 0; hour < WeekPattern::HOURS; hour += 3 )
        gc->DrawText(wxString::Format("%02d", hour), origin.x + hour * cell.x, 0);

    for ( int day = 0; day < WeekPattern::DAYS; ++day )
    {
        for ( int hour = 0; hour < WeekPattern::HOURS; ++hour )
        {
            const wxRect2DDouble box(origin.x + hour * cell.x + 1, origin.y + day * cell.y + 1, cell.x - 2, cell.y - 2);
            const WeekPattern::Cell& figures = m_pattern.GetCell(day, hour);
            if ( !figures.IsWatched() )
            {
                Hatch(*gc, box, dim);
                continue;
            }
            gc->SetPen(*wxTRANSPARENT_PEN);
            gc->SetBrush(wxBrush(ShareColour(figures.Share())));
            gc->DrawRectangle(box.m_x, box.m_y, box.m_width, box.m_height);
        }
    }

    // The hour it is now.
    const time_t now = static_cast<time_t>(m_pattern.GetNow());
    std::tm local;
    localtime_r(&now, &local);
    gc->SetPen(wxPen(text, 2));
    gc->SetBrush(*wxTRANSPARENT_BRUSH);
    gc->DrawRectangle(origin.x + local.tm_hour * cell.x, origin.y + ((local.tm_wday + 6) % 7) * cell.y, cell.x, cell.y);

    DrawLegend(*gc, wxRect(origin.x, origin.y + WeekPattern::DAYS * cell.y + GAP, client.x - origin.x,
                           2 * GetCharHeight()));
}

void WeekMapPanel::DrawLegend(wxGraphicsContext& gc, const wxRect& area) const
{
    const wxColour dim = wxSystemSettings::GetColour(wxSYS_COLOUR_GRAYTEXT);
    const double swatch = GetCharHeight();
    double x = area.x;
    double width = 0;
    double height = 0;
    const auto label = [&](const wxString& text) {
        gc.GetTextExtent(text, &width, &height);
        gc.DrawText(text, x, area.y + (swatch - height) / 2);
        x += width + GAP;
    };
    const std::vector<wxString> texts = LegendTexts();
    label(texts[0]);
    for ( double share : LEGEND_SHARES )
    {
        gc.SetPen(*wxTRANSPARENT_PEN);
        gc.SetBrush(wxBrush(ShareColour(share)));
        gc.DrawRectangle(x, area.y, swatch, swatch);
        x += swatch + 2;
    }
    x += GAP - 2;
    label(texts[1]);
    Hatch(gc, wxRect2DDouble(x, area.y, swatch, swatch), dim);
    x += swatch + GAP;
    label(texts[2]);
}

void WeekMapPanel::OnMotion(wxMouseEvent& event)
{
    int day = -1;
    int hour = -1;
    if ( !HitTest(event.GetPosition(), day, hour) )
        day = hour = -1;
    if ( day == m_tipDay && hour == m_tipHour )
        return;
    m_tipDay = day;
    m_tipHour = hour;
    if ( day < 0 )
        UnsetToolTip();
    else
        SetToolTip(PatternPhrases::Cell(m_pattern, day, hour));
}

void WeekMapPanel::OnLeave(wxMouseEvent&)
{
    m_tipDay = m_tipHour = -1;
    UnsetToolTip();
}
