// The real program against a site that misbehaves: stopped at any moment, answered badly,
// started before the site, or left without one. It must always end cleanly and quietly.
#include "ChildProgram.h"
#include "common/TestSupport.h"
#include "sitesim/SimulatedSite.h"

#include <gtest/gtest.h>

#include <wx/stopwatch.h>
#include <wx/utils.h>

#include <csignal>
#include <fstream>
#include <random>
#include <string>

namespace
{
const char* const LIST_PATH = "/include/js/online_performers.js";

class ProgramRobustnessTest : public ::testing::Test
{
protected:
    void SetUp() override { m_dir = TestSupport::MakeTempDir(); }
    void TearDown() override { TestSupport::RemoveDir(m_dir); }

    // A fresh configuration for one run: the site polled every second unless told otherwise,
    // pop-ups short; more is written at the end as it stands.
    void Configure(const std::string& hostPort, const std::string& syncInterval = "1", const std::string& more = "")
    {
        std::ofstream config(ConfigPath().ToStdString(), std::ios::trunc);
        config << "[Site]\nmainhost=" << hostPort << "\nimagehost=" << hostPort << "\npreviewhost=" << hostPort
               << "\n[System]\nsyncinterval=" << syncInterval
               << "\n[SplashScreen]\nduration=0\n[PopupDialog]\nduration=1\n" << more;
    }
    wxString ConfigPath() const { return m_dir + "/Parlo.conf"; }

    ChildProgramPtr StartProgram()
    {
        ChildProgramPtr program = MakeChildProgram();
        EXPECT_TRUE(program->Start({ TestSupport::BuildDir() + "/Parlo", "--no-update", "--config",
                                     m_dir + "/Parlo.conf" },
                                   { { "WXTRACE", "lumora" } }));
        return program;
    }

    // Stops the program the way a session's end does; it must go within the bound, with 0.
    static void StopAndCheck(ChildProgram& program, const std::string& run)
    {
        program.Signal(SIGTERM);
        ASSERT_TRUE(program.WaitForEnd(20000)) << run << ": still running 20 s after SIGTERM\n"
                                                << Tail(program.Errors());
        EXPECT_EQ(0, program.Status()) << run << "\n" << Tail(program.Errors());
        EXPECT_EQ("", Complaints(program.Errors())) << run;
    }

    // What must never be printed: sanitizer reports, the toolkit's asserts, warnings of the
    // libraries under it.
    static wxString Complaints(const wxString& errors)
    {
        wxString found;
        for ( const wxString& line : wxSplit(errors, '\n', '\0') )
        {
            for ( const char* mark : { "Sanitizer", "runtime error", "assert", "GLib-CRITICAL", "GLib-WARNING",
                                       "Gtk-CRITICAL", "Gtk-WARNING", "Gdk-CRITICAL" } )
            {
                if ( line.find(mark) != wxString::npos )
                {
                    found += line + "\n";
                    break;
                }
            }
        }
        return found;
    }

    static wxString Tail(const wxString& text)
    {
        return text.length() > 3000 ? text.Right(3000) : text;
    }

    wxString m_dir;
};

void Pause(int ms)
{
    TestSupport::WaitFor([] { return false; }, ms);
}
}

TEST_F(ProgramRobustnessTest, StopsCleanlyAtAnyMomentAgainstAFastSite)
{
    // Few performers who change at every poll: lists, pop-ups and their pictures all the time.
    sitesim::SimulatedSite::Options options;
    options.performers = 3;
    options.churn = 1.0;
    sitesim::SimulatedSite site(options);
    ASSERT_TRUE(site.Start(0));
    Configure(site.GetHostPort());
    std::mt19937 random(20261208);
    for ( int i = 0; i < 20; ++i )
    {
        const size_t polls = site.CountRequests(LIST_PATH) + 1 + random() % 4;
        const int extraMs = static_cast<int>(random() % 1000);
        const std::string run = "run " + std::to_string(i) + ": after poll " + std::to_string(polls) + " + "
                                + std::to_string(extraMs) + " ms";
        ChildProgramPtr program = StartProgram();
        ASSERT_TRUE(TestSupport::WaitFor([&] {
            program->Pump();
            return site.CountRequests(LIST_PATH) >= polls || program->Ended();
        }, 30000)) << run;
        Pause(extraMs);
        StopAndCheck(*program, run);
        if ( HasFatalFailure() )
            return;
    }
}

TEST_F(ProgramRobustnessTest, StopsCleanlyAgainstASiteThatAnswersBadly)
{
    sitesim::SimulatedSite::Options options;
    options.performers = 5;
    options.churn = 0.6;
    sitesim::SimulatedSite site(options);
    ASSERT_TRUE(site.Start(0));
    Configure(site.GetHostPort());
    std::mt19937 random(8122026);
    for ( int i = 0; i < 20; ++i )
    {
        const unsigned seed = static_cast<unsigned>(random());
        const int runMs = 3000 + static_cast<int>(random() % 5000);
        const std::string run = "run " + std::to_string(i) + ": fault seed " + std::to_string(seed) + ", "
                                + std::to_string(runMs) + " ms";
        site.SetRandomFaults(0.3, seed);
        ChildProgramPtr program = StartProgram();
        ASSERT_TRUE(program->WaitForError("DaemonThread started", 30000)) << run << "\n" << program->Errors();
        Pause(runMs);
        EXPECT_FALSE(program->Ended()) << run << ": ended by itself\n" << Tail(program->Errors());
        StopAndCheck(*program, run);
        if ( HasFatalFailure() )
            return;
    }
}

TEST_F(ProgramRobustnessTest, StartedBeforeTheSiteShowsTheList)
{
    // A port that is free now and taken by the site two seconds after the program started.
    int port = 0;
    {
        sitesim::SimulatedSite probe;
        ASSERT_TRUE(probe.Start(0));
        port = probe.GetPort();
    }
    sitesim::SimulatedSite site;
    Configure("127.0.0.1:" + std::to_string(port));
    ChildProgramPtr program = StartProgram();
    ASSERT_TRUE(program->WaitForError("performer list: no answer", 30000)) << program->Errors();
    Pause(2000);
    ASSERT_TRUE(site.Start(port));

    EXPECT_TRUE(program->WaitForError("DaemonThread: first list of 200 performers", 30000)) << program->Errors();
    EXPECT_EQ(wxString::npos, program->Errors().find("telling the user")) << program->Errors();
    StopAndCheck(*program, "started before the site");
}

TEST_F(ProgramRobustnessTest, WithoutASiteQuitsCleanlyAndTellsTheUserAfterHalfAMinute)
{
    Configure("127.0.0.1:" + std::to_string(sitesim::SimulatedSite::UnusedPort()));

    // Stopped while it keeps trying.
    {
        ChildProgramPtr program = StartProgram();
        ASSERT_TRUE(program->WaitForError("performer list: no answer", 30000)) << program->Errors();
        StopAndCheck(*program, "stopped while the site is away");
    }

    // Left alone: ten attempts, spaced as if each had waited for its answer, then the box; the
    // user's OK ends the program.
    ChildProgramPtr program = StartProgram();
    ASSERT_TRUE(program->WaitForError("DaemonThread started", 30000)) << program->Errors();
    wxStopWatch watch;
    ASSERT_TRUE(program->WaitForError("telling the user", 60000)) << program->Errors();
    const long toldAfterMs = watch.Time();
    EXPECT_GT(toldAfterMs, 24000);
    EXPECT_LT(toldAfterMs, 40000);
    ChildProgramPtr user = MakeChildProgram();
    ASSERT_TRUE(user->Start({ "timeout", "60", "xdotool", "search", "--sync", "--name", "^Error$", "windowfocus",
                              "--sync", "key", "Return" }));
    ASSERT_TRUE(program->WaitForEnd(30000)) << Tail(program->Errors());
    EXPECT_EQ(0, program->Status()) << Tail(program->Errors());
    EXPECT_EQ("", Complaints(program->Errors()));
}

TEST_F(ProgramRobustnessTest, NoSyncIntervalMakesItHammerTheSite)
{
    // A short list, read at once: nothing but the interval spaces the requests.
    sitesim::SimulatedSite::Options options;
    options.performers = 3;
    sitesim::SimulatedSite site(options);
    ASSERT_TRUE(site.Start(0));
    // Below a second; 0, which the site's answer carries as its failure; and one whose
    // milliseconds do not fit.
    for ( const char* interval : { "-5", "0", "3000000" } )
    {
        const std::string run = std::string("syncinterval=") + interval;
        Configure(site.GetHostPort(), interval);
        const size_t before = site.CountRequests(LIST_PATH);
        wxStopWatch watch;
        ChildProgramPtr program = StartProgram();
        ASSERT_TRUE(program->WaitForError("DaemonThread: first list of", 30000)) << run << "\n" << Tail(program->Errors());
        Pause(3000);
        const long ms = watch.Time();
        const size_t requests = site.CountRequests(LIST_PATH) - before;
        EXPECT_LE(requests, static_cast<size_t>(ms / 1000 + 1)) << run << ": " << requests << " lists in " << ms << " ms";
        EXPECT_NE(wxString::npos, program->Errors().find("/System/syncinterval")) << run << ": not traced";
        StopAndCheck(*program, run);
        if ( HasFatalFailure() )
            return;
    }
}

TEST_F(ProgramRobustnessTest, StopsCleanlyWhileTheConfigurationErrorIsShown)
{
    sitesim::SimulatedSite site;
    ASSERT_TRUE(site.Start(0));
    for ( const int signal : { SIGTERM, SIGINT } )
    {
        const std::string run = signal == SIGTERM ? "SIGTERM" : "SIGINT";
        // A line the toolkit cannot read, which it reports in a box.
        Configure(site.GetHostPort(), "1", "this line is no setting\n");
        const std::string written = TestSupport::FileContents(ConfigPath());
        ChildProgramPtr program = StartProgram();
        ChildProgramPtr box = MakeChildProgram();
        ASSERT_TRUE(box->Start({ "timeout", "30", "xdotool", "search", "--sync", "--onlyvisible", "--name", " Error$" }));
        ASSERT_TRUE(box->WaitForEnd(40000));
        ASSERT_EQ(0, box->Status()) << run << ": no box came\n" << Tail(program->Errors());

        program->Signal(signal);
        ASSERT_TRUE(program->WaitForEnd(10000)) << run << ": still running 10 s after the signal\n"
                                                << Tail(program->Errors());
        EXPECT_EQ(0, program->Status()) << run << "\n" << Tail(program->Errors());
        EXPECT_EQ(wxString::npos, program->Errors().find("calling SiteRun")) << run << ": it went on after the box";
        EXPECT_EQ(0u, site.CountRequests(LIST_PATH)) << run;
        EXPECT_EQ(written, TestSupport::FileContents(ConfigPath())) << run << ": the configuration was written";
        EXPECT_EQ("", Complaints(program->Errors())) << run;
    }
}
