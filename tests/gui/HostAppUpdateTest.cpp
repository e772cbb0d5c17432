#include "ChildProgram.h"
#include "common/TestSupport.h"
#include "sitesim/SimulatedSite.h"

#include <gtest/gtest.h>

#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/process.h>
#include <wx/stopwatch.h>
#include <wx/txtstrm.h>
#include <wx/utils.h>

#include <csignal>
#include <fstream>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

using TestSupport::FileContents;

namespace
{
const char* const THUMBNAIL_PATH = "/WebArchive/Stalled/thumbs/LinkedImage.jpg";

// True when every needle occurs in text, in the given order.
bool InOrder(const wxString& text, std::initializer_list<wxString> needles)
{
    size_t from = 0;
    for ( const wxString& needle : needles )
    {
        const size_t at = text.find(needle, from);
        if ( at == wxString::npos )
            return false;
        from = at + needle.length();
    }
    return true;
}

size_t Count(const wxString& text, const wxString& needle)
{
    size_t count = 0;
    for ( size_t at = text.find(needle); at != wxString::npos; at = text.find(needle, at + 1) )
        ++count;
    return count;
}

// A copy of the host program with its plug-in and companion files in a folder of its own,
// pointed at a site by its own configuration file.
class HostAppUpdateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = TestSupport::MakeTempDir();
        const wxString build = TestSupport::BuildDir();
        ASSERT_TRUE(wxFileName::Mkdir(m_dir + "/ja/LC_MESSAGES", 0700, wxPATH_MKDIR_FULL));
        for ( const char* name : { "Parlo", "Parlo.so", "Parlo.skin", "ja/LC_MESSAGES/Parlo.mo", "Parlo.trust-test-key" } )
            ASSERT_TRUE(wxCopyFile(build + "/" + name, m_dir + "/" + name)) << name;
        m_probe = build + "/ParloProbe.so";
        ASSERT_TRUE(wxFileName::FileExists(m_probe));
        m_original = FileContents(m_dir + "/Parlo.so");
    }

    void TearDown() override { TestSupport::RemoveDir(m_dir); }

    void PointAt(const wxString& hostPort)
    {
        std::ofstream config((m_dir + "/Parlo.conf").ToStdString());
        config << "[Site]\nmainhost=" << hostPort << "\nimagehost=" << hostPort
               << "\npreviewhost=" << hostPort << "\n[SplashScreen]\nduration=0\n";
    }

    // The simulated site offering this file as the new plug-in, with the host copy pointed at it;
    // null if it cannot listen.
    std::unique_ptr<sitesim::SimulatedSite> StartSiteOffering(const std::string& file)
    {
        sitesim::SimulatedSite::Options options;
        options.updateFile = file;
        auto site = std::make_unique<sitesim::SimulatedSite>(options);
        if ( !site->Start(0) )
            return nullptr;
        PointAt(site->GetHostPort());
        return site;
    }

    // The site program offering what the arguments say, with the host copy pointed at it.
    ChildProgramPtr StartSiteProgram(const std::vector<wxString>& arguments)
    {
        std::vector<wxString> command = { TestSupport::BuildDir() + "/sitesim", "--port", "0" };
        command.insert(command.end(), arguments.begin(), arguments.end());
        ChildProgramPtr site = MakeChildProgram();
        EXPECT_TRUE(site->Start(command));
        EXPECT_TRUE(site->WaitForOutput("/ (", 10000)) << site->Output() << site->Errors();
        const wxString served = site->Output().AfterFirst('/').AfterFirst('/').BeforeFirst('/');
        EXPECT_TRUE(served.StartsWith("127.0.0.1:")) << site->Output();
        PointAt(served);
        return site;
    }

    // Runs the host copy until its user interface is up, and ends it as a session's end does.
    ChildProgramPtr RunHost(std::vector<wxString> options = {})
    {
        ChildProgramPtr host = StartHost(options);
        EXPECT_TRUE(host->WaitForError("calling SiteRun", 60000)) << host->Errors();
        Stop(*host);
        EXPECT_EQ(0, host->Status()) << host->Errors();
        return host;
    }

    // Starts the host copy; the traces of the plug-in and the host come on its stderr.
    ChildProgramPtr StartHost(std::vector<wxString> options = {},
                              const std::map<wxString, wxString>& env = {})
    {
        std::vector<wxString> arguments = { m_dir + "/Parlo", "--config", m_dir + "/Parlo.conf",
                                            "--lang", "en" };
        arguments.insert(arguments.end(), options.begin(), options.end());
        std::map<wxString, wxString> environment = env;
        environment["WXTRACE"] = "lumora";
        ChildProgramPtr host = MakeChildProgram();
        EXPECT_TRUE(host->Start(arguments, environment));
        return host;
    }

    // Answers the host's consent question the way a person would, on the (virtual) display.
    ChildProgramPtr AnswerConsent(const wxString& key)
    {
        ChildProgramPtr xdotool = MakeChildProgram();
        EXPECT_TRUE(xdotool->Start({ "timeout", "60", "xdotool", "search", "--sync", "--name", "^Confirm$",
                                     "windowfocus", "--sync", "key", key }))
            << "xdotool is needed (scripts/deps.sh installs it)";
        return xdotool;
    }

    // Closes the host the way a session's end would, and waits for it.
    static void Stop(ChildProgram& host)
    {
        host.Signal(SIGTERM);
        EXPECT_TRUE(host.WaitForEnd(30000)) << host.Errors();
    }

    // A stand-in for a new plug-in where it is never loaded.
    std::string SmallOffer() const
    {
        const std::string path = (m_dir + "/offer.bin").ToStdString();
        std::ofstream(path, std::ios::binary) << std::string(50000, 'n');
        return path;
    }

    static wxString ProblemLines(const wxString& errors)
    {
        wxString lines;
        for ( const wxString& line : wxSplit(errors, '\n', '\0') )
        {
            if ( line.StartsWith("Parlo:") )
                lines += line + "\n";
        }
        return lines;
    }

    wxString m_dir;
    wxString m_probe;
    std::string m_original;
};
}

TEST_F(HostAppUpdateTest, AcceptedUpdateIsSwappedInAndRuns)
{
    // The site program offers the probe build of the plug-in as the update, signed with the key
    // this build trusts, with a skin and a catalogue of its own.
    const wxString skin = m_dir + "/offered.skin";
    const wxString catalog = m_dir + "/offered.mo";
    std::ofstream(skin.ToStdString(), std::ios::binary) << "the update's skin";
    std::ofstream(catalog.ToStdString(), std::ios::binary) << "the update's catalogue";
    ChildProgramPtr site = StartSiteProgram({ "--update", m_probe, "--update-skin", skin, "--update-mo", catalog });

    ChildProgramPtr host = StartHost();
    ChildProgramPtr answer = AnswerConsent("Return");
    ASSERT_TRUE(host->WaitForError("calling SiteRun", 60000)) << host->Errors();
    EXPECT_TRUE(answer->WaitForEnd(10000));
    EXPECT_EQ(0, answer->Status()) << "the consent question was not shown";
    Stop(*host);

    EXPECT_EQ(0, host->Status()) << host->Errors();
    const wxString& traces = host->Errors();
    EXPECT_TRUE(InOrder(traces, { "loaded " + m_dir + "/Parlo.so", "new plug-in " + m_dir + "/Parlo.so.new",
                                  "LumoraSite::OnExit", "unloaded " + m_dir + "/Parlo.so",
                                  "LumoraSite created", "probe plug-in running",
                                  "swapped in the new plug-in", "calling SiteRun" }))
        << traces;
    // The original ran first and the probe only after the swap.
    EXPECT_EQ(1u, Count(traces, "probe plug-in running")) << traces;
    EXPECT_LT(traces.find("new plug-in"), traces.find("probe plug-in running"));
    EXPECT_TRUE(FileContents(m_probe) == FileContents(m_dir + "/Parlo.so"));
    EXPECT_FALSE(wxFileName::Exists(m_dir + "/Parlo.so.new"));
    EXPECT_FALSE(wxFileName::Exists(m_dir + "/Parlo.so.old"));
    EXPECT_EQ("", ProblemLines(traces));
    // The skin and the catalogue in use stay until the next start, which moves them in.
    EXPECT_FALSE(FileContents(skin) == FileContents(m_dir + "/Parlo.skin"));
    ChildProgramPtr next = StartHost();
    // "No" by its mnemonic. (Escape would do as well, but it leaves the virtual display's keyboard
    // in a state where a later test's Escape no longer closes a tray menu.)
    ChildProgramPtr declined = AnswerConsent("alt+n");
    ASSERT_TRUE(next->WaitForError("calling SiteRun", 60000)) << next->Errors();
    EXPECT_TRUE(declined->WaitForEnd(10000));
    Stop(*next);
    EXPECT_EQ(0, next->Status()) << next->Errors();
    EXPECT_EQ(wxString::npos, next->Errors().find("new plug-in " + m_dir)) << next->Errors();
    EXPECT_TRUE(FileContents(skin) == FileContents(m_dir + "/Parlo.skin"));
    EXPECT_TRUE(FileContents(catalog) == FileContents(m_dir + "/ja/LC_MESSAGES/Parlo.mo"));
    EXPECT_TRUE(FileContents(m_probe) == FileContents(m_dir + "/Parlo.so"));
    site->Signal(SIGTERM);
}

// A library that the publisher did not sign, or that was changed after signing, never runs: no
// question is asked, nothing is moved in, and the program starts as it was, now and next time.
TEST_F(HostAppUpdateTest, UpdatesThePublisherDidNotSignNeverRun)
{
    const std::string skin = FileContents(m_dir + "/Parlo.skin");
    const wxString tampered = m_dir + "/tampered.so";
    ASSERT_TRUE(wxCopyFile(m_probe, tampered));
    const struct
    {
        const char* what;
        std::vector<wxString> arguments;
    } offers[] = {
        { "without a statement", { "--update", m_probe, "--no-update-statement" } },
        { "signed with another key",
          { "--update", m_probe, "--update-signing-key", wxString('5', 64) } },
        { "changed after signing", { "--update", tampered } },
    };
    for ( const auto& offer : offers )
    {
        ChildProgramPtr site = StartSiteProgram(offer.arguments);
        // Bytes added on the way, after the publisher signed.
        std::ofstream(tampered.ToStdString(), std::ios::binary | std::ios::app) << std::string(64 * 1024, '\xcc');
        for ( int start = 0; start < 2; ++start )
        {
            ChildProgramPtr host = RunHost();
            const wxString& traces = host->Errors();
            EXPECT_NE(wxString::npos, traces.find("offers a plug-in that is refused")) << offer.what << "\n" << traces;
            EXPECT_EQ(1u, Count(traces, "LumoraSite created")) << offer.what << "\n" << traces;
            EXPECT_EQ(wxString::npos, traces.find("probe plug-in running")) << offer.what;
            EXPECT_EQ(wxString::npos, traces.find("new plug-in ")) << offer.what;
            EXPECT_EQ("", ProblemLines(traces)) << offer.what;
        }
        EXPECT_TRUE(m_original == FileContents(m_dir + "/Parlo.so")) << offer.what;
        EXPECT_TRUE(skin == FileContents(m_dir + "/Parlo.skin")) << offer.what;
        for ( const char* left : { "/Parlo.so.new", "/Parlo.so.new.statement", "/Parlo.skin.new" } )
            EXPECT_FALSE(wxFileName::Exists(m_dir + left)) << offer.what << ": " << left;
        site->Signal(SIGTERM);
    }
}

TEST_F(HostAppUpdateTest, NoUpdateOptionAsksNothing)
{
    const auto site = StartSiteOffering(m_probe.ToStdString());
    ASSERT_TRUE(site);

    // A question would stop the host before its user interface.
    ChildProgramPtr host = StartHost({ "--no-update" });
    ASSERT_TRUE(host->WaitForError("calling SiteRun", 60000)) << host->Errors();
    Stop(*host);

    EXPECT_EQ(0u, site->CountRequests("/cgi-bin/app/update.cgi"));
    EXPECT_EQ(wxString::npos, host->Errors().find("probe plug-in running"));
    EXPECT_EQ(wxString::npos, host->Errors().find("DownloadToFile"));
    EXPECT_TRUE(m_original == FileContents(m_dir + "/Parlo.so"));
    EXPECT_EQ(0, host->Status()) << host->Errors();
}

TEST_F(HostAppUpdateTest, UpdateThatDoesNotLoadLeavesTheOldPlugin)
{
    const wxString broken = m_dir + "/broken.bin";
    std::ofstream(broken.ToStdString(), std::ios::binary) << std::string(100000, 'x');
    const auto site = StartSiteOffering(broken.ToStdString());
    ASSERT_TRUE(site);

    ChildProgramPtr host = StartHost();
    ChildProgramPtr answer = AnswerConsent("Return");
    ASSERT_TRUE(host->WaitForError("calling SiteRun", 60000)) << host->Errors();
    Stop(*host);

    const wxString problems = ProblemLines(host->Errors());
    EXPECT_EQ(1u, Count(problems, "\n")) << host->Errors();
    EXPECT_TRUE(problems.StartsWith("Parlo: cannot put the new plug-in " + m_dir + "/Parlo.so.new in place"))
        << problems;
    EXPECT_NE(wxString::npos, problems.find("going on with the old one")) << problems;
    // The old plug-in came back, runs, and is in place byte for byte.
    EXPECT_EQ(2u, Count(host->Errors(), "LumoraSite created")) << host->Errors();
    EXPECT_TRUE(m_original == FileContents(m_dir + "/Parlo.so"));
    EXPECT_FALSE(wxFileName::Exists(m_dir + "/Parlo.so.old"));
    EXPECT_EQ(0, host->Status()) << host->Errors();
}

// A signed library that loads but cannot run the program (it exports neither SiteRun nor the
// update check) is taken out again with the skin that came with it; and had the program died
// while the new plug-in loaded, the next start puts the old one back.
TEST_F(HostAppUpdateTest, PluginThatCannotRunIsRolledBackNowAndAfterACrash)
{
    const wxString foreign = m_dir + "/foreign.so";
    ASSERT_TRUE(wxCopyFile("/lib/x86_64-linux-gnu/libz.so.1", foreign));
    const wxString skin = m_dir + "/offered.skin";
    std::ofstream(skin.ToStdString(), std::ios::binary) << "the update's skin";
    const std::string oldSkin = FileContents(m_dir + "/Parlo.skin");
    ChildProgramPtr site = StartSiteProgram({ "--update", foreign, "--update-skin", skin });

    ChildProgramPtr host = StartHost();
    ChildProgramPtr answer = AnswerConsent("Return");
    ASSERT_TRUE(host->WaitForError("calling SiteRun", 60000)) << host->Errors();
    Stop(*host);
    EXPECT_EQ(0, host->Status()) << host->Errors();
    const wxString problems = ProblemLines(host->Errors());
    EXPECT_EQ(1u, Count(problems, "\n")) << host->Errors();
    EXPECT_NE(wxString::npos, problems.find("it does not export SiteRun")) << problems;
    EXPECT_NE(wxString::npos, problems.find("going on with the old one")) << problems;
    EXPECT_TRUE(m_original == FileContents(m_dir + "/Parlo.so"));
    EXPECT_FALSE(wxFileName::Exists(m_dir + "/Parlo.so.old"));
    EXPECT_FALSE(wxFileName::Exists(m_dir + "/Parlo.skin.new"));
    site->Signal(SIGTERM);
    host = RunHost({ "--no-update" });
    EXPECT_TRUE(oldSkin == FileContents(m_dir + "/Parlo.skin"));

    // As the program leaves it when it dies with the new plug-in half loaded.
    ASSERT_TRUE(wxRenameFile(m_dir + "/Parlo.so", m_dir + "/Parlo.so.old"));
    ASSERT_TRUE(wxCopyFile(foreign, m_dir + "/Parlo.so"));
    std::ofstream((m_dir + "/Parlo.skin.new").ToStdString(), std::ios::binary) << "the update's skin";
    host = RunHost({ "--no-update" });
    EXPECT_NE(wxString::npos, ProblemLines(host->Errors()).find("did not finish loading last time")) << host->Errors();
    EXPECT_TRUE(m_original == FileContents(m_dir + "/Parlo.so"));
    EXPECT_FALSE(wxFileName::Exists(m_dir + "/Parlo.so.old"));
    EXPECT_FALSE(wxFileName::Exists(m_dir + "/Parlo.skin.new"));
    EXPECT_TRUE(oldSkin == FileContents(m_dir + "/Parlo.skin"));
}

TEST_F(HostAppUpdateTest, SwapThatCannotBeDoneLeavesTheOldPlugin)
{
    // What is offered never gets loaded here: any file will do.
    const auto site = StartSiteOffering(SmallOffer());
    ASSERT_TRUE(site);
    // Where the old plug-in would be kept, a folder that nothing can replace.
    ASSERT_TRUE(wxFileName::Mkdir(m_dir + "/Parlo.so.old/in-the-way", 0700, wxPATH_MKDIR_FULL));

    ChildProgramPtr host = StartHost();
    ChildProgramPtr answer = AnswerConsent("Return");
    ASSERT_TRUE(host->WaitForError("calling SiteRun", 60000)) << host->Errors();
    Stop(*host);

    const wxString problems = ProblemLines(host->Errors());
    EXPECT_EQ(1u, Count(problems, "\n")) << host->Errors();
    EXPECT_NE(wxString::npos, problems.find("going on with the old one")) << problems;
    EXPECT_EQ(wxString::npos, host->Errors().find("probe plug-in running"));
    EXPECT_TRUE(InOrder(host->Errors(), { "unloaded", "LumoraSite created", "loaded", "calling SiteRun" }));
    EXPECT_TRUE(m_original == FileContents(m_dir + "/Parlo.so"));
    EXPECT_EQ(0, host->Status()) << host->Errors();
}

TEST_F(HostAppUpdateTest, UnloadWaitsForAStalledDownload)
{
    sitesim::SimulatedSite site;
    ASSERT_TRUE(site.Start(0));
    site.SetFault(THUMBNAIL_PATH, sitesim::Fault::Delay(60000));
    PointAt(site.GetHostPort());
    // The probe build starts a download with an 8-second time-out as it loads.
    ASSERT_TRUE(wxCopyFile(m_probe, m_dir + "/Parlo.so"));

    ChildProgramPtr host = StartHost({ "--no-update" },
                                     { { "PARLO_PROBE_DOWNLOAD", "http://" + wxString(site.GetHostPort()) + THUMBNAIL_PATH },
                                       { "PARLO_PROBE_TIMEOUT", "8" } });
    ASSERT_TRUE(host->WaitForError("calling SiteRun", 60000)) << host->Errors();
    ASSERT_TRUE(site.WaitForRequests(THUMBNAIL_PATH, 1, 10000));
    Stop(*host);

    const wxString& traces = host->Errors();
    EXPECT_EQ(0, host->Status()) << traces;
    EXPECT_TRUE(InOrder(traces, { "LumoraSite::OnExit", "waiting for 1 download(s)",
                                  "probe download finished: no data", "1 download(s) ended after",
                                  "unloaded" }))
        << traces;
    long waited = -1;
    const wxString after = traces.Mid(traces.find("ended after ") + 12).BeforeFirst(' ');
    ASSERT_TRUE(after.ToLong(&waited)) << traces;
    EXPECT_LT(waited, 9000);
}

TEST_F(HostAppUpdateTest, PluginHasNothingThatKeepsItLoaded)
{
    // A "unique" symbol makes the loader keep the library for good once it defines one first.
    for ( const char* name : { "Parlo.so", "ParloProbe.so" } )
    {
        wxArrayString output;
        wxArrayString errors;
        const wxString path = TestSupport::BuildDir() + "/" + name;
        ASSERT_EQ(0, wxExecute("readelf -W --dyn-syms --dynamic " + path, output, errors, wxEXEC_SYNC));
        ASSERT_GT(output.size(), 10u);
        for ( const wxString& line : output )
        {
            EXPECT_EQ(wxString::npos, line.find(" UNIQUE ")) << name << ": " << line;
            EXPECT_EQ(wxString::npos, line.find("NODELETE")) << name << ": " << line;
        }
    }
}

TEST_F(HostAppUpdateTest, PluginThatStaysLoadedEndsCleanlyWithTheNewOneInPlace)
{
    const auto site = StartSiteOffering(SmallOffer());
    ASSERT_TRUE(site);
    ASSERT_TRUE(wxCopyFile(TestSupport::BuildDir() + "/ParloSticky.so", m_dir + "/Parlo.so"));

    ChildProgramPtr host = StartHost();
    ChildProgramPtr answer = AnswerConsent("Return");
    ASSERT_TRUE(host->WaitForEnd(60000)) << host->Errors();

    // No crash and no half-loaded plug-in: one line, a failure code, the new one ready for next time.
    EXPECT_EQ(1, host->Status()) << host->Errors();
    const wxString problems = ProblemLines(host->Errors());
    EXPECT_EQ(1u, Count(problems, "\n")) << host->Errors();
    EXPECT_NE(wxString::npos, problems.find("stays loaded after unloading; the new one runs from the next start"))
        << problems;
    EXPECT_EQ(wxString::npos, host->Errors().find("calling SiteRun"));
    EXPECT_TRUE(FileContents(SmallOffer()) == FileContents(m_dir + "/Parlo.so"));
}
