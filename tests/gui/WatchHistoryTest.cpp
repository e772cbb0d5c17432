// The watch history as the program keeps it, end to end: the real main window polls the simulated
// site, and the file holds who was online when, as the site listed them.
#include "ExpectDialog.h"
#include "common/ScopedEnv.h"
#include "common/TempConfig.h"
#include "common/TestSupport.h"
#include "history/HistoryWriter.h"
#include "history/WatchHistory.h"
#include "shell/Site.h"
#include "sitesim/SimulatedSite.h"
#include "ui/MainFrame.h"

#include <gtest/gtest.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <wx/app.h>
#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>
#include <wx/testing.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace
{
const char LIST_PATH[] = "/include/js/online_performers.js";
const int INTERVAL = 2;

struct Session
{
    std::int64_t first;
    std::int64_t last;
};
typedef std::map<std::string, std::vector<Session>> Sessions;

// One list answer of the site: when, and who was on it.
struct Answer
{
    std::int64_t time;
    std::set<std::string> online;
};

std::int64_t Now()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

// The sessions of the history file at path, by performer, each in the order it began; one going
// on ends with the watching.
Sessions ReadSessions(const wxString& path)
{
    // The program's writer may be in the middle of a poll.
    SQLite::Database db(path.ToStdString(), SQLite::OPEN_READONLY, 5000);
    const std::int64_t watched = db.execAndGet("SELECT max(last_poll) FROM watched").getInt64();
    SQLite::Statement query(db, "SELECT p.name, s.first_poll, s.last_poll FROM sessions s"
                                " JOIN performers p ON p.id = s.performer ORDER BY s.first_poll");
    Sessions sessions;
    while ( query.executeStep() )
    {
        const std::int64_t last = query.getColumn(2).isNull() ? watched : query.getColumn(2).getInt64();
        sessions[query.getColumn(0).getString()].push_back({ query.getColumn(1).getInt64(), last });
    }
    return sessions;
}

// The sessions the answers make, one unbroken watch: each run of answers that held a performer.
void AddSessions(const std::vector<Answer>& answers, Sessions& sessions)
{
    std::map<std::string, Session> open;
    for ( size_t i = 0; i < answers.size(); ++i )
    {
        for ( auto it = open.begin(); it != open.end(); )
        {
            if ( answers[i].online.count(it->first) )
            {
                it->second.last = answers[i].time;
                ++it;
                continue;
            }
            sessions[it->first].push_back(it->second);
            it = open.erase(it);
        }
        for ( const std::string& name : answers[i].online )
        {
            if ( !open.count(name) )
                open[name] = { answers[i].time, answers[i].time };
        }
    }
    for ( const auto& going : open )
        sessions[going.first].push_back(going.second);
}

class WatchHistoryTest : public ConfiguredTest
{
protected:
    void SetUp() override
    {
        ConfiguredTest::SetUp();
        // A history of the test's own.
        m_data.reset(new ScopedEnv("XDG_DATA_HOME", TempDir() + "/share"));
        m_path = TempDir() + "/share/Lumora/history.sqlite";
        sitesim::SimulatedSite::Options options;
        options.performers = 16;
        options.churn = 0.3;
        options.seed = 7;
        m_site.reset(new sitesim::SimulatedSite(options));
        ASSERT_TRUE(m_site->Start(0));
        Config().Write("/Site/mainhost", wxString(m_site->GetHostPort()));
        Config().Write("/System/syncinterval", INTERVAL);
        Config().Write("/SplashScreen/duration", 0);
        Config().Write("/PopupDialog/quiet", true);
    }

    void TearDown() override
    {
        Close();
        m_site.reset();
        m_data.reset();
        ConfiguredTest::TearDown();
    }

    void Open()
    {
        m_frame = new MainFrame;
    }

    // Ends the program as the user does, once the last list it was given is in the history.
    void Close()
    {
        if ( !m_frame )
            return;
        TestSupport::WaitFor([&] { return Listed() == Site::GetInstance()->GetUserList().GetCount(); }, 10000);
        m_frame->GetHistory()->GetWriter().Flush();
        m_frame->Destroy();
        m_frame = nullptr;
        EXPECT_TRUE(TestSupport::WaitIdle([] { return wxTopLevelWindows.empty(); }, 20000));
    }

    size_t Listed() const { return m_site->GetPerformers().size(); }

    // Follows the site for count more list answers, noting who each held as it went out.
    std::vector<Answer> Follow(size_t count)
    {
        std::vector<Answer> answers;
        const size_t before = m_site->CountRequests(LIST_PATH);
        for ( size_t i = 1; i <= count; ++i )
        {
            EXPECT_TRUE(TestSupport::WaitFor([&] { return m_site->CountRequests(LIST_PATH) >= before + i; }, 30000));
            Answer answer{ Now(), {} };
            for ( const sitesim::Performer& performer : m_site->GetPerformers() )
                answer.online.insert(performer.name);
            answers.push_back(answer);
        }
        return answers;
    }

    std::unique_ptr<ScopedEnv> m_data;
    wxString m_path;
    std::unique_ptr<sitesim::SimulatedSite> m_site;
    MainFrame* m_frame = nullptr;
};
}

TEST_F(WatchHistoryTest, SessionsAreWhoTheSiteListedAndGoOnAcrossAShortRestartOnly)
{
    // A first run, and a restart within three intervals: one unbroken watch.
    Open();
    std::vector<Answer> watched = Follow(5);
    Close();
    Open();
    const std::vector<Answer> second = Follow(4);
    watched.insert(watched.end(), second.begin(), second.end());
    Close();
    // A longer gap is not watched: the sessions end before it.
    const std::int64_t closed = Now();
    TestSupport::WaitFor([&] { return Now() > closed + 3 * INTERVAL; }, 10000);
    Open();
    const std::vector<Answer> third = Follow(3);
    Close();

    Sessions expected;
    AddSessions(watched, expected);
    AddSessions(third, expected);
    const Sessions stored = ReadSessions(m_path);
    size_t across = 0;
    for ( const auto& performer : expected )
    {
        const std::string& name = performer.first;
        const auto found = stored.find(name);
        ASSERT_TRUE(found != stored.end()) << name << " has no sessions";
        ASSERT_EQ(performer.second.size(), found->second.size()) << name;
        for ( size_t i = 0; i < performer.second.size(); ++i )
        {
            // Within a poll interval of the answers, a second either way for the clock's grain.
            EXPECT_LE(std::llabs(performer.second[i].first - found->second[i].first), INTERVAL + 1) << name << " #" << i;
            EXPECT_LE(std::llabs(performer.second[i].last - found->second[i].last), INTERVAL + 1) << name << " #" << i;
            if ( performer.second[i].first <= watched[4].time && performer.second[i].last >= watched[5].time )
                ++across;
        }
    }
    EXPECT_EQ(expected.size(), stored.size());
    EXPECT_GT(across, 0u) << "nobody stayed online across the restart to tell";
}

TEST_F(WatchHistoryTest, OffWritesNothingAndForgettingEmptiesTheFile)
{
    const auto count = [this] {
        size_t sessions = 0;
        for ( const auto& performer : ReadSessions(m_path) )
            sessions += performer.second.size();
        return sessions;
    };
    Open();
    Follow(2);
    ASSERT_GT(count(), 0u);

    // Off: the file is let go of, and the polls go on without it.
    wxCommandEvent off(wxEVT_MENU, ID_KEEP_HISTORY);
    off.SetInt(0);
    m_frame->GetEventHandler()->ProcessEvent(off);
    m_frame->GetHistory()->GetWriter().Flush();
    EXPECT_FALSE(wxFileName::FileExists(m_path + "-wal")) << "the file is still open";
    EXPECT_FALSE(Config().ReadBool("/History/keep", true));
    const size_t before = count();
    m_site->SetChurn(1.0);
    Follow(2);
    m_frame->GetHistory()->GetWriter().Flush();
    EXPECT_EQ(before, count());

    // On again, and then forgotten: what was kept goes, and the file shrinks.
    wxCommandEvent on(wxEVT_MENU, ID_KEEP_HISTORY);
    on.SetInt(1);
    m_frame->GetEventHandler()->ProcessEvent(on);
    Follow(2);
    m_frame->GetHistory()->GetWriter().Flush();
    EXPECT_GT(count(), before);
    const std::int64_t forgotten = Now();
    wxCommandEvent forget(wxEVT_MENU, ID_FORGET_HISTORY);
    wxTEST_DIALOG(m_frame->GetEventHandler()->ProcessEvent(forget), wxExpectModal<wxMessageDialog>(wxYES));
    m_frame->GetHistory()->GetWriter().Flush();
    // The polls after it begin anew.
    for ( const auto& performer : ReadSessions(m_path) )
    {
        for ( const Session& session : performer.second )
            EXPECT_GE(session.first, forgotten) << performer.first;
    }
    // An empty history is its tables' first pages, and a poll's few rows.
    EXPECT_LE(wxFileName::GetSize(m_path).GetValue(), 8u * 4096) << "the file did not shrink";
}
