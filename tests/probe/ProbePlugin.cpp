// Built into ParloProbe.so: the plug-in's own objects plus this module, which says in the traces
// that this library (not the original) is the one running, and on request starts a download
// that the unloading library must then wait for.
#include "net/DownloadThread.h"

#include <wx/log.h>
#include <wx/module.h>
#include <wx/url.h>
#include <wx/utils.h>

namespace
{
// Reports the end of the probe's download; lives as long as the library.
class ProbeReceiver : public wxEvtHandler
{
private:
    void OnDownloadFinished(DownloadFinishedEvent& event)
    {
        wxLogTrace("lumora", "probe download finished: %s", event.GetClientData() ? "data" : "no data");
        ::operator delete(event.GetClientData());
    }

    wxDECLARE_EVENT_TABLE();
};

wxBEGIN_EVENT_TABLE(ProbeReceiver, wxEvtHandler)
    EVT_DOWNLOAD_FINISHED(ProbeReceiver::OnDownloadFinished)
wxEND_EVENT_TABLE()

ProbeReceiver gs_receiver;
}

class ProbeModule : public wxModule
{
public:
    bool OnInit() override
    {
        wxLogTrace("lumora", "probe plug-in running");
        wxString url;
        if ( !wxGetEnv("PARLO_PROBE_DOWNLOAD", &url) || url.empty() )
            return true;
        long timeout = 4;
        wxString timeoutText;
        if ( wxGetEnv("PARLO_PROBE_TIMEOUT", &timeoutText) )
            timeoutText.ToLong(&timeout);
        wxURL* address = new wxURL(url);
        address->GetProtocol().SetTimeout(timeout);
        DownloadThread* thread = new DownloadThread(&gs_receiver, -1, address, nullptr, 0, wxTHREAD_DETACHED);
        thread->Run();
        wxLogTrace("lumora", "probe download started: %s", url);
        return true;
    }
    void OnExit() override {}

private:
    wxDECLARE_DYNAMIC_CLASS(ProbeModule);
};

wxIMPLEMENT_DYNAMIC_CLASS(ProbeModule, wxModule);
