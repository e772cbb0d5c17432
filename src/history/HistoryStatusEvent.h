#pragma once

#include <wx/event.h>

class HistoryStatusEvent;

wxDECLARE_EVENT(wxEVT_HISTORY_STATUS, HistoryStatusEvent);

// What became of the watch history: written again after a pause, paused for a reason (the file
// out of reach for now), or forgotten, every row gone. Not a command event.
class HistoryStatusEvent : public wxEvent
{
public:
    enum State
    {
        WRITTEN,
        PAUSED,
        FORGOTTEN
    };

    HistoryStatusEvent(State state, const wxString& reason = wxString());

    State GetState() const { return m_state; }
    // Why it paused.
    const wxString& GetReason() const { return m_reason; }

    // A copy of its own for another thread.
    wxEvent* Clone() const override { return new HistoryStatusEvent(m_state, m_reason.Clone()); }

private:
    State m_state;
    wxString m_reason;
};

typedef void (wxEvtHandler::*HistoryStatusEventFunction)(HistoryStatusEvent&);
#define HistoryStatusEventHandler(func) wxEVENT_HANDLER_CAST(HistoryStatusEventFunction, func)
#define EVT_HISTORY_STATUS(func) wx__DECLARE_EVT1(wxEVT_HISTORY_STATUS, wxID_ANY, HistoryStatusEventHandler(func))
