#pragma once

#include <wx/frame.h>

#include <cstdint>
#include <map>

class HistoryClock;
class WeekMapPanel;
class wxActivateEvent;
class wxChoice;
class wxCloseEvent;
class wxDataViewListCtrl;
class wxStaticText;

// One performer's watch history: how things stand now, when they are usually online (a sentence,
// and the week's pattern as a picture over the last 4, 8 or 26 weeks), their typical session and
// their latest sessions in a list. One window a performer: asking again brings it to the front.
// It reads the history afresh whenever it is brought back.
class HistoryWindow : public wxFrame
{
public:
    // The command that opens the history of the selected row, in the trees' menus and the Tool menu.
    static constexpr int ID_OPEN = 6100;

    // Shows name's window over parent, made if need be. The history is the file at path, read by
    // clock.
    static HistoryWindow* ShowFor(wxWindow* parent, const wxString& path, const HistoryClock& clock,
                                  const wxString& name);
    // name's window, or null.
    static HistoryWindow* Find(const wxString& name);

    ~HistoryWindow() override;

private:
    HistoryWindow(wxWindow* parent, const wxString& path, const HistoryClock& clock, const wxString& name);
    void DoLayout();
    // Reads the history and shows it.
    void Fill();
    void OnWeeks(wxCommandEvent& event);
    void OnActivate(wxActivateEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnEscape(wxCommandEvent& event);

    static std::map<wxString, HistoryWindow*> ms_open;

    wxString m_path;
    const HistoryClock& m_clock;
    wxString m_name;
    wxStaticText* m_now = nullptr;
    wxStaticText* m_usually = nullptr;
    wxStaticText* m_typical = nullptr;
    wxChoice* m_weeks = nullptr;
    WeekMapPanel* m_map = nullptr;
    wxDataViewListCtrl* m_sessions = nullptr;

    wxDECLARE_EVENT_TABLE();
};
