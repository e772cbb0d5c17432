#include "common/TestSupport.h"
#include "common/UserSupport.h"
#include "shell/Site.h"
#include "sync/DaemonThread.h"
#include "sync/UserEvent.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/thread.h>
#include <wx/stopwatch.h>
#include <wx/utils.h>

#include <atomic>
#include <deque>
#include <functional>
#include <set>
#include <tuple>
#include <vector>

using namespace StatusWord;

namespace
{
// A site whose downloads follow a script: each step is a list (success) or a failure.
class ScriptedSite : public Site
{
public:
    struct Step
    {
        bool ok;
        UserList list;
    };

    explicit ScriptedSite(int interval = 20)
        : m_interval(interval)
    {
    }

    void Add(std::initializer_list<User> users)
    {
        const Step step{ true, MakeList(users) };
        wxMutexLocker lock(m_lock);
        m_steps.push_back(step);
    }
    void AddFailure()
    {
        wxMutexLocker lock(m_lock);
        m_steps.push_back(Step{ false, UserList() });
    }
    int Calls() const { return m_calls; }
    bool ScriptDone() const
    {
        wxMutexLocker lock(m_lock);
        return m_steps.empty();
    }

    // Past the end of the script the last list keeps coming back; with no list, failures.
    int UpdateUserList() override
    {
        ++m_calls;
        Step step{ false, UserList() };
        {
            wxMutexLocker lock(m_lock);
            if ( !m_steps.empty() )
            {
                step = m_steps.front();
                m_steps.pop_front();
                if ( step.ok )
                    m_last = step.list;
                m_hasLast = m_hasLast || step.ok;
            }
            else if ( m_hasLast )
            {
                step = Step{ true, m_last };
            }
        }
        if ( !step.ok )
            return 0;
        SetUserList(step.list);
        return m_interval;
    }
    bool OnInit() override { return true; }
    void OnExit() override {}

private:
    int m_interval;
    mutable wxMutex m_lock;
    std::deque<Step> m_steps;
    UserList m_last;
    bool m_hasLast = false;
    std::atomic<int> m_calls{ 0 };
};

typedef std::tuple<wxEventType, wxString, int, int> Seen;

// Records every event it receives on the main thread.
class Recorder : public wxEvtHandler
{
public:
    std::vector<Seen> seen;
    std::vector<UserList> lists;

    size_t CountOf(wxEventType type) const
    {
        size_t count = 0;
        for ( const Seen& s : seen )
            count += std::get<0>(s) == type;
        return count;
    }

private:
    void OnList(UserListEvent& event)
    {
        seen.emplace_back(event.GetEventType(), wxString(), event.GetUserList().GetCount(), 0);
        lists.push_back(event.GetUserList());
    }
    void OnUser(UserEvent& event)
    {
        seen.emplace_back(event.GetEventType(), event.GetUser().GetName(),
                          event.GetUser().GetStatus(), event.GetOldStatus());
    }

    wxDECLARE_EVENT_TABLE();
};

wxBEGIN_EVENT_TABLE(Recorder, wxEvtHandler)
    EVT_USER_LIST_INITIALIZED(Recorder::OnList)
    EVT_USER_ADDED(Recorder::OnUser)
    EVT_USER_DELETED(Recorder::OnUser)
    EVT_USER_CHANGED(Recorder::OnUser)
wxEND_EVENT_TABLE()

DaemonThread* StartDaemon(Site* site, std::initializer_list<wxEvtHandler*> handlers)
{
    DaemonThread* thread = new DaemonThread(site, wxTHREAD_JOINABLE, 0, 0);
    for ( wxEvtHandler* handler : handlers )
        thread->AddEventHandler(handler);
    EXPECT_EQ(wxTHREAD_NO_ERROR, thread->Run());
    return thread;
}

// Stops the thread, waits for it and hands back its exit code.
long StopDaemon(DaemonThread* thread)
{
    wxThread::ExitCode code = 0;
    thread->Delete(&code);
    delete thread;
    if ( wxTheApp )
        wxTheApp->ProcessPendingEvents();
    return static_cast<long>(reinterpret_cast<wxIntPtr>(code));
}

const Seen Added(const wxString& name, int status) { return Seen(wxEVT_USER_ADDED, name, status, -1); }
const Seen Deleted(const wxString& name, int status) { return Seen(wxEVT_USER_DELETED, name, status, -1); }
const Seen Changed(const wxString& name, int status, int old)
{
    return Seen(wxEVT_USER_CHANGED, name, status, old);
}
}

TEST(DaemonThread, ListFirstThenAddedDeletedChanged)
{
    ScriptedSite site;
    site.AddFailure();
    site.AddFailure();
    site.Add({ User("A", FREE), User("B", BUSY_PUBLIC), User("C", FREE), User("D", BUSY_PRIVATE),
               User("E", ONLINE_ONLY) });
    site.Add({ User("A", FREE), User("C", BUSY_PUBLIC), User("D", BUSY_PRIVATE), User("E", ONLINE_ONLY),
               User("New", FREE) });
    Recorder first;
    Recorder second;
    DaemonThread* thread = StartDaemon(&site, { &first, nullptr, &second });
    ASSERT_TRUE(TestSupport::WaitFor([&] { return second.seen.size() >= 4 && site.Calls() >= 6; }, 20000));
    StopDaemon(thread);

    for ( Recorder* recorder : { &first, &second } )
    {
        ASSERT_EQ(4u, recorder->seen.size()) << "an unchanged poll posts nothing";
        EXPECT_EQ(Seen(wxEVT_USER_LIST_INITIALIZED, "", 5, 0), recorder->seen[0]);
        ASSERT_EQ(1u, recorder->lists.size());
        EXPECT_EQ(BUSY_PUBLIC, recorder->lists[0].FindUser("B")->GetStatus());
        EXPECT_EQ(Added("New", FREE), recorder->seen[1]);
        EXPECT_EQ(Deleted("B", BUSY_PUBLIC), recorder->seen[2]);
        EXPECT_EQ(Changed("C", BUSY_PUBLIC, FREE), recorder->seen[3]);
    }
}

TEST(DaemonThread, KindsComeInOrderWithinAPoll)
{
    ScriptedSite site;
    site.Add({ User("Old1", ONLINE_ONLY), User("Old2", ONLINE_ONLY), User("Ch1", FREE),
               User("Ch2", BUSY_PUBLIC) });
    site.Add({ User("New1", FREE), User("New2", BUSY_PRIVATE), User("Ch1", BUSY_PRIVATE), User("Ch2", FREE) });
    Recorder recorder;
    DaemonThread* thread = StartDaemon(&site, { &recorder });
    ASSERT_TRUE(TestSupport::WaitFor([&] { return recorder.seen.size() >= 7; }));
    StopDaemon(thread);

    ASSERT_EQ(7u, recorder.seen.size());
    std::vector<wxEventType> kinds;
    for ( size_t i = 1; i < recorder.seen.size(); ++i )
        kinds.push_back(std::get<0>(recorder.seen[i]));
    EXPECT_EQ((std::vector<wxEventType>{ wxEVT_USER_ADDED, wxEVT_USER_ADDED, wxEVT_USER_DELETED,
                                         wxEVT_USER_DELETED, wxEVT_USER_CHANGED, wxEVT_USER_CHANGED }),
              kinds);
    const std::set<Seen> changes(recorder.seen.begin() + 5, recorder.seen.end());
    EXPECT_EQ((std::set<Seen>{ Changed("Ch1", BUSY_PRIVATE, FREE), Changed("Ch2", FREE, BUSY_PUBLIC) }), changes);
}

TEST(DaemonThread, FailedPollComparesWithTheLastGoodList)
{
    ScriptedSite site;
    site.Add({ User("A", FREE), User("B", FREE) });
    site.AddFailure();
    site.AddFailure();
    site.Add({ User("A", BUSY_PUBLIC), User("B", FREE) });
    Recorder recorder;
    DaemonThread* thread = StartDaemon(&site, { &recorder });
    ASSERT_TRUE(TestSupport::WaitFor([&] { return site.ScriptDone() && site.Calls() >= 6; }, 20000));
    StopDaemon(thread);

    ASSERT_EQ(2u, recorder.seen.size());
    EXPECT_EQ(Changed("A", BUSY_PUBLIC, FREE), recorder.seen[1]);
}

TEST(DaemonThread, LateHandlerGetsUserEventsButNoList)
{
    ScriptedSite site;
    site.Add({ User("A", FREE) });
    Recorder early;
    Recorder late;
    DaemonThread* thread = StartDaemon(&site, { &early });
    ASSERT_TRUE(TestSupport::WaitFor([&] { return early.seen.size() == 1u && site.Calls() >= 2; }));
    thread->AddEventHandler(&late);
    site.Add({ User("A", FREE), User("B", ONLINE_ONLY) });
    ASSERT_TRUE(TestSupport::WaitFor([&] { return late.seen.size() >= 1u; }));
    StopDaemon(thread);

    EXPECT_EQ(0u, late.CountOf(wxEVT_USER_LIST_INITIALIZED));
    ASSERT_EQ(1u, late.seen.size());
    EXPECT_EQ(Added("B", ONLINE_ONLY), late.seen[0]);
    EXPECT_EQ(2u, early.seen.size());
}

TEST(DaemonThread, NoHandlersStillPolls)
{
    ScriptedSite site;
    site.Add({ User("A", FREE) });
    site.Add({ User("B", FREE) });
    DaemonThread* thread = StartDaemon(&site, {});
    EXPECT_TRUE(TestSupport::WaitFor([&] { return site.Calls() >= 3; }));
    EXPECT_EQ(0L, StopDaemon(thread));
}

TEST(DaemonThread, StopsWhenAskedBeforeAnyList)
{
    ScriptedSite site;
    Recorder recorder;
    wxStopWatch watch;
    DaemonThread* thread = StartDaemon(&site, { &recorder });
    ASSERT_TRUE(TestSupport::WaitFor([&] { return site.Calls() >= 3; }, 20000)) << "failures are retried";
    EXPECT_GE(watch.Time(), 2 * DaemonThread::MIN_SPACING_MS) << "but never within a second of the last attempt";
    EXPECT_EQ(1L, StopDaemon(thread));
    EXPECT_TRUE(recorder.seen.empty());
}

namespace
{
// Holds the posting thread after its third event until a stop has been requested.
class StoppingHandler : public wxEvtHandler
{
public:
    std::atomic<int> queued{ 0 };
    wxSemaphore thirdQueued;

    void QueueEvent(wxEvent* event) override
    {
        delete event;
        if ( ++queued != 3 )
            return;
        thirdQueued.Post();
        wxThread* self = wxThread::This();
        for ( int i = 0; i < 500 && !self->TestDestroy(); ++i )
            wxMilliSleep(10);
    }
};
}

TEST(DaemonThread, StopDuringPostingStopsThePosting)
{
    ScriptedSite site;
    site.Add({ User("A", ONLINE_ONLY) });
    site.Add({ User("A", ONLINE_ONLY), User("B", ONLINE_ONLY), User("C", ONLINE_ONLY), User("D", ONLINE_ONLY),
               User("E", ONLINE_ONLY) });
    StoppingHandler handler;
    DaemonThread* thread = StartDaemon(&site, { &handler });
    ASSERT_EQ(wxSEMA_NO_ERROR, handler.thirdQueued.WaitTimeout(5000));
    StopDaemon(thread);
    EXPECT_EQ(3, handler.queued.load()) << "the list event and two added events, then nothing";
}

TEST(DaemonThread, IntervalIsMeasuredFromStartToStart)
{
    ScriptedSite site(1500);
    site.Add({ User("A", ONLINE_ONLY) });
    DaemonThread* thread = StartDaemon(&site, {});
    ASSERT_TRUE(TestSupport::WaitFor([&] { return site.Calls() >= 1; }));
    wxMilliSleep(3250);
    const int calls = site.Calls();
    StopDaemon(thread);
    EXPECT_GE(calls, 2);
    EXPECT_LE(calls, 4);
}

TEST(DaemonThread, LongIntervalsStillStopWithinASecond)
{
    ScriptedSite site(600000);
    site.Add({ User("A", ONLINE_ONLY) });
    DaemonThread* thread = StartDaemon(&site, {});
    ASSERT_TRUE(TestSupport::WaitFor([&] { return site.Calls() >= 1; }));
    TestSupport::WaitFor([] { return false; }, 100);
    wxStopWatch watch;
    StopDaemon(thread);
    EXPECT_LT(watch.Time(), 1500);
    EXPECT_EQ(1, site.Calls());
}

TEST(SiteThreads, ReplacingTheListWhileAnotherThreadCopiesIt)
{
    ScriptedSite site;
    std::atomic<bool> stop{ false };
    std::atomic<int> bad{ 0 };
    std::atomic<int> copies{ 0 };

    // Every list the writer stores has one status for all its users, so a torn copy shows.
    class Reader : public wxThread
    {
    public:
        Reader(Site& site, std::atomic<bool>& stop, std::atomic<int>& bad, std::atomic<int>& copies)
            : wxThread(wxTHREAD_JOINABLE), m_site(site), m_stop(stop), m_bad(bad), m_copies(copies)
        {
        }

    protected:
        ExitCode Entry() override
        {
            while ( !m_stop )
            {
                const UserList copy = m_site.GetUserList();
                std::set<int> statuses;
                for ( UserList::const_iterator it = copy.begin(); it != copy.end(); ++it )
                    statuses.insert(it->second.GetStatus());
                if ( statuses.size() > 1 || (copy.GetCount() != 0 && copy.GetCount() != 200) )
                    ++m_bad;
                ++m_copies;
            }
            return 0;
        }

    private:
        Site& m_site;
        std::atomic<bool>& m_stop;
        std::atomic<int>& m_bad;
        std::atomic<int>& m_copies;
    };

    Reader reader(site, stop, bad, copies);
    ASSERT_EQ(wxTHREAD_NO_ERROR, reader.Run());
    for ( int round = 0; round < 300; ++round )
    {
        UserList list;
        for ( int i = 0; i < 200; ++i )
            list.AddUser(User(wxString::Format("P%d", i), round % 2 ? FREE : BUSY_PRIVATE));
        site.SetUserList(list);
    }
    stop = true;
    reader.Wait();
    EXPECT_EQ(0, bad.load());
    EXPECT_GT(copies.load(), 0);
}
