#include "shell/LumoraSite.h"

#include "net/DownloadThread.h"
#include "net/HttpClient.h"
#include "net/StopSignal.h"
#include "shell/BoolSetting.h"
#include "shell/DurationSetting.h"
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
#include <wx/stopwatch.h>
#include <wx/thread.h>
#include <wx/uri.h>

#include <algorithm>
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
    // The settings of each next poll are read as the main thread wakes for the last one's news.
    MainThreadCall::Install();
    return true;
}

void LumoraSite::OnExit()
{
    wxLogTrace("lumora", "LumoraSite::OnExit");
    // Their code goes with the library: no download thread may still run then.
    DownloadThread::WaitForAll();
    MainThreadCall::DropPending();
    // Its connection is closed while the library that closes it is still there.
    {
        wxMutexLocker lock(m_listClientLock);
        m_listClient.reset();
    }
    // Also removes every image and file-system handler of the process.
    delete Skin::GetInstance();
}

int LumoraSite::UpdateUserList()
{
    // The user quitting must not wait for a slow server, nor for a long or endless list.
    wxThread* self = wxThread::IsMain() ? nullptr : wxThread::This();
    StopSignal* stop = self ? StopSignal::OfThisThread() : nullptr;
    PollSettings settings;
    if ( !TakePollSettings(stop, settings) )
        return 0;
    wxStopWatch attempt;

    // The same client from poll to poll, so that its connection is kept. Another poll at the same
    // time (only tests make one) has a client of its own.
    const bool shared = m_listClientLock.TryLock() == wxMUTEX_NO_ERROR;
    struct Unlock
    {
        wxMutex* lock;
        ~Unlock()
        {
            if ( lock )
                lock->Unlock();
        }
    } unlock{ shared ? &m_listClientLock : nullptr };
    std::unique_ptr<HttpClient> ownClient;
    if ( shared && !m_listClient )
        m_listClient.reset(new HttpClient);
    if ( !shared )
        ownClient.reset(new HttpClient);
    HttpClient* client = shared ? m_listClient.get() : ownClient.get();
    client->SetTimeout(TIMEOUT_SECONDS);
    if ( self )
        client->SetStopTest([self] { return self->TestDestroy(); });
    else
        client->SetStopTest(std::function<bool()>());
    client->SetStopSignal(stop);
    // A watcher's poll of 300 performers owes 3 s every 10 s. What the last list owed is slept
    // while the answer comes, and the list is then read in one go; the rest of the pause, if the
    // list grew, is slept in one wait once it is whole. Each wakes the machine once, not once a
    // performer or a piece of the answer.
    const long prepaid = TakePrepaidMs(stop);
    client->SetPauseBeforeAnswer(prepaid);
    const wxURI url(settings.url);
    std::unique_ptr<wxInputStream> input(client->Open(url));
    if ( !input )
    {
        wxLogTrace("lumora", "performer list: no answer from %s", settings.url);
        return Failed(self, stop, attempt, ShouldKeepWatching(settings));
    }

    PerformerListParser parser;
    parser.SetPauseMs(PAUSE_PER_PERFORMER_MS, PerformerListParser::WHOLE_LIST);
    parser.SetPrepaidMs(prepaid);
    parser.SetStopSignal(stop);
    if ( self )
        parser.SetStopTest([self] { return self->TestDestroy(); });
    UserList list;
    const PerformerListParser::Result parsed = parser.Parse(*input, list);
    input.reset();
    if ( parsed == PerformerListParser::STOPPED )
    {
        // The user is leaving: neither a list nor a failure.
        wxLogTrace("lumora", "performer list: parse stopped, result discarded");
        return 0;
    }
    if ( parsed == PerformerListParser::CUT )
    {
        // Taking a part for the whole would have everyone after the cut leave and come back.
        wxLogTrace("lumora", "performer list: cut short after %lu performers, the last list stays",
                   static_cast<unsigned long>(list.GetCount()));
        return Failed(self, stop, attempt, ShouldKeepWatching(settings));
    }
    m_failures = 0;
    SetUserList(list);
    PrepareNextPoll(stop, list.GetCount());
    return static_cast<int>(settings.seconds * 1000);
}

LumoraSite::PollSettings LumoraSite::ReadPollSettings()
{
    PollSettings settings;
    settings.url = SiteHosts::MakeUrl(SiteHosts::MAIN, "/include/js/online_performers.js");
    // Under a second would hammer the site, and 0 would read as a failure.
    settings.seconds =
        DurationSetting::ReadSeconds(*wxConfigBase::Get(), "/System/syncinterval", DEFAULT_SYNC_SECONDS, 1);
    settings.keepWatching = BoolSetting::Read(*wxConfigBase::Get(), "/System/keepWatching", false);
    return settings;
}

bool LumoraSite::TakePollSettings(StopSignal* stop, PollSettings& settings)
{
    if ( stop )
    {
        wxMutexLocker lock(m_nextSettingsLock);
        if ( m_nextSettings && m_nextSettingsFor == stop->GetSerial() )
        {
            settings = *m_nextSettings;
            settings.fresh = false;
            m_nextSettings.reset();
            return true;
        }
    }
    std::shared_ptr<PollSettings> read = std::make_shared<PollSettings>();
    if ( !MainThreadCall::Run([read](const std::function<bool()>&) { *read = ReadPollSettings(); }) )
        return false;
    settings = *read;
    return true;
}

long LumoraSite::TakePrepaidMs(StopSignal* stop)
{
    if ( !stop )
        return 0;
    wxMutexLocker lock(m_nextSettingsLock);
    const long prepaid = m_nextPrepaidFor == stop->GetSerial() ? m_nextPrepaidMs : 0;
    m_nextPrepaidMs = 0;
    return prepaid;
}

void LumoraSite::PrepareNextPoll(StopSignal* stop, size_t performers)
{
    if ( !stop )
        return;
    const unsigned long poller = stop->GetSerial();
    {
        wxMutexLocker lock(m_nextSettingsLock);
        m_nextPrepaidMs = std::min<long>(static_cast<long>(performers) * PAUSE_PER_PERFORMER_MS, MAX_PREPAID_MS);
        m_nextPrepaidFor = poller;
    }
    MainThreadCall::PostWhenAwake([this, poller] {
        std::unique_ptr<PollSettings> next(new PollSettings(ReadPollSettings()));
        wxMutexLocker lock(m_nextSettingsLock);
        m_nextSettings = std::move(next);
        m_nextSettingsFor = poller;
    });
}

bool LumoraSite::ShouldKeepWatching(const PollSettings& settings) const
{
    if ( settings.fresh )
        return settings.keepWatching;
    // Ticked or unticked since the last poll: a failure is a moment to be exact.
    std::shared_ptr<bool> keepWatching = std::make_shared<bool>(settings.keepWatching);
    MainThreadCall::Run([keepWatching](const std::function<bool()>&) {
        *keepWatching = BoolSetting::Read(*wxConfigBase::Get(), "/System/keepWatching", false);
    });
    return *keepWatching;
}

int LumoraSite::Failed(wxThread* self, StopSignal* stop, const wxStopWatch& attempt, bool keepWatching)
{
    // Only the polling thread waits: the main thread is never held up.
    if ( self && !WaitOutFailedAttempt(*self, stop, attempt, FailedAttemptMs(keepWatching)) )
        return 0;
    OnDownloadFailed(keepWatching);
    return 0;
}

bool LumoraSite::WaitOutFailedAttempt(wxThread& thread, StopSignal* stop, const wxStopWatch& attempt, long ms)
{
    // A refused connection fails here at once, where it would take a while elsewhere; without
    // this the ten failures in a row would hammer the site and end the program within
    // milliseconds of a network that is not up yet.
    while ( attempt.Time() < ms )
    {
        if ( thread.TestDestroy() )
            return false;
        // With a stop signal, in one piece: a stop ends it.
        if ( stop )
            stop->Sleep(ms - attempt.Time());
        else
            wxThread::Sleep(std::min<long>(100, ms - attempt.Time()));
    }
    return !thread.TestDestroy();
}

long LumoraSite::FailedAttemptMs(bool keepWatching) const
{
    long ms = TIMEOUT_SECONDS * 1000;
    for ( int i = 0; keepWatching && i < m_failures && ms < MAX_RETRY_MS; ++i )
        ms *= 2;
    return std::min(ms, MAX_RETRY_MS);
}

void LumoraSite::OnDownloadFailed(bool keepWatching)
{
    if ( keepWatching )
    {
        // Counted for the spacing only: an outage is ridden out, never shown in a box.
        if ( m_failures < MAX_FAILURES * 100 )
            ++m_failures;
        wxLogTrace("lumora", "performer list: %d failures in a row, keeping watching", m_failures);
        return;
    }
    if ( ++m_failures < MAX_FAILURES )
        return;
    wxLogTrace("lumora", "performer list: %d failures in a row, telling the user", m_failures);
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
