// The watch history's costs: recording a poll of 1,000 changes among 10,000 performers, the disk a
// year of 300 churning performers takes, and the Favorite tree's notes for 1,000 favourites read
// from that year. The year is written through the store with a clock of its own, a poll every
// 10 s; HISTORY_YEAR names where to leave it, for the start-up measured by runtime.sh.
#include "BenchSupport.h"
#include "history/HistoryPhrases.h"
#include "history/HistoryReader.h"
#include "history/HistoryStore.h"
#include "model/UserList.h"

#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/init.h>
#include <wx/utils.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;
const std::int64_t START = 1767225600; // 1 January 2026
const int POLL_SECONDS = 10;
const int POLLS_A_DAY = 24 * 3600 / POLL_SECONDS;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::shared_ptr<const UserList> Listed(const std::vector<User>& users)
{
    std::shared_ptr<UserList> list = std::make_shared<UserList>();
    for ( const User& user : users )
        list->AddUser(user);
    return list;
}

// path, with no database there.
wxString Fresh(const wxString& path)
{
    for ( const char* suffix : { "", "-wal", "-shm" } )
    {
        if ( wxFileName::FileExists(path + suffix) )
            wxRemoveFile(path + suffix);
    }
    return path;
}

// Milliseconds of the writer's time for each poll of 1,000 changes (a third come, a third go, a third
// change between free and busy) among 10,000 performers online.
std::vector<double> RecordChanges(const wxString& dir)
{
    HistoryStore store(Fresh(dir + "/changes.sqlite"), START);
    std::vector<User> online;
    for ( int i = 0; i < 10000; ++i )
        online.push_back(User(wxString::Format("Performer_%d", i), i % 2 ? STATUS_ONLINE | STATUS_FREE
                                                                           : STATUS_ONLINE | STATUS_BUSY));
    PollRecord first;
    first.time = START;
    first.intervalSeconds = POLL_SECONDS;
    first.online = Listed(online);
    store.Record({ first });

    std::vector<double> times;
    int next = 10000;
    for ( int round = 1; round <= 30; ++round )
    {
        std::vector<User> added, deleted, changed;
        for ( int i = 0; i < 333; ++i )
        {
            deleted.push_back(online[i]);
            online[i] = User(wxString::Format("Performer_%d", next++), STATUS_ONLINE | STATUS_FREE);
            added.push_back(online[i]);
        }
        for ( int i = 333; i < 667; ++i )
        {
            const bool busy = online[i].GetStatus() & STATUS_BUSY;
            online[i].SetStatus(busy ? STATUS_ONLINE | STATUS_FREE : STATUS_ONLINE | STATUS_BUSY);
            changed.push_back(online[i]);
        }
        std::rotate(online.begin(), online.begin() + 667, online.end());
        PollRecord poll;
        poll.time = START + round * POLL_SECONDS;
        poll.intervalSeconds = POLL_SECONDS;
        poll.online = Listed(online);
        poll.added = Listed(added);
        poll.deleted = Listed(deleted);
        poll.changed = Listed(changed);
        const double start = CpuMicroseconds();
        store.Record({ poll });
        times.push_back((CpuMicroseconds() - start) / 1000);
    }
    return times;
}

// A year of 300 performers, each online once or twice most days for one to five hours, now free,
// now busy; written a day to a transaction, as a writer that fell behind would.
void WriteYear(const wxString& path, int performers)
{
    HistoryStore store(path, START);
    std::mt19937 random(1);
    const std::shared_ptr<const UserList> none = Listed({});
    PollRecord first;
    first.time = START;
    first.intervalSeconds = POLL_SECONDS;
    first.online = none;
    store.Record({ first });

    for ( int day = 0; day < 365; ++day )
    {
        // What happens at which poll of the day: who comes, goes, or changes.
        std::multimap<int, User> comes, goes, changes;
        for ( int p = 0; p < performers; ++p )
        {
            const wxString name = wxString::Format("Performer_%d", p);
            const int sessions = random() % 10 < 2 ? 0 : (random() % 10 < 6 ? 1 : 2);
            int earliest = 0;
            for ( int s = 0; s < sessions; ++s )
            {
                const int length = (1 + random() % 5) * 360;
                const int latest = POLLS_A_DAY / sessions * (s + 1) - length - 1;
                if ( latest <= earliest )
                    break;
                const int begin = earliest + random() % (latest - earliest);
                comes.emplace(begin, User(name, STATUS_ONLINE | STATUS_FREE));
                for ( int at = begin + 180 + random() % 360; at < begin + length; at += 180 + random() % 360 )
                    changes.emplace(at, User(name, (at / 180) % 2 ? STATUS_ONLINE | STATUS_BUSY
                                                              : STATUS_ONLINE | STATUS_FREE));
                goes.emplace(begin + length, User(name, STATUS_OFFLINE));
                earliest = begin + length + 1;
            }
        }
        std::vector<PollRecord> polls;
        polls.reserve(POLLS_A_DAY);
        for ( int p = 0; p < POLLS_A_DAY; ++p )
        {
            PollRecord poll;
            poll.time = START + (static_cast<std::int64_t>(day) * POLLS_A_DAY + p + 1) * POLL_SECONDS;
            poll.intervalSeconds = POLL_SECONDS;
            // Read only at a first poll, which the year has once.
            poll.online = none;
            std::vector<User> added, deleted, changed;
            for ( auto range = comes.equal_range(p); range.first != range.second; ++range.first )
                added.push_back(range.first->second);
            for ( auto range = goes.equal_range(p); range.first != range.second; ++range.first )
                deleted.push_back(range.first->second);
            for ( auto range = changes.equal_range(p); range.first != range.second; ++range.first )
                changed.push_back(range.first->second);
            poll.added = added.empty() ? none : Listed(added);
            poll.deleted = deleted.empty() ? none : Listed(deleted);
            poll.changed = changed.empty() ? none : Listed(changed);
            polls.push_back(poll);
        }
        store.Record(polls);
    }
    store.CloseSessions();
}
}

int main(int argc, char** argv)
{
    wxInitializer initializer(argc, argv);
    if ( !initializer.IsOk() )
        return 1;
    const wxString dir = wxFileName::CreateTempFileName("parlo-history-bench");
    wxRemoveFile(dir);
    wxFileName::Mkdir(dir, 0700);

    std::vector<double> times = RecordChanges(dir);
    std::sort(times.begin(), times.end());
    Report("recording a poll of 1000 changes among 10000, median (CPU)", times[times.size() / 2], "ms", 10);
    Report("recording a poll of 1000 changes among 10000, worst (CPU)", times.back(), "ms", 10);

    wxString year;
    if ( !wxGetEnv("HISTORY_YEAR", &year) || year.empty() )
        year = dir + "/year.sqlite";
    const Clock::time_point writing = Clock::now();
    WriteYear(Fresh(year), 300);
    const double megabytes = wxFileName::GetSize(year).ToDouble() / 1e6;
    Report("a year of history, 300 churning performers, on disk", megabytes, "MB", 25);
    std::printf("   (written in %.1f s)\n", MillisecondsSince(writing) / 1000);

    // The Favorite tree's notes: 300 favourites in the year and 700 never seen.
    std::vector<wxString> favorites;
    for ( int i = 0; i < 1000; ++i )
        favorites.push_back(wxString::Format("Performer_%d", i));
    HistoryReader reader(year);
    std::vector<double> looks;
    for ( int round = 0; round < 20; ++round )
    {
        const Clock::time_point start = Clock::now();
        std::vector<HistoryReader::Seen> seen;
        reader.Look(favorites, seen);
        const std::int64_t now = START + 366LL * 24 * 3600;
        size_t length = 0;
        for ( const HistoryReader::Seen& one : seen )
            length += (one.onlineSince ? HistoryPhrases::OnlineFor(now, one.onlineSince)
                                       : HistoryPhrases::LastSeen(now, one.lastSeen))
                          .length();
        looks.push_back(MillisecondsSince(start));
        if ( length == 0 )
            return 1;
    }
    std::sort(looks.begin(), looks.end());
    Report("the Favorite tree's notes, 1000 favourites, a year, worst", looks.back(), "ms", 20);

    reader.Close();
    wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE);
    return 0;
}
