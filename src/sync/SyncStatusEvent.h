#pragma once

#include <wx/datetime.h>
#include <wx/event.h>

class SyncStatusEvent;

wxDECLARE_EVENT(wxEVT_SYNC_STATUS, SyncStatusEvent);

// How the polling stands, after every attempt: how many performers the last good list held and
// when it came, and how many attempts have failed since. Not a command event.
class SyncStatusEvent : public wxEvent
{
public:
    SyncStatusEvent(size_t online, const wxDateTime& lastSuccess, const wxDateTime& failingSince, int failures);

    size_t GetOnline() const { return m_online; }
    // Invalid before the first good list.
    const wxDateTime& GetLastSuccess() const { return m_lastSuccess; }
    // The start of the first failed attempt in a row; invalid while nothing fails.
    const wxDateTime& GetFailingSince() const { return m_failingSince; }
    // Failed attempts in a row; 0 after a good list.
    int GetFailures() const { return m_failures; }

    wxEvent* Clone() const override { return new SyncStatusEvent(*this); }

private:
    size_t m_online;
    wxDateTime m_lastSuccess;
    wxDateTime m_failingSince;
    int m_failures;
};

typedef void (wxEvtHandler::*SyncStatusEventFunction)(SyncStatusEvent&);
#define SyncStatusEventHandler(func) wxEVENT_HANDLER_CAST(SyncStatusEventFunction, func)
#define EVT_SYNC_STATUS(func) wx__DECLARE_EVT1(wxEVT_SYNC_STATUS, wxID_ANY, SyncStatusEventHandler(func))
