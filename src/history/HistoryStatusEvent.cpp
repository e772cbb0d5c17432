#include "history/HistoryStatusEvent.h"

wxDEFINE_EVENT(wxEVT_HISTORY_STATUS, HistoryStatusEvent);

HistoryStatusEvent::HistoryStatusEvent(State state, const wxString& reason)
    : wxEvent(wxID_ANY, wxEVT_HISTORY_STATUS)
    , m_state(state)
    , m_reason(reason)
{
}
