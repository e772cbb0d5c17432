// When a performer is usually online, from a history written poll by poll by the real writer with
// a clock of the test's own, and read back as the history window reads it. Eight weeks of a
// performer online on Tuesday and Thursday evenings, one week of which nobody watched: that week
// counts for nothing, neither as offline nor as online.
#include "common/TestClock.h"
#include "common/TestSupport.h"
#include "common/UserSupport.h"
#include "history/HistoryWriter.h"
#include "history/PatternPhrases.h"
#include "history/PerformerHistory.h"
#include "history/WeekPattern.h"

#include <gtest/gtest.h>

#include <wx/filename.h>

#include <ctime>
#include <memory>
#include <string>

using namespace StatusWord;

namespace
{
const std::int64_t POLL = 600;
const int WEEKS = 8;

// Midnight starting Monday 5 January 2026 on the wall clock: eight weeks with no change of
// summer time in most places.
std::int64_t FirstMonday()
{
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 0;
    local.tm_mday = 5;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

// Online at t: Tuesdays and Thursdays from 20:00 to 23:00, local time.
bool Online(std::int64_t t)
{
    const time_t at = static_cast<time_t>(t);
    std::tm local;
    localtime_r(&at, &local);
    const int minute = local.tm_hour * 60 + local.tm_min;
    return (local.tm_wday == 2 || local.tm_wday == 4) && minute >= 20 * 60 && minute <= 23 * 60;
}

std::string Text(const wxString& text)
{
    return std::string(text.utf8_str());
}

std::shared_ptr<const UserList> List(bool online)
{
    return std::make_shared<const UserList>(online ? MakeList({ User("Sakura_19", FREE) }) : MakeList({}));
}

// Eight weeks of polls every ten minutes into a new history, but none in week skipped (-1 for
// none): the program was not running then. The history's file.
wxString Watch(int skipped, std::int64_t& now)
{
    const wxString path = TestSupport::MakeTempDir() + "/history.sqlite";
    const std::int64_t start = FirstMonday();
    now = start + WEEKS * 7 * 24 * 3600;
    TestClock clock;
    std::unique_ptr<HistoryWriter> writer;
    bool was = false;
    for ( std::int64_t t = start; t < now; t += POLL )
    {
        const bool skip = (t - start) / (7 * 24 * 3600) == skipped;
        if ( skip && writer )
        {
            writer->Stop();
            writer.reset();
        }
        if ( skip )
            continue;
        clock.Set(t);
        const bool is = Online(t);
        if ( !writer )
        {
            // A start: the first list, with no differences.
            writer.reset(new HistoryWriter(path, clock, nullptr));
            writer->Record(List(is), nullptr, nullptr, nullptr, POLL);
        }
        else
            writer->Record(List(is), List(is && !was), List(was && !is), List(false), POLL);
        was = is;
        // The writer reads the clock as the poll is handed over.
        writer->Flush();
    }
    writer->Stop();
    return path;
}
}

TEST(UsualHours, AWeekNotWatchedChangesNeitherTheSharesNorTheSentence)
{
    std::int64_t now = 0;
    const wxString skipped = Watch(3, now);
    const wxString watched = Watch(-1, now);
    const PerformerHistory skipping(skipped, "Sakura_19", WEEKS, now);
    const PerformerHistory watching(watched, "Sakura_19", WEEKS, now);
    for ( const wxString& path : { skipped, watched } )
        TestSupport::RemoveDir(wxFileName(path).GetPath());
    ASSERT_TRUE(skipping.IsRead());
    const WeekPattern& pattern = skipping.GetPattern();

    EXPECT_EQ("usually online Tue and Thu, 20:00\u201323:00", Text(PatternPhrases::Usually(pattern)));
    EXPECT_EQ(Text(PatternPhrases::Usually(watching.GetPattern())), Text(PatternPhrases::Usually(pattern)));
    for ( int day = 0; day < WeekPattern::DAYS; ++day )
    {
        for ( int hour = 0; hour < WeekPattern::HOURS; ++hour )
        {
            const WeekPattern::Cell& cell = pattern.GetCell(day, hour);
            EXPECT_TRUE(cell.IsWatched()) << day << " " << hour;
            EXPECT_DOUBLE_EQ(watching.GetPattern().GetCell(day, hour).Share(), cell.Share()) << day << " " << hour;
        }
    }
    // Online every Tuesday evening watched: the week not watched is no week offline.
    EXPECT_DOUBLE_EQ(1.0, pattern.GetCell(1, 21).Share());
    EXPECT_EQ("Tuesdays 21:00\u201322:00: online 7 of 7 watched weeks", Text(PatternPhrases::Cell(pattern, 1, 21)));
    EXPECT_EQ("Tuesdays 21:00\u201322:00: online 8 of 8 watched weeks",
              Text(PatternPhrases::Cell(watching.GetPattern(), 1, 21)));
    EXPECT_DOUBLE_EQ(0.0, pattern.GetCell(1, 23).Share());
    EXPECT_DOUBLE_EQ(0.0, pattern.GetCell(2, 21).Share());

    // Two evenings a week, three hours each, in the seven weeks watched.
    EXPECT_EQ(14u, skipping.GetSessionCount());
    EXPECT_EQ(3 * 3600, skipping.GetMedianLength());
    EXPECT_EQ("a typical session lasts 3 h 0 min; 14 sessions in the last 8 weeks",
              Text(PatternPhrases::Typical(skipping.GetSessionCount(), skipping.GetMedianLength(), WEEKS)));
    ASSERT_FALSE(skipping.GetRecent().empty());
    EXPECT_EQ(0, skipping.GetOnlineSince());
    EXPECT_EQ(skipping.GetRecent().front().last, skipping.GetLastSeen());
}
