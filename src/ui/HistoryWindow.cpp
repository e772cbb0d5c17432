#include "ui/HistoryWindow.h"

#include "history/HistoryClock.h"
#include "history/HistoryPhrases.h"
#include "history/PatternPhrases.h"
#include "history/PerformerHistory.h"
#include "skin/Skin.h"
#include "ui/WeekMapPanel.h"

#include <wx/accel.h>
#include <wx/choice.h>
#include <wx/config.h>
#include <wx/dataview.h>
#include <wx/datetime.h>
#include <wx/intl.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

#include <algorithm>

wxBEGIN_EVENT_TABLE(HistoryWindow, wxFrame)
    EVT_CHOICE(wxID_ANY, HistoryWindow::OnWeeks)
    EVT_ACTIVATE(HistoryWindow::OnActivate)
    EVT_CLOSE(HistoryWindow::OnClose)
    EVT_MENU(wxID_CLOSE, HistoryWindow::OnEscape)
wxEND_EVENT_TABLE()

std::map<wxString, HistoryWindow*> HistoryWindow::ms_open;

namespace
{
// The choices of weeks the pattern covers, the second the first shown.
const int WEEKS[] = { 4, 8, 26 };
const int DEFAULT_CHOICE = 1;
const wxSize DEFAULT_SIZE(560, 640);
const wxSize MIN_SIZE(440, 480);

wxString Local(std::int64_t time, const wxString& format)
{
    return wxDateTime(static_cast<time_t>(time)).Format(format);
}
}

HistoryWindow* HistoryWindow::Find(const wxString& name)
{
    const auto found = ms_open.find(name);
    return found == ms_open.end() ? nullptr : found->second;
}

HistoryWindow* HistoryWindow::ShowFor(wxWindow* parent, const wxString& path, const HistoryClock& clock,
                                      const wxString& name)
{
    HistoryWindow* window = Find(name);
    if ( !window )
        window = new HistoryWindow(parent, path, clock, name);
    window->Fill();
    window->Show(true);
    window->Iconize(false);
    window->Raise();
    return window;
}

HistoryWindow::HistoryWindow(wxWindow* parent, const wxString& path, const HistoryClock& clock, const wxString& name)
    : wxFrame(parent, wxID_ANY, wxString::Format(_("History of %s"), name))
    , m_path(path)
    , m_clock(clock)
    , m_name(name)
{
    ms_open[name] = this;
    // The program's own icon in the task bar, as its main window has.
    if ( const wxTopLevelWindow* top = dynamic_cast<const wxTopLevelWindow*>(wxGetTopLevelParent(parent)) )
        SetIcons(top->GetIcons());
    DoLayout();
    // Esc closes it, as it closes the program's other windows of a moment.
    wxAcceleratorEntry escape(wxACCEL_NORMAL, WXK_ESCAPE, wxID_CLOSE);
    SetAcceleratorTable(wxAcceleratorTable(1, &escape));
    wxConfigBase* config = Skin::GetConfig();
    SetSize(config->ReadLong("/HistoryWindow/width", DEFAULT_SIZE.x), config->ReadLong("/HistoryWindow/height", DEFAULT_SIZE.y));
}

HistoryWindow::~HistoryWindow()
{
    ms_open.erase(m_name);
}

void HistoryWindow::DoLayout()
{
    wxPanel* panel = new wxPanel(this);
    m_now = new wxStaticText(panel, wxID_ANY, wxEmptyString);
    m_usually = new wxStaticText(panel, wxID_ANY, wxEmptyString);
    m_typical = new wxStaticText(panel, wxID_ANY, wxEmptyString);
    wxStaticText* over = new wxStaticText(panel, wxID_ANY, _("The week's pattern over the last"));
    m_weeks = new wxChoice(panel, wxID_ANY);
    for ( int weeks : WEEKS )
        m_weeks->Append(wxString::Format(wxPLURAL("%d week", "%d weeks", weeks), weeks));
    m_weeks->SetSelection(DEFAULT_CHOICE);
#ifdef __WXGTK__
    // Read with the words before it, as "The week's pattern over the last: 8 weeks".
    AtkObject* label = gtk_widget_get_accessible(over->GetHandle());
    AtkObject* weeks = gtk_widget_get_accessible(m_weeks->GetHandle());
    atk_object_add_relationship(label, ATK_RELATION_LABEL_FOR, weeks);
    atk_object_add_relationship(weeks, ATK_RELATION_LABELLED_BY, label);
#endif
    m_map = new WeekMapPanel(panel, wxID_ANY);
    wxStaticText* recent = new wxStaticText(panel, wxID_ANY, _("Recent sessions"));
    m_sessions = new wxDataViewListCtrl(panel, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                        wxDV_SINGLE | wxDV_ROW_LINES | wxDV_HORIZ_RULES);
    for ( const wxString& column : { _("Date"), _("From"), _("To"), _("Length"), _("Busy") } )
        m_sessions->AppendTextColumn(column, wxDATAVIEW_CELL_INERT, wxCOL_WIDTH_AUTOSIZE);

    wxBoxSizer* choice = new wxBoxSizer(wxHORIZONTAL);
    choice->Add(over, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    choice->Add(m_weeks, 0, wxALIGN_CENTER_VERTICAL);
    wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);
    const int border = 8;
    sizer->Add(m_now, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, border);
    sizer->Add(m_usually, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, border);
    sizer->Add(m_typical, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, border);
    sizer->Add(choice, 0, wxLEFT | wxRIGHT | wxTOP, border);
    sizer->Add(m_map, 3, wxEXPAND | wxALL, border);
    sizer->Add(recent, 0, wxLEFT | wxRIGHT, border);
    sizer->Add(m_sessions, 2, wxEXPAND | wxALL, border);
    panel->SetSizer(sizer);
    // Room for the picture's cells and legend, in any language, and a few sessions.
    const wxSize least = sizer->CalcMin();
    SetMinClientSize(wxSize(std::max(least.x, MIN_SIZE.x), std::max(least.y, MIN_SIZE.y)));
}

void HistoryWindow::Fill()
{
    const int weeks = WEEKS[m_weeks->GetSelection() == wxNOT_FOUND ? DEFAULT_CHOICE : m_weeks->GetSelection()];
    const std::int64_t now = m_clock.Now();
    const PerformerHistory history(m_path, m_name, weeks, now);
    // Free or busy as of the last poll written, as the trees' rows say it.
    const wxString state = history.IsBusyNow() ? _("busy") : _("free");
    m_now->SetLabel(PatternPhrases::Now(now, history.GetOnlineSince(), history.GetLastSeen(), state));
    m_usually->SetLabel(PatternPhrases::Usually(history.GetPattern()));
    m_typical->SetLabel(PatternPhrases::Typical(history.GetSessionCount(), history.GetMedianLength(), weeks));
    m_map->SetPattern(history.GetPattern(), PatternPhrases::Description(history.GetPattern()));

    m_sessions->DeleteAllItems();
    for ( const PerformerHistory::Session& session : history.GetRecent() )
    {
        const int busy = session.GetLength() > 0
                             ? static_cast<int>(100.0 * session.busySeconds / session.GetLength() + 0.5)
                             : 0;
        wxVector<wxVariant> row;
        row.push_back(Local(session.first, "%x"));
        row.push_back(Local(session.first, _("%H:%M")));
        row.push_back(session.goingOn ? _("now") : Local(session.last, _("%H:%M")));
        row.push_back(HistoryPhrases::Duration(session.GetLength()));
        row.push_back(wxString::Format("%d%%", std::min(busy, 100)));
        m_sessions->AppendItem(row);
    }
    Layout();
}

void HistoryWindow::OnWeeks(wxCommandEvent&)
{
    Fill();
}

void HistoryWindow::OnActivate(wxActivateEvent& event)
{
    // Back to it after a while: how things stand now.
    if ( event.GetActive() && IsShown() )
        Fill();
    event.Skip();
}

void HistoryWindow::OnClose(wxCloseEvent& event)
{
    if ( !IsIconized() && !IsMaximized() )
    {
        wxConfigBase* config = Skin::GetConfig();
        config->Write("/HistoryWindow/width", static_cast<long>(GetSize().x));
        config->Write("/HistoryWindow/height", static_cast<long>(GetSize().y));
    }
    event.Skip();
}

void HistoryWindow::OnEscape(wxCommandEvent&)
{
    Close();
}
