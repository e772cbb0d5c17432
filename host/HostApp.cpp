#include "HostApp.h"

#include "DesktopSession.h"
#include "HostOptions.h"
#include "ModalDialogs.h"
#include "SingleInstance.h"

#include <wx/cmdline.h>
#include <wx/dynload.h>
#include <wx/file.h>
#include <wx/filefn.h>
#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/socket.h>
#include <wx/stdpaths.h>
#include <wx/translation.h>

#include <wx/toplevel.h>

#include <csignal>
#include <dlfcn.h>

#include <cstdio>
#include <vector>

wxIMPLEMENT_APP_NO_MAIN(HostApp);

namespace
{
volatile std::sig_atomic_t gs_earlyStop = 0;

void NoteEarlyStop(int)
{
    gs_earlyStop = 1;
}
}

int main(int argc, char** argv)
{
    int status = 0;
    if ( HostOptions::AnswerAlone(argc, argv, status) )
        return status;
    // Until the application's own handlers are in place a stop is kept for them, not lost.
    std::signal(SIGTERM, &NoteEarlyStop);
    std::signal(SIGINT, &NoteEarlyStop);
    DesktopSession::Prepare();
    return wxEntry(argc, argv);
}

namespace
{
typedef bool (*SiteRunFunction)();
typedef wxFileName* (*GetNewPluginFileNameFunction)();

// The configuration holds the site password: nobody but its owner may read it.
bool CreateOwnerOnly(const wxString& path)
{
    wxFileName name(path);
    if ( !name.DirExists() && !wxFileName::Mkdir(name.GetPath(), 0700, wxPATH_MKDIR_FULL) )
        return false;
    wxLogNull quiet;
    if ( !name.FileExists() && !wxFile().Create(path, false, wxS_IRUSR | wxS_IWUSR) )
        return false;
    return name.SetPermissions(wxS_IRUSR | wxS_IWUSR);
}

// The program's real file, however it was started (through PATH, a link, a relative name): the
// plug-in, the skin and the catalogue stand beside it.
wxFileName ProgramFile()
{
    return wxFileName(wxStandardPaths::Get().GetExecutablePath());
}

wxFileName PluginFile()
{
    wxFileName plugin = ProgramFile();
    plugin.SetExt(wxDynamicLibrary::GetDllExt(wxDL_MODULE).Mid(1));
    return plugin;
}

// Where the old plug-in is kept while a new one is tried.
wxString KeptPluginPath()
{
    return PluginFile().GetFullPath() + ".old";
}

// What a plug-in must export for the host to run it and to keep it up to date.
const char* const EXPORTS[] = { "SiteRun", "GetNewPluginFileName" };

// The one way the host tells its user about a problem: a line on stderr.
void Complain(const wxString& message)
{
    std::fprintf(stderr, "Parlo: %s\n", static_cast<const char*>(message.utf8_str()));
}

// Lets traces through and keeps errors back, for as long as it lives.
class TracesOnly : public wxLog
{
public:
    TracesOnly() { m_previous = wxLog::SetActiveTarget(this); }
    ~TracesOnly() override { wxLog::SetActiveTarget(m_previous); }

protected:
    void DoLogRecord(wxLogLevel level, const wxString& message, const wxLogRecordInfo& info) override
    {
        if ( level == wxLOG_Trace || level == wxLOG_Debug )
            wxLog::DoLogRecord(level, message, info);
    }

private:
    wxLog* m_previous = nullptr;
};

// True when the library is still in memory, although nothing holds it any more.
bool StillLoaded(const wxString& path)
{
    void* handle = dlopen(path.fn_str(), RTLD_LAZY | RTLD_NOLOAD);
    if ( !handle )
        return false;
    dlclose(handle);
    return true;
}

// The dynamic loader's own words for why a library does not load.
wxString LoaderError(const wxString& path)
{
    void* handle = dlopen(path.fn_str(), RTLD_NOW);
    if ( handle )
    {
        dlclose(handle);
        return "its modules did not initialise";
    }
    const char* error = dlerror();
    return error ? wxString::FromUTF8(error) : wxString("unknown error");
}
}

// Asked to stop from outside (a terminal's Ctrl+C, a session ending): close the windows the
// ordinary way, so that the plug-in saves what it keeps and its threads end.
void HostApp::OnStopSignal(int)
{
    HostApp* app = static_cast<HostApp*>(wxApp::GetInstance());
    if ( app )
        app->Stop();
}

void HostApp::Stop()
{
    wxLogTrace("lumora", "stop signal: closing the windows");
    m_stopRequested = true;
    // A dialog's own loop would keep running under closed windows: the dialogs go first, and
    // the windows once the last of them has gone.
    if ( m_modalDialogs && m_modalDialogs->EndAll() )
        return;
    // Before the main loop OnInit is still at work: it goes no further, and OnRun closes
    // whatever windows it had opened.
    if ( IsMainLoopRunning() )
        CloseWindows();
}

void HostApp::CloseWindows()
{
    // A copy: a window that closes may take others with it.
    const std::vector<wxWindow*> windows(wxTopLevelWindows.begin(), wxTopLevelWindows.end());
    for ( wxWindow* window : windows )
    {
        if ( wxTopLevelWindows.Find(window) )
            window->Close(true);
    }
    if ( windows.empty() )
        ExitMainLoop();
    // Windows are deleted when the loop next goes idle; a quiet program must get there.
    WakeUpIdle();
}

HostApp::HostApp() = default;

HostApp::~HostApp() = default;

void HostApp::OnInitCmdLine(wxCmdLineParser& parser)
{
    wxApp::OnInitCmdLine(parser);
    HostOptions::Describe(parser);
}

bool HostApp::OnCmdLineParsed(wxCmdLineParser& parser)
{
    if ( parser.Found("config", &m_configPath) && !m_configPath.empty() )
    {
        // Relative to the folder the program starts in, for the file and for the one-copy claim
        // alike: the toolkit would take a relative name from the home folder.
        wxFileName path(m_configPath);
        path.MakeAbsolute();
        m_configPath = path.GetFullPath();
    }
    parser.Found("lang", &m_language);
    m_noUpdate = parser.Found("no-update");
    return wxApp::OnCmdLineParsed(parser);
}

bool HostApp::OnInit()
{
    // Sockets are used from worker threads later; they must be set up here, on the main thread.
    wxSocketBase::Initialize();

    if ( !wxApp::OnInit() )
        return false;
    // An optimised build mutes traces; a maintainer who asks for them with WXTRACE gets them.
    if ( wxGetEnv("WXTRACE", nullptr) )
        wxLog::SetLogLevel(wxLOG_Max);
    SetSignalHandler(SIGTERM, &HostApp::OnStopSignal);
    SetSignalHandler(SIGINT, &HostApp::OnStopSignal);
    m_modalDialogs.reset(new ModalDialogs([this] {
        if ( IsMainLoopRunning() )
            CloseWindows();
    }));
    if ( gs_earlyStop )
    {
        Stop();
        return true;
    }

    // A failure ends the program with status 1 by way of OnRun: OnInit still succeeds, so that
    // OnExit unloads whatever was loaded. So does a copy that finds another at work.
    if ( !m_configPath.empty() )
    {
        if ( !IsOnlyCopy(m_configPath) )
            return true;
        if ( !InstallConfig(m_configPath) )
        {
            SetFailure(wxString::Format("cannot create the configuration file %s", m_configPath));
            return true;
        }
    }
    // Told to stop while the configuration's problems were shown: nothing more is started.
    if ( m_stopRequested )
        return true;

    SetUpLocale();

    FinishInterruptedSwap();
    if ( !LoadPlugin() )
        return true;

    if ( m_configPath.empty() )
    {
        const wxString path = DefaultConfigPath();
        if ( !IsOnlyCopy(path) )
            return true;
        if ( !InstallConfig(path) )
        {
            SetFailure("cannot create the configuration file in the user's configuration folder");
            return true;
        }
    }
    if ( m_stopRequested )
        return true;

    UpdatePlugin();
    if ( !m_plugin )
        return true;

    bool found = false;
    SiteRunFunction siteRun = m_plugin->HasSymbol("SiteRun")
                                  ? reinterpret_cast<SiteRunFunction>(m_plugin->GetSymbol("SiteRun", &found))
                                  : nullptr;
    if ( !found || !siteRun )
    {
        SetFailure(wxString::Format("%s does not export SiteRun: it has no user interface to run",
                                    m_pluginPath));
        return true;
    }
    // Told to stop while the update asked its question: no window comes up any more.
    if ( m_stopRequested )
        return true;
    wxLogTrace("lumora", "calling SiteRun");
    siteRun();
    return true;
}

int HostApp::OnRun()
{
    if ( m_exitCode != 0 )
        return m_exitCode;
    // Told to stop before the loop ran: whatever windows came up close the ordinary way.
    if ( m_stopRequested )
        CloseWindows();
    // With no window left there is nothing to wait for; closed ones are deleted by the loop.
    if ( wxTopLevelWindows.IsEmpty() )
        return 0;
    return wxApp::OnRun();
}

int HostApp::OnExit()
{
    UnloadPlugin();
    m_singleInstance.reset();
    m_locale.reset();
    delete wxConfigBase::Set(nullptr);
    return wxApp::OnExit();
}

bool HostApp::InstallConfig(const wxString& path)
{
    if ( !CreateOwnerOnly(path) )
        return false;
    wxFileConfig* config = new wxFileConfig(wxEmptyString, wxEmptyString, path, wxEmptyString,
                                            wxCONFIG_USE_LOCAL_FILE);
    config->SetUmask(0077);
    delete wxConfigBase::Set(config);
    wxLogTrace("lumora", "configuration %s", path);
    // Lines the toolkit could not read are shown now, before anything else has started.
    wxLog::FlushActive();
    return true;
}

wxString HostApp::DefaultConfigPath()
{
    // The plug-in has named the vendor and the application; the file follows the XDG layout.
    wxStandardPaths::Get().SetFileLayout(wxStandardPaths::FileLayout_XDG);
    wxString vendor = GetVendorName();
    if ( vendor.empty() )
        vendor = GetAppName();
    const wxFileName path(wxStandardPaths::Get().GetUserConfigDir() + "/" + vendor,
                          GetAppName() + ".conf");
    return path.GetFullPath();
}

bool HostApp::IsOnlyCopy(const wxString& configPath)
{
    m_singleInstance.reset(new SingleInstance);
    switch ( m_singleInstance->ClaimFor(configPath) )
    {
        case SingleInstance::FIRST:
            return true;
        case SingleInstance::OTHER_SHOWN:
            wxLogTrace("lumora", "another copy watches with %s: it shows itself, this one ends", configPath);
            break;
        case SingleInstance::OTHER_UNREACHABLE:
            Complain(wxString::Format("another copy already watches with %s", configPath));
            break;
    }
    return false;
}

void HostApp::SetUpLocale()
{
    int language = wxLANGUAGE_DEFAULT;
    if ( !m_language.empty() )
    {
        const wxLanguageInfo* info = wxLocale::FindLanguageInfo(m_language);
        if ( info )
            language = info->Language;
        else
            Complain(wxString::Format("unknown language \"%s\", using the system's", m_language));
    }
    const wxFileName program = ProgramFile();
    wxFileTranslationsLoader::AddCatalogLookupPathPrefix(program.GetPath());
    m_locale.reset(new wxLocale);
    {
        // A language whose C locale is not installed still gets its translations.
        wxLogNull quiet;
        m_locale->Init(language);
    }
    m_locale->AddCatalog(program.GetName());
}

bool HostApp::LoadPlugin()
{
    wxString reason;
    if ( OpenPlugin(reason) )
        return true;
    SetFailure(reason);
    return false;
}

bool HostApp::OpenPlugin(wxString& reason)
{
    const wxFileName plugin = PluginFile();
    m_pluginPath = plugin.GetFullPath();
    if ( !plugin.FileExists() )
    {
        reason = wxString::Format("cannot find the plug-in %s", m_pluginPath);
        return false;
    }
    {
        // The reason goes into our one line, not into a log window.
        TracesOnly quiet;
        m_plugin = wxPluginManager::LoadLibrary(m_pluginPath, wxDL_VERBATIM | wxDL_DEFAULT);
    }
    if ( !m_plugin )
    {
        reason = wxString::Format("cannot load the plug-in %s: %s", m_pluginPath, LoaderError(m_pluginPath));
        return false;
    }
    wxLogTrace("lumora", "loaded %s through wxPluginManager", m_pluginPath);
    return true;
}

void HostApp::UpdatePlugin()
{
    if ( m_noUpdate || !m_plugin->HasSymbol("GetNewPluginFileName") )
        return;
    GetNewPluginFileNameFunction getNewPluginFileName =
        reinterpret_cast<GetNewPluginFileNameFunction>(m_plugin->GetSymbol("GetNewPluginFileName"));
    const wxFileName* offered = getNewPluginFileName ? getNewPluginFileName() : nullptr;
    if ( !offered )
        return;
    // The name lives in the plug-in: take it before the plug-in goes.
    const wxString newPath = offered->GetFullPath();
    wxLogTrace("lumora", "new plug-in %s", newPath);
    UnloadPlugin();
    if ( StillLoaded(m_pluginPath) )
    {
        // Its modules are gone but its code stays: it cannot run again, and the new one cannot
        // load beside it. The new one at least takes over at the next start.
        bool moved = false;
        {
            wxLogNull quiet;
            moved = wxRenameFile(newPath, m_pluginPath, true);
        }
        SetFailure(wxString::Format("the plug-in %s stays loaded after unloading; %s", m_pluginPath,
                              moved ? "the new one runs from the next start" : "the new one was not put in place"));
        return;
    }

    wxString problem;
    if ( SwapPlugin(newPath, problem) )
    {
        wxLogTrace("lumora", "swapped in the new plug-in %s", m_pluginPath);
        return;
    }
    Complain(wxString::Format("cannot put the new plug-in %s in place (%s); going on with the old one", newPath,
                              problem));
    // They belong with the plug-in that was not taken.
    DiscardCompanions();
    LoadPlugin();
}

bool HostApp::SwapPlugin(const wxString& newPath, wxString& problem)
{
    // A copy of the old plug-in comes back should the new one not load or not export what the
    // host needs; the rename over the old name then leaves a plug-in in place at every moment,
    // and the copy stays until the new one has proved itself.
    const wxString pluginPath = m_pluginPath;
    const wxString backupPath = KeptPluginPath();
    {
        wxLogNull quiet;
        if ( !wxCopyFile(pluginPath, backupPath, true) )
        {
            problem = "cannot keep a copy of the old one at " + backupPath;
            wxRemoveFile(newPath);
            return false;
        }
        if ( !wxRenameFile(newPath, pluginPath, true) )
        {
            problem = wxString::Format("cannot move it over %s: %s", pluginPath, wxSysErrorMsgStr());
            wxRemoveFile(backupPath);
            wxRemoveFile(newPath);
            return false;
        }
    }
    bool opened = OpenPlugin(problem);
    for ( const char* name : EXPORTS )
    {
        if ( opened && !m_plugin->HasSymbol(name) )
        {
            problem = wxString::Format("it does not export %s", name);
            UnloadPlugin();
            opened = false;
        }
    }
    wxLogNull quiet;
    if ( !opened )
    {
        wxRenameFile(backupPath, pluginPath, true);
        return false;
    }
    wxRemoveFile(backupPath);
    return true;
}

void HostApp::FinishInterruptedSwap()
{
    const wxString kept = KeptPluginPath();
    if ( !wxFileName::FileExists(kept) )
        return;
    const wxString plugin = PluginFile().GetFullPath();
    bool restored = false;
    {
        wxLogNull quiet;
        restored = wxRenameFile(kept, plugin, true);
    }
    if ( !restored )
    {
        Complain(wxString::Format("cannot put the old plug-in %s back in place", kept));
        return;
    }
    Complain(wxString::Format("the new plug-in did not finish loading last time: %s is the old one again", plugin));
    DiscardCompanions();
}

void HostApp::DiscardCompanions()
{
    const wxFileName program = ProgramFile();
    wxFileName skin(program);
    skin.SetExt("skin");
    const wxString waiting[] = {
        skin.GetFullPath(),
        program.GetPath(wxPATH_GET_VOLUME | wxPATH_GET_SEPARATOR) + "ja/LC_MESSAGES/" + program.GetName() + ".mo",
        program.GetFullPath() + ".manifest",
    };
    wxLogNull quiet;
    for ( const wxString& path : waiting )
    {
        if ( wxFileName::FileExists(path + ".new") && wxRemoveFile(path + ".new") )
            wxLogTrace("lumora", "dropped %s.new, which came with the plug-in that was not taken", path);
    }
}

void HostApp::UnloadPlugin()
{
    if ( !m_plugin )
        return;
    m_plugin = nullptr;
    // The plug-in's modules end here (their OnExit runs) before the library goes.
    wxPluginManager::UnloadLibrary(m_pluginPath);
    wxLogTrace("lumora", "unloaded %s", m_pluginPath);
}

void HostApp::SetFailure(const wxString& message)
{
    Complain(message);
    m_exitCode = 1;
}
