#include "ChildProgram.h"
#include "common/TestSupport.h"

#include "sitesim/SimulatedSite.h"

#include <gtest/gtest.h>

#include <wx/ffile.h>
#include <wx/process.h>

#include <wx/file.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/utils.h>

#include <csignal>
#include <sys/stat.h>

namespace
{
struct ProgramRun
{
    long code = -1;
    wxString errors;
};

// Runs a command with the lumora traces switched on and collects what it writes to stderr.
ProgramRun RunProgram(const wxString& command)
{
    wxExecuteEnv env;
    wxGetEnvMap(&env.env);
    env.env["WXTRACE"] = "lumora";
    wxArrayString output;
    wxArrayString errors;
    ProgramRun run;
    run.code = wxExecute(command, output, errors, wxEXEC_SYNC | wxEXEC_NODISABLE, &env);
    for ( const wxString& line : errors )
        run.errors += line + "\n";
    return run;
}

// True when every needle occurs in text, in the given order.
bool InOrder(const wxString& text, std::initializer_list<const char*> needles)
{
    size_t from = 0;
    for ( const char* needle : needles )
    {
        const size_t at = text.find(needle, from);
        if ( at == wxString::npos )
            return false;
        from = at + strlen(needle);
    }
    return true;
}
}

namespace
{
// The host running in the background, its stderr collected as it comes.
class HostProcess : public wxProcess
{
public:
    HostProcess()
    {
        Redirect();
    }
    bool ended = false;
    int code = -1;
    wxString errors;

    void Drain()
    {
        wxInputStream* stream = GetErrorStream();
        while ( stream && stream->CanRead() )
        {
            char buffer[4096];
            stream->Read(buffer, sizeof(buffer));
            errors += wxString::FromUTF8(buffer, stream->LastRead());
        }
    }

protected:
    void OnTerminate(int, int status) override
    {
        Drain();
        code = status;
        ended = true;
    }
};
}

TEST(HostProgram, LoadsThePluginRunsItAndEndsCleanly)
{
    sitesim::SimulatedSite site;
    ASSERT_TRUE(site.Start(0));
    const wxString dir = TestSupport::MakeTempDir();
    const wxString config = dir + "/sub/Parlo.conf";
    wxFileName::Mkdir(dir + "/sub", 0700);
    wxFFile(config, "w").Write("[Site]\nmainhost=" + wxString(site.GetHostPort()) + "\n");

    wxExecuteEnv env;
    wxGetEnvMap(&env.env);
    env.env["WXTRACE"] = "lumora";
    HostProcess* host = new HostProcess;
    const long pid = wxExecute(TestSupport::BuildDir() + "/Parlo --no-update --config " + config,
                               wxEXEC_ASYNC, host, &env);
    ASSERT_GT(pid, 0);
    // Running: the plug-in's thread asks the site for its list.
    EXPECT_TRUE(TestSupport::WaitFor(
        [&] { host->Drain(); return host->ended || site.CountRequests("/include/js/online_performers.js") > 0; },
        20000));
    // A stop request from outside closes the window the ordinary way.
    wxProcess::Kill(pid, wxSIGTERM);
    ASSERT_TRUE(TestSupport::WaitFor([&] { host->Drain(); return host->ended; }, 20000));

    EXPECT_EQ(0, host->code) << host->errors;
    EXPECT_TRUE(InOrder(host->errors, { "LumoraSite created",
                                        "LumoraSite::OnInit: vendor \"Lumora\", application \"Messenger\"",
                                        "Parlo.so through wxPluginManager",
                                        "calling SiteRun",
                                        "LumoraSite::OnExit",
                                        "unloaded" }))
        << host->errors;

    // The frame kept its place, in a configuration only its owner can read.
    struct stat info;
    ASSERT_EQ(0, stat(config.fn_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 0777);
    wxString saved;
    wxFFile(config).ReadAll(&saved);
    EXPECT_NE(wxString::npos, saved.find("width=")) << saved;
    delete host;
    TestSupport::RemoveDir(dir);
}

TEST(HostProgram, MissingOrBrokenPluginIsAClearError)
{
    const wxString dir = TestSupport::MakeTempDir();
    ASSERT_TRUE(wxCopyFile(TestSupport::BuildDir() + "/Parlo", dir + "/Parlo"));
    chmod((dir + "/Parlo").fn_str(), 0755);

    ProgramRun run = RunProgram(dir + "/Parlo --config " + dir + "/c.conf");
    EXPECT_EQ(1, run.code);
    EXPECT_NE(wxString::npos, run.errors.find("cannot find the plug-in " + dir + "/Parlo.so"))
        << run.errors;

    wxFile(dir + "/Parlo.so", wxFile::write).Write("not a library");
    run = RunProgram(dir + "/Parlo --config " + dir + "/c.conf");
    EXPECT_EQ(1, run.code);
    EXPECT_NE(wxString::npos, run.errors.find("cannot load the plug-in " + dir + "/Parlo.so:"))
        << run.errors;
    TestSupport::RemoveDir(dir);
}

TEST(HostProgram, RelativeConfigIsTheFileInTheCurrentFolder)
{
    sitesim::SimulatedSite site;
    ASSERT_TRUE(site.Start(0));
    const wxString dir = TestSupport::MakeTempDir();
    const wxString work = dir + "/work";
    const wxString home = dir + "/home";
    ASSERT_TRUE(wxFileName::Mkdir(work, 0700) && wxFileName::Mkdir(home, 0700));
    wxFFile(work + "/Parlo.conf", "w").Write("[Site]\nmainhost=" + wxString(site.GetHostPort())
                                             + "\n[SplashScreen]\nduration=0\n");
    const std::map<wxString, wxString> env = { { "WXTRACE", "lumora" }, { "HOME", home } };
    const wxString program = TestSupport::BuildDir() + "/Parlo";

    // The site it names there is the one asked for the list.
    ChildProgramPtr first = MakeChildProgram();
    ASSERT_TRUE(first->Start({ program, "--no-update", "--config", "Parlo.conf" }, env, work));
    EXPECT_TRUE(TestSupport::WaitFor([&] {
        first->Pump();
        return first->Ended() || site.CountRequests("/include/js/online_performers.js") > 0;
    }, 30000)) << first->Errors();
    ASSERT_FALSE(first->Ended()) << first->Errors();

    // The same file by another name: the copy already running is the one.
    ChildProgramPtr second = MakeChildProgram();
    ASSERT_TRUE(second->Start({ program, "--no-update", "--config", "./Parlo.conf" }, env, work));
    ASSERT_TRUE(second->WaitForEnd(20000)) << second->Errors();
    EXPECT_EQ(0, second->Status()) << second->Errors();
    EXPECT_EQ(wxString::npos, second->Errors().find("calling SiteRun")) << second->Errors();

    // Written back there, and nothing beside the home folder.
    first->Signal(SIGTERM);
    ASSERT_TRUE(first->WaitForEnd(20000)) << first->Errors();
    EXPECT_EQ(0, first->Status()) << first->Errors();
    const std::string saved = TestSupport::FileContents(work + "/Parlo.conf");
    EXPECT_NE(std::string::npos, saved.find("width=")) << saved;
    EXPECT_FALSE(wxFileExists(home + "/Parlo.conf"));
    TestSupport::RemoveDir(dir);
}
