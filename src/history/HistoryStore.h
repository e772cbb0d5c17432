#pragma once

#include "history/PollRecord.h"

#include <wx/string.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace SQLite
{
class Database;
class Statement;
}

// The watch history's file, in SQLite: the performers, each one's online sessions (the first and
// the last poll that saw them online, and how long of it they were busy) and the spans of time
// that were watched. Time not watched is unknown: a session and the watched time go on across a
// gap of at most GAP_INTERVALS poll intervals (a restart, a few failed polls); a longer gap ends
// both at the last poll before it. Several programs may write one file: each call that writes is
// one transaction, which waits a while for another's to end.
//
// Used by one thread at a time. A call that cannot use the file throws; IsDamage tells a file
// that is broken for good from one out of reach for now (a full disk, a folder that cannot be
// written, a lock).
class HistoryStore
{
public:
    static constexpr int SCHEMA_VERSION = 1;
    // Ours, in the file's header, so that another program's database is never taken for one.
    static constexpr int APPLICATION_ID = 0x50547768;
    static constexpr int GAP_INTERVALS = 3;
    // How long a call waits for another program's write to the file to end.
    static constexpr int BUSY_TIMEOUT_MS = 2000;

    // A file that is a database, but not a history of ours.
    class NotAHistory : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
    };

    // Opens the history at path, and makes it when there is none. A file there that is not a
    // history (damaged, or another program's) is moved aside first (now names the moment);
    // GetMovedAside says where.
    HistoryStore(const wxString& path, std::int64_t now);
    ~HistoryStore();

    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // The polls, oldest first, in one transaction.
    void Record(const std::vector<PollRecord>& polls);
    // The sessions still going on end at the last poll watched, as the program stops watching.
    void CloseSessions();
    // Every row goes, and the file shrinks to nearly nothing.
    void Forget();

    // Where a file that was not a history went as this one opened; empty when none did.
    const wxString& GetMovedAside() const { return m_movedAside; }

    // Whether failure says that the file is broken for good: damaged, or not a history.
    static bool IsDamage(const std::exception& failure);

private:
    class Statements;

    void Open();
    void CreateSchema();
    void RecordPoll(const PollRecord& poll);
    // The first poll of a run that goes on from the last span: takes over the sessions that went
    // on (or ended at the last poll, as a program ends them) and ends those nobody sees now.
    void TakeOver(const UserList& online, std::int64_t last, std::int64_t now);
    std::int64_t PerformerId(const std::string& name);
    void StartSession(const std::string& name, std::int64_t now, bool busy);
    void EndSession(const std::string& name, std::int64_t last);
    void SetBusy(const std::string& name, std::int64_t now, bool busy);

    wxString m_path;
    wxString m_movedAside;
    std::unique_ptr<SQLite::Database> m_db;
    std::unique_ptr<Statements> m_statements;
};
