#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <wx/file.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/utils.h>

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

TEST(HostProgram, LoadsThePluginAndRunsItsModule)
{
    const wxString dir = TestSupport::MakeTempDir();
    const wxString config = dir + "/sub/Parlo.conf";
    const ProgramRun run = RunProgram(TestSupport::BuildDir() + "/Parlo --no-update --config " + config);

    // The plug-in has no user interface yet: the host says so and fails.
    EXPECT_EQ(1, run.code);
    EXPECT_TRUE(InOrder(run.errors, { "LumoraSite created",
                                      "LumoraSite::OnInit: vendor \"Lumora\", application \"Messenger\"",
                                      "Parlo.so through wxPluginManager",
                                      "Parlo.so does not export SiteRun",
                                      "LumoraSite::OnExit",
                                      "unloaded" }))
        << run.errors;
    EXPECT_EQ(1u, run.errors.Freq('\n') - wxString(run.errors).Replace("Trace:", "")) << run.errors;

    // The configuration holds the password: owner-only.
    struct stat info;
    ASSERT_EQ(0, stat(config.fn_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 0777);
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
