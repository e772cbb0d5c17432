#pragma once

#include <wx/event.h>

// What a download thread's receiver gets, once per started download, on the main thread: the
// thread's id, a new buffer holding the whole body as client data (null on failure; from then on
// the receiver's, to free with operator delete) and the body's size as the integer.
// Shaped like a command event, but needing only the toolkit's base library.
class DownloadFinishedEvent : public wxEvent
{
public:
    DownloadFinishedEvent(wxEventType type, int id);

    void* GetClientData() const { return m_clientData; }
    void SetClientData(void* data) { m_clientData = data; }
    int GetInt() const { return m_int; }
    void SetInt(int value) { m_int = value; }

    wxEvent* Clone() const override;

private:
    void* m_clientData = nullptr;
    int m_int = 0;
};

wxDECLARE_EVENT(wxEVT_DOWNLOAD_FINISHED, DownloadFinishedEvent);

typedef void (wxEvtHandler::*DownloadFinishedEventFunction)(DownloadFinishedEvent&);
#define DownloadFinishedEventHandler(func) wxEVENT_HANDLER_CAST(DownloadFinishedEventFunction, func)
// Any identifier.
#define EVT_DOWNLOAD_FINISHED(func) \
    wx__DECLARE_EVT1(wxEVT_DOWNLOAD_FINISHED, wxID_ANY, DownloadFinishedEventHandler(func))
