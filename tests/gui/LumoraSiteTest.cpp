#include "ExpectDialog.h"
#include "common/TempConfig.h"
#include "common/TestSupport.h"
#include "common/UserSupport.h"
#include "shell/LumoraSite.h"
#include "sitesim/SimulatedSite.h"
#include "sync/DaemonThread.h"
#include "sync/UserEvent.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/fileconf.h>
#include <wx/frame.h>
#include <wx/stopwatch.h>

#include <fstream>
#include <map>

using namespace StatusWord;

namespace
{
const char LIST_PATH[] = "/include/js/online_performers.js";

// The one site object the plug-in's module mechanism created for this process.
LumoraSite& TheSite()
{
    return *dynamic_cast<LumoraSite*>(Site::GetInstance());
}

// A top window that counts the exit commands it receives.
class ExitCounter : public wxFrame
{
public:
    ExitCounter()
        : wxFrame(nullptr, wxID_ANY, "top")
    {
        wxTheApp->SetTopWindow(this);
    }
    ~ExitCounter() override { wxTheApp->SetTopWindow(nullptr); }
    int exits = 0;

private:
    void OnMenu(wxCommandEvent& event)
    {
        if ( event.GetId() == wxID_EXIT )
            ++exits;
    }

    wxDECLARE_EVENT_TABLE();
};

wxBEGIN_EVENT_TABLE(ExitCounter, wxFrame)
    EVT_MENU(wxID_ANY, ExitCounter::OnMenu)
wxEND_EVENT_TABLE()

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while ( status >> key )
    {
        if ( key == "VmRSS:" )
        {
            long kib = 0;
            status >> kib;
            return kib;
        }
    }
    return 0;
}

// Stops and frees a polling thread however the test ends.
class RunningDaemon
{
public:
    explicit RunningDaemon(wxEvtHandler* handler = nullptr)
        : m_thread(new DaemonThread(&TheSite(), wxTHREAD_JOINABLE, 0, 0))
    {
        if ( handler )
            m_thread->AddEventHandler(handler);
        m_thread->Run();
    }
    ~RunningDaemon() { Stop(); }
    void Stop()
    {
        if ( !m_thread )
            return;
        m_thread->Delete();
        delete m_thread;
        m_thread = nullptr;
    }

private:
    DaemonThread* m_thread;
};

// Expects the error box, and while it is open stops the thread that waits for it, noting how
// long that took.
class StopWhileOpen : public wxExpectModalBase<wxMessageDialog, StopWhileOpen>
{
public:
    StopWhileOpen(DaemonThread& thread, long& stopMs)
        : m_thread(&thread)
        , m_stopMs(&stopMs)
    {
    }

protected:
    int OnInvoked(wxMessageDialog*) const override
    {
        wxStopWatch watch;
        m_thread->Delete();
        *m_stopMs = watch.Time();
        return wxID_OK;
    }

private:
    DaemonThread* m_thread;
    long* m_stopMs;
};

class LumoraSiteTest : public ConfiguredTest
{
protected:
    void SetUp() override
    {
        ConfiguredTest::SetUp();
        ASSERT_TRUE(m_site.Start(0));
        PointAt(m_site.GetHostPort());
        // A success clears the failures earlier tests may have left.
        m_site.SetScript("A.viewers = 1\n");
        ASSERT_NE(0, TheSite().UpdateUserList());
    }
    void TearDown() override
    {
        m_site.Stop();
        ConfiguredTest::TearDown();
    }
    void PointAt(const std::string& host) { Config().Write("/Site/mainhost", wxString(host)); }

    sitesim::SimulatedSite m_site;
};
}

TEST_F(LumoraSiteTest, DownloadsAndParsesTheList)
{
    m_site.SetScript("// list\n"
                     "var free_performers = new PerformerList();\n"
                     "Anna_01.viewers = 12;\n"
                     "free_performers.add(Anna_01);\n"
                     "Bea.viewers = 3;\n"
                     "busy_performers.add(Bea);\n"
                     "private_performers.add(Bea);\n"
                     "Cleo.viewers = 0;\n"
                     "if (x) y();\n");
    EXPECT_EQ(10000, TheSite().UpdateUserList()) << "no interval configured: 10 s";
    const UserList list = TheSite().GetUserList();
    EXPECT_EQ(3u, list.GetCount());
    EXPECT_EQ(FREE, list.FindUser("Anna_01")->GetStatus());
    EXPECT_EQ(BUSY_PRIVATE, list.FindUser("Bea")->GetStatus());
    EXPECT_EQ(OFFLINE, list.FindUser("Cleo")->GetStatus());

    // Nothing configured can make a good list look like a failure, hammer the site or overflow.
    const std::pair<const char*, int> intervals[] = { { "0", 10000 }, { "-5", 10000 }, { "soon", 10000 },
                                                      { "3000000", 86400000 },
                                                      { "99999999999999999999999", 86400000 } };
    for ( const auto& interval : intervals )
    {
        Config().Write("/System/syncinterval", wxString(interval.first));
        EXPECT_EQ(interval.second, TheSite().UpdateUserList()) << interval.first;
    }

    Config().Write("/System/syncinterval", 30);
    m_site.SetScript("");
    EXPECT_EQ(30000, TheSite().UpdateUserList());
    const UserList full = TheSite().GetUserList();
    EXPECT_EQ(m_site.GetPerformers().size(), full.GetCount());
    for ( const sitesim::Performer& performer : m_site.GetPerformers() )
    {
        const User* user = full.FindUser(performer.name);
        ASSERT_NE(nullptr, user) << performer.name;
        EXPECT_EQ(performer.status, user->GetStatus()) << performer.name;
    }
}

TEST_F(LumoraSiteTest, ListCasesThroughTheSite)
{
    struct Case
    {
        const char* script;
        std::map<wxString, int> expected;
    };
    const Case cases[] = {
        { "A.viewers = 1\nfree_performers.add(A)\nB.viewers = 2\nprivate_performers.add(B)\nvar x;\n",
          { { "A", FREE }, { "B", BUSY_PRIVATE } } },
        { "A.viewers = 1\nbusy_performers.add(A)\nprivate_performers.add(A)\n"
          "B.viewers = 1\nprivate_performers.add(B)\nbusy_performers.add(B)\n"
          "C.viewers = 1\nbusy_performers.add(C)\n"
          "D.viewers = 1\npublic_performers.add(D)\nfree_performers.add(D)\n",
          { { "A", BUSY_PRIVATE }, { "B", BUSY_PRIVATE }, { "C", BUSY_PUBLIC }, { "D", FREE } } },
        { "A.viewers = 1\nfree_performers.add(A)\nA.viewers = 2\nbusy_performers.add(A)\n",
          { { "A", BUSY_PUBLIC } } },
        { "busy_performers.add(X)\nA.viewers = 1\nB.viewers = 2\nonline_performers.add(B)\n",
          { { "A", BUSY_PUBLIC }, { "B", ONLINE_ONLY } } },
        { "A.viewers = 1\nfunction f() {}\naway_performers.add(A)\nB.viewers = 1\n",
          { { "A", OFFLINE }, { "B", OFFLINE } } },
        { "A.viewers = 1\nfree_performers.add(A)", { { "A", OFFLINE } } },
    };
    for ( const Case& c : cases )
    {
        m_site.SetScript(c.script);
        EXPECT_EQ(10000, TheSite().UpdateUserList()) << c.script;
        std::map<wxString, int> got;
        const UserList list = TheSite().GetUserList();
        for ( UserList::const_iterator it = list.begin(); it != list.end(); ++it )
            got[it->first] = it->second.GetStatus();
        EXPECT_EQ(c.expected, got) << c.script;
    }
}

TEST_F(LumoraSiteTest, TenFailuresInARowShowTheErrorAndAskToExit)
{
    ExitCounter top;
    // Failures show nothing but where a box is expected below.
    NoDialogExpected otherwise;
    m_site.SetScript("A.viewers = 1\n");

    // Refused connections and a server slower than the time-out all count; nine failures show
    // nothing.
    PointAt("127.0.0.1:" + std::to_string(sitesim::SimulatedSite::UnusedPort()));
    for ( int i = 0; i < 8; ++i )
        EXPECT_EQ(0, TheSite().UpdateUserList());
    PointAt(m_site.GetHostPort());
    m_site.SetFault(LIST_PATH, sitesim::Fault::Delay(4500), 1);
    wxStopWatch watch;
    EXPECT_EQ(0, TheSite().UpdateUserList());
    EXPECT_LT(watch.Time(), 4200) << "the time-out is 3 s";

    SeenBox box;
    m_site.SetFault(LIST_PATH, sitesim::Fault::HttpError(503), 1);
    wxTEST_DIALOG(EXPECT_EQ(0, TheSite().UpdateUserList()), AnswerBox(wxID_OK, box));
    ASSERT_EQ(1, box.shown);
    EXPECT_EQ("Could not get response from server\nPlease execute it after a while.", box.message);
    EXPECT_EQ("Error", box.caption);
    EXPECT_EQ(wxOK | wxICON_ERROR | wxCENTRE, box.style & (wxOK | wxICON_ERROR | wxCENTRE));
    EXPECT_TRUE(TestSupport::WaitFor([&] { return top.exits == 1; }));

    // Every further failure shows it again, until a success resets the count. (A kept connection
    // that closes without an answer is tried once more on a new one: that must close too.)
    m_site.SetFault(LIST_PATH, sitesim::Fault::Of(sitesim::Fault::CLOSE));
    wxTEST_DIALOG(EXPECT_EQ(0, TheSite().UpdateUserList()), AnswerBox(wxID_OK, box));
    EXPECT_EQ(2, box.shown);
    m_site.ClearFaults();
    EXPECT_NE(0, TheSite().UpdateUserList());
    m_site.SetFault(LIST_PATH, sitesim::Fault::HttpError(500), 9);
    for ( int i = 0; i < 9; ++i )
        EXPECT_EQ(0, TheSite().UpdateUserList());
    EXPECT_TRUE(TestSupport::WaitFor([&] { return top.exits == 2; }));
    EXPECT_NE(0, TheSite().UpdateUserList());
}

TEST_F(LumoraSiteTest, DaemonThreadShowsTheErrorOnTheMainThread)
{
    ExitCounter top;
    PointAt("127.0.0.1:" + std::to_string(sitesim::SimulatedSite::UnusedPort()));
    // Nine failures on the main thread, which never spaces them, show nothing: the thread's
    // first is the tenth.
    {
        NoDialogExpected nineShowNothing;
        for ( int i = 0; i < 9; ++i )
            ASSERT_EQ(0, TheSite().UpdateUserList());
    }
    // The box comes while the test waits, from the thread's work.
    SeenBox box;
    wxTEST_DIALOG(
        {
            RunningDaemon thread;
            ASSERT_TRUE(TestSupport::WaitFor([&] { return top.exits >= 1; }, 30000));
            thread.Stop();
        },
        AnswerBox(wxID_OK, box));
    ASSERT_GE(box.shown, 1);
    EXPECT_EQ("Error", box.caption);
    PointAt(m_site.GetHostPort());
}

TEST_F(LumoraSiteTest, StoppingWhileTheErrorWaitsDoesNotDeadlock)
{
    ExitCounter top;
    PointAt("127.0.0.1:" + std::to_string(sitesim::SimulatedSite::UnusedPort()));

    // The box is queued for the main thread, which has not got to it yet. Nine quick
    // failures (on the main thread, which never spaces them), then a tenth on the polling thread
    // that takes the whole time-out, so that the test knows when to stop serving the main
    // thread's queue.
    PointAt(m_site.GetHostPort());
    m_site.ClearRequests();
    m_site.SetFault(LIST_PATH, sitesim::Fault::HttpError(503), 9);
    for ( int i = 0; i < 9; ++i )
        ASSERT_EQ(0, TheSite().UpdateUserList());
    {
        // Nobody waits for that box any more: it must not come.
        NoDialogExpected abandoned;
        m_site.SetFault(LIST_PATH, sitesim::Fault::Delay(10000));
        RunningDaemon thread;
        ASSERT_TRUE(TestSupport::WaitFor([&] { return m_site.CountRequests(LIST_PATH) >= 10; }));
        wxStopWatch watch;
        while ( !wxTheApp->HasPendingEvents() && watch.Time() < 6000 )
            wxMilliSleep(5);
        ASSERT_TRUE(wxTheApp->HasPendingEvents());
        watch.Start();
        thread.Stop();
        EXPECT_LT(watch.Time(), 1000);
        wxTheApp->ProcessPendingEvents();
        m_site.ClearFaults();
    }
    // The box is open when the owner stops the thread.
    ASSERT_NE(0, TheSite().UpdateUserList()) << "a success starts the count afresh";
    PointAt("127.0.0.1:" + std::to_string(sitesim::SimulatedSite::UnusedPort()));
    for ( int i = 0; i < 9; ++i )
        ASSERT_EQ(0, TheSite().UpdateUserList());
    {
        DaemonThread* thread = new DaemonThread(&TheSite(), wxTHREAD_JOINABLE, 0, 0);
        long stopMs = -1;
        wxTEST_DIALOG(
            {
                thread->Run();
                ASSERT_TRUE(TestSupport::WaitFor([&] { return stopMs >= 0; }));
            },
            StopWhileOpen(*thread, stopMs));
        EXPECT_LT(stopMs, 1000);
        delete thread;
        wxTheApp->ProcessPendingEvents();
        EXPECT_EQ(0, top.exits) << "a stopped thread's owner is going away: no exit command";
    }
    PointAt(m_site.GetHostPort());
}

TEST_F(LumoraSiteTest, EndlessAnswersNeitherHangNorGrow)
{
    // An endless line: the body limit ends the read and nothing of it is kept.
    m_site.SetFault(LIST_PATH, sitesim::Fault::Of(sitesim::Fault::ENDLESS_LINE), 1);
    const long before = ResidentKiB();
    wxStopWatch watch;
    EXPECT_NE(0, TheSite().UpdateUserList());
#ifndef __SANITIZE_ADDRESS__
    // (AddressSanitizer keeps freed memory in quarantine, so only a plain build can tell.)
    EXPECT_LT(ResidentKiB() - before, 16 * 1024) << "memory must stay bounded";
#else
    (void)before;
#endif
    EXPECT_TRUE(TheSite().GetUserList().IsEmpty());

    // An endless body: quitting ends the thread within a second.
    m_site.SetFault(LIST_PATH, sitesim::Fault::Of(sitesim::Fault::ENDLESS_BODY));
    RunningDaemon thread;
    ASSERT_TRUE(TestSupport::WaitFor([&] { return m_site.CountRequests(LIST_PATH) >= 1; }));
    TestSupport::WaitFor([] { return false; }, 300);
    watch.Start();
    thread.Stop();
    EXPECT_LT(watch.Time(), 1000);
    m_site.ClearFaults();
}

namespace
{
// Keeps a list in step with the events it receives, as a window would.
class Mirror : public wxEvtHandler
{
public:
    UserList list;
    int lists = 0;
    int events = 0;

private:
    void OnList(UserListEvent& event)
    {
        ++lists;
        list = event.GetUserList();
    }
    void OnAdded(UserEvent& event)
    {
        ++events;
        EXPECT_EQ(nullptr, list.FindUser(event.GetUser().GetName()));
        list.AddUser(event.GetUser());
    }
    void OnDeleted(UserEvent& event)
    {
        ++events;
        EXPECT_NE(nullptr, list.FindUser(event.GetUser().GetName()));
        list.RemoveUser(event.GetUser().GetName());
    }
    void OnChanged(UserEvent& event)
    {
        ++events;
        const User* old = list.FindUser(event.GetUser().GetName());
        ASSERT_NE(nullptr, old);
        EXPECT_EQ(old->GetStatus(), event.GetOldStatus());
        EXPECT_NE(old->GetStatus(), event.GetUser().GetStatus());
        list.AddUser(event.GetUser());
    }

    wxDECLARE_EVENT_TABLE();
};

wxBEGIN_EVENT_TABLE(Mirror, wxEvtHandler)
    EVT_USER_LIST_INITIALIZED(Mirror::OnList)
    EVT_USER_ADDED(Mirror::OnAdded)
    EVT_USER_DELETED(Mirror::OnDeleted)
    EVT_USER_CHANGED(Mirror::OnChanged)
wxEND_EVENT_TABLE()
}

TEST_F(LumoraSiteTest, DaemonThreadFollowsAChurningSite)
{
    // Few performers, so that the pause per performer keeps each poll short.
    std::vector<sitesim::Performer> performers;
    const int statuses[] = { ONLINE_ONLY, FREE, BUSY_PUBLIC, BUSY_PRIVATE };
    for ( int i = 0; i < 30; ++i )
        performers.push_back(sitesim::Performer{ "Performer_" + std::to_string(i), statuses[i % 4] });
    m_site.SetPerformers(performers);
    m_site.SetScript("");
    m_site.SetChurn(0.2);
    Config().Write("/System/syncinterval", 1);
    Mirror mirror;
    RunningDaemon thread(&mirror);
    ASSERT_TRUE(TestSupport::WaitFor([&] { return mirror.lists == 1; }, 10000));
    const size_t first = m_site.CountRequests(LIST_PATH);
    ASSERT_TRUE(TestSupport::WaitFor([&] { return m_site.CountRequests(LIST_PATH) >= first + 3; }, 20000));

    // Once the site holds still, the events must have carried the window's copy to the
    // site's own list.
    m_site.SetChurn(0);
    const size_t still = m_site.CountRequests(LIST_PATH);
    ASSERT_TRUE(TestSupport::WaitFor([&] { return m_site.CountRequests(LIST_PATH) >= still + 2; }, 20000));
    auto asMap = [](const UserList& list) {
        std::map<wxString, int> map;
        for ( UserList::const_iterator it = list.begin(); it != list.end(); ++it )
            map[it->first] = it->second.GetStatus();
        return map;
    };
    EXPECT_TRUE(TestSupport::WaitFor([&] { return asMap(mirror.list) == asMap(TheSite().GetUserList()); }));
    thread.Stop();
    EXPECT_EQ(1, mirror.lists);
    EXPECT_GT(mirror.events, 0);
}

TEST_F(LumoraSiteTest, ALongListComesWholeAtTheReadersPace)
{
    // Ten thousand performers at 10 ms each: the reading takes more than a hundred seconds,
    // with the site's answer waiting on a full connection for seconds at a time.
    NoDialogExpected none;
    sitesim::SimulatedSite::Options options;
    options.performers = 10000;
    options.churn = 0;
    sitesim::SimulatedSite large(options);
    ASSERT_TRUE(large.Start(0));
    PointAt(large.GetHostPort());
    EXPECT_EQ(10000, TheSite().UpdateUserList());
    EXPECT_EQ(10000u, TheSite().GetUserList().GetCount());
    large.Stop();
    PointAt(m_site.GetHostPort());
}
