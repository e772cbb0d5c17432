// The watch history's writer thread with a file out of reach: the history pauses, says so once,
// keeps the polls, and takes up again when the file can be written, nothing dropped; at its end
// the sessions going on end at the last poll.
#include "common/TestClock.h"
#include "common/TestSupport.h"
#include "common/UserSupport.h"
#include "history/HistoryStatusEvent.h"
#include "history/HistoryWriter.h"

#include <gtest/gtest.h>

#include <SQLiteCpp/Database.h>

#include <wx/event.h>
#include <wx/ffile.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include <memory>
#include <vector>

using namespace StatusWord;

namespace
{
// What the writer told, in order.
class Receiver : public wxEvtHandler
{
public:
    std::vector<HistoryStatusEvent::State> states;
    std::vector<wxString> reasons;

private:
    void OnStatus(HistoryStatusEvent& event)
    {
        states.push_back(event.GetState());
        reasons.push_back(event.GetReason());
    }

    wxDECLARE_EVENT_TABLE();
};

wxBEGIN_EVENT_TABLE(Receiver, wxEvtHandler)
    EVT_HISTORY_STATUS(Receiver::OnStatus)
wxEND_EVENT_TABLE()

std::shared_ptr<const UserList> List(std::initializer_list<User> users)
{
    return std::make_shared<const UserList>(MakeList(users));
}
}

TEST(HistoryWriterThread, PausesWhileItsFolderCannotBeWrittenAndTakesUpAgainWithNothingDropped)
{
    const wxString dir = TestSupport::MakeTempDir();
    // Where the history's folder should be stands a file: no folder can be made there, whoever
    // the test runs as.
    const wxString blocker = dir + "/share";
    ASSERT_TRUE(wxFFile(blocker, "w").Write("not a folder"));
    const wxString path = blocker + "/Lumora/history.sqlite";
    TestClock clock;
    Receiver receiver;
    HistoryWriter writer(path, clock, &receiver);
    const std::int64_t start = clock.Now();

    // Anna comes, Bea comes, Anna goes: all of it while the history cannot be written.
    writer.Record(List({ User("Anna", FREE) }), nullptr, nullptr, nullptr, 10);
    clock.Set(start + 10);
    writer.Record(List({ User("Anna", FREE), User("Bea", BUSY_PUBLIC) }), List({ User("Bea", BUSY_PUBLIC) }),
                  List({}), List({}), 10);
    clock.Set(start + 20);
    writer.Record(List({ User("Bea", BUSY_PUBLIC) }), List({}), List({ User("Anna", FREE) }), List({}), 10);
    writer.Flush();
    EXPECT_TRUE(TestSupport::WaitFor([&] { return !receiver.states.empty(); }));
    ASSERT_EQ(1u, receiver.states.size()) << "said once";
    EXPECT_EQ(HistoryStatusEvent::PAUSED, receiver.states[0]);
    EXPECT_EQ("its folder cannot be written", receiver.reasons[0]);
    EXPECT_FALSE(wxFileName::FileExists(path));

    // The folder can be made again, but the writer looks only a while later.
    ASSERT_TRUE(wxRemoveFile(blocker));
    clock.Set(start + 25);
    writer.Record(List({ User("Bea", FREE) }), List({}), List({}), List({ User("Bea", FREE) }), 10);
    writer.Flush();
    EXPECT_FALSE(wxFileName::FileExists(path));
    clock.Set(start + 20 + HistoryWriter::RETRY_SECONDS);
    writer.Record(List({ User("Bea", FREE) }), List({}), List({}), List({}), 10);
    writer.Flush();
    EXPECT_TRUE(TestSupport::WaitFor([&] { return receiver.states.size() == 2; }));
    ASSERT_EQ(2u, receiver.states.size());
    EXPECT_EQ(HistoryStatusEvent::WRITTEN, receiver.states[1]);
    writer.Stop();

    // Every poll is there: Anna from the first to the second, Bea from the second on, busy until
    // she was free, her session ended at the last poll as the writer stopped.
    SQLite::Database db(path.ToStdString(), SQLite::OPEN_READONLY);
    EXPECT_EQ(start, db.execAndGet("SELECT first_poll FROM watched").getInt64());
    EXPECT_EQ(start + 20 + HistoryWriter::RETRY_SECONDS, db.execAndGet("SELECT last_poll FROM watched").getInt64());
    EXPECT_EQ(1, db.execAndGet("SELECT count(*) FROM watched").getInt());
    const auto session = [&](const char* name, const char* column) {
        return db.execAndGet(std::string("SELECT s.") + column + " FROM sessions s JOIN performers p"
                             " ON p.id = s.performer WHERE p.name = '" + name + "'").getInt64();
    };
    EXPECT_EQ(start, session("Anna", "first_poll"));
    EXPECT_EQ(start + 10, session("Anna", "last_poll"));
    EXPECT_EQ(start + 10, session("Bea", "first_poll"));
    EXPECT_EQ(start + 20 + HistoryWriter::RETRY_SECONDS, session("Bea", "last_poll"));
    EXPECT_EQ(15, session("Bea", "busy_seconds"));
    EXPECT_EQ(2, db.execAndGet("SELECT count(*) FROM sessions").getInt());
    TestSupport::RemoveDir(dir);
}
