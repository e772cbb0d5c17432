#include "shell/LumoraSite.h"

#include "net/DownloadThread.h"
#include "shell/SiteHosts.h"
#include "shell/SystemProxy.h"
#include "skin/Skin.h"
#include "sync/MainThreadCall.h"
#include "sync/PerformerListParser.h"

#include <wx/app.h>
#include <wx/config.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/protocol/protocol.h>
#include <wx/thread.h>
#include <wx/url.h>

#include <memory>

wxIMPLEMENT_DYNAMIC_CLASS(LumoraSite, wxModule);

LumoraSite::LumoraSite()
{
    wxLogTrace("lumora", "LumoraSite created");
    SystemProxy::Install();
}

bool LumoraSite::OnInit()
{
    // The identity fixes where the toolkit keeps the configuration.
    if ( wxTheApp )
    {
        wxTheApp->SetVendorName("Lumora");
        wxTheApp->SetAppName("Messenger");
        wxLogTrace("lumora", "LumoraSite::OnInit: vendor \"%s\", application \"%s\"",
                   wxTheApp->GetVendorName(), wxTheApp->GetAppName());
    }
    return true;
}

void LumoraSite::OnExit()
{
    wxLogTrace("lumora", "LumoraSite::OnExit");
    // Their code goes with the library: no download thread may still run then.
    DownloadThread::WaitForAll();
    // Also removes every image and file-system handler of the process.
    delete Skin::GetInstance();
}

int LumoraSite::UpdateUserList()
{
    // The configuration is not thread-safe: it is read on the main thread, like every write.
    struct Settings
    {
        wxString url;
        long seconds = 10;
    };
    std::shared_ptr<Settings> settings = std::make_shared<Settings>();
    const bool read = MainThreadCall::Run([settings](const std::function<bool()>&) {
        settings->url = SiteHosts::MakeUrl(SiteHosts::MAIN, "/include/js/online_performers.js");
        wxConfigBase::Get()->Read("/System/syncinterval", &settings->seconds, 10);
    });
    if ( !read )
        return 0;

    wxURL url(settings->url);
    std::unique_ptr<wxInputStream> input;
    if ( url.IsOk() )
    {
        url.GetProtocol().SetTimeout(TIMEOUT_SECONDS);
        input.reset(url.GetInputStream());
    }
    if ( !input )
    {
        wxLogTrace("lumora", "performer list: no answer from %s", settings->url);
        OnDownloadFailed();
        return 0;
    }
    m_failures = 0;

    // The user quitting must not wait for a long or endless list to end.
    wxThread* self = wxThread::IsMain() ? nullptr : wxThread::This();
    PerformerListParser parser;
    parser.SetPauseMs(PAUSE_PER_PERFORMER_MS);
    if ( self )
        parser.SetStopTest([self] { return self->TestDestroy(); });
    UserList list;
    if ( parser.Parse(*input, list) == PerformerListParser::STOPPED )
    {
        wxLogTrace("lumora", "performer list: parse stopped, result discarded");
        return 0;
    }
    input.reset();
    SetUserList(list);
    return static_cast<int>(settings->seconds * 1000);
}

void LumoraSite::OnDownloadFailed()
{
    if ( ++m_failures < MAX_FAILURES )
        return;
    const wxString message = wxString::Format("%s\n%s", _("Could not get response from server"),
                                              _("Please execute it after a while."));
    const wxString caption = _("Error");
    // Windows live on the main thread: the box is shown there while this thread waits.
    MainThreadCall::Run([message, caption](const std::function<bool()>& abandoned) {
        wxMessageBox(message, caption, wxOK | wxICON_ERROR | wxCENTRE);
        if ( abandoned() )
            return;
        wxWindow* top = wxTheApp ? wxTheApp->GetTopWindow() : nullptr;
        if ( top )
        {
            wxCommandEvent exit(wxEVT_COMMAND_MENU_SELECTED, wxID_EXIT);
            top->GetEventHandler()->AddPendingEvent(exit);
        }
    });
}
