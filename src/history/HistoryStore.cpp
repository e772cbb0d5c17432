#include "history/HistoryStore.h"

#include "history/HistoryFile.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <wx/intl.h>
#include <wx/log.h>

#include <sqlite3.h>

#include <algorithm>
#include <unordered_map>

namespace
{
const char SCHEMA[] = R"(
CREATE TABLE performers(
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE);
CREATE TABLE sessions(
    id INTEGER PRIMARY KEY,
    performer INTEGER NOT NULL REFERENCES performers(id),
    first_poll INTEGER NOT NULL,
    last_poll INTEGER,
    busy_seconds INTEGER NOT NULL DEFAULT 0,
    busy_since INTEGER);
CREATE INDEX sessions_of_performer ON sessions(performer, first_poll);
CREATE INDEX sessions_going_on ON sessions(performer) WHERE last_poll IS NULL;
CREATE TABLE watched(
    id INTEGER PRIMARY KEY,
    first_poll INTEGER NOT NULL,
    last_poll INTEGER NOT NULL,
    interval_seconds INTEGER NOT NULL);
)";

// A session ends: at last, with the busy time it was owed.
const char END_SESSIONS[] = "UPDATE sessions SET last_poll = ?2, busy_seconds = busy_seconds"
                            " + CASE WHEN busy_since IS NULL THEN 0 ELSE max(0, ?2 - busy_since) END,"
                            " busy_since = NULL WHERE last_poll IS NULL";
const char OF_PERFORMER[] = " AND performer = (SELECT id FROM performers WHERE name = ?1)";

std::string Utf8(const wxString& text)
{
    return std::string(text.utf8_str().data());
}

bool IsBusy(int status)
{
    return (status & STATUS_BUSY) != 0;
}
}

// The statements every poll uses, made once.
class HistoryStore::Statements
{
public:
    explicit Statements(SQLite::Database& db)
        : lastSpan(db, "SELECT id, last_poll, interval_seconds FROM watched ORDER BY id DESC LIMIT 1")
        , startSpan(db, "INSERT INTO watched(first_poll, last_poll, interval_seconds) VALUES(?1, ?1, ?2)")
        , extendSpan(db, "UPDATE watched SET last_poll = max(last_poll, ?2), interval_seconds = ?3 WHERE id = ?1")
        , performer(db, "SELECT id FROM performers WHERE name = ?1")
        , addPerformer(db, "INSERT INTO performers(name) VALUES(?1)")
        , startSession(db, "INSERT INTO sessions(performer, first_poll, busy_since) SELECT ?1, ?2, ?3"
                           " WHERE NOT EXISTS (SELECT 1 FROM sessions WHERE performer = ?1 AND last_poll IS NULL)")
        , endSession(db, std::string(END_SESSIONS) + OF_PERFORMER)
        , endSessions(db, END_SESSIONS)
        , becameBusy(db, std::string("UPDATE sessions SET busy_since = ?2 WHERE last_poll IS NULL AND busy_since IS NULL")
                             + OF_PERFORMER)
        , becameFree(db, std::string("UPDATE sessions SET busy_seconds = busy_seconds + max(0, ?2 - busy_since),"
                                     " busy_since = NULL WHERE last_poll IS NULL AND busy_since IS NOT NULL")
                             + OF_PERFORMER)
        , resume(db, "UPDATE sessions SET last_poll = NULL, busy_since = ?2 WHERE id = ?1")
        , carriedOver(db, "SELECT s.id, p.name, s.last_poll IS NULL FROM sessions s"
                          " JOIN performers p ON p.id = s.performer WHERE s.last_poll IS NULL OR s.last_poll = ?1")
    {
    }

    SQLite::Statement lastSpan;
    SQLite::Statement startSpan;
    SQLite::Statement extendSpan;
    SQLite::Statement performer;
    SQLite::Statement addPerformer;
    SQLite::Statement startSession;
    SQLite::Statement endSession;
    SQLite::Statement endSessions;
    SQLite::Statement becameBusy;
    SQLite::Statement becameFree;
    SQLite::Statement resume;
    SQLite::Statement carriedOver;
};

HistoryStore::HistoryStore(const wxString& path, std::int64_t now)
    : m_path(path)
{
    if ( !HistoryFile::Prepare(path) )
        throw std::runtime_error(Utf8(_("its folder cannot be written")));
    try
    {
        Open();
    }
    catch ( const std::exception& failure )
    {
        if ( !IsDamage(failure) )
            throw;
        m_statements.reset();
        m_db.reset();
        m_movedAside = HistoryFile::MoveAside(path, now);
        if ( m_movedAside.empty() )
            throw;
        wxLogTrace("lumora", "history: %s is no history (%s), moved aside as %s", path, failure.what(), m_movedAside);
        if ( !HistoryFile::Prepare(path) )
            throw std::runtime_error(Utf8(_("its folder cannot be written")));
        Open();
    }
}

HistoryStore::~HistoryStore() = default;

bool HistoryStore::IsDamage(const std::exception& failure)
{
    if ( dynamic_cast<const NotAHistory*>(&failure) )
        return true;
    const SQLite::Exception* sqlite = dynamic_cast<const SQLite::Exception*>(&failure);
    if ( !sqlite )
        return false;
    const int code = sqlite->getErrorCode() & 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

void HistoryStore::Open()
{
    m_db.reset(new SQLite::Database(Utf8(m_path), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE, BUSY_TIMEOUT_MS));
    const int application = m_db->execAndGet("PRAGMA application_id").getInt();
    const int version = m_db->execAndGet("PRAGMA user_version").getInt();
    const int objects = m_db->execAndGet("SELECT count(*) FROM sqlite_master").getInt();
    if ( application == 0 && objects == 0 )
        CreateSchema();
    else if ( application != APPLICATION_ID )
        throw NotAHistory("another program's database");
    else if ( version != SCHEMA_VERSION )
        // A later version's: not ours to change, nor to throw away.
        throw std::runtime_error(Utf8(_("a later version of the program made it")));
    // Committed at once, and safe from the program's end at any moment; only the machine's end
    // may take the last commits, never the file.
    m_db->exec("PRAGMA journal_mode = WAL");
    m_db->exec("PRAGMA synchronous = NORMAL");
    // Little memory: a poll touches a few pages.
    m_db->exec("PRAGMA cache_size = -512");
    m_statements.reset(new Statements(*m_db));
}

void HistoryStore::CreateSchema()
{
    SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
    m_db->exec(SCHEMA);
    m_db->exec("PRAGMA application_id = " + std::to_string(APPLICATION_ID));
    m_db->exec("PRAGMA user_version = " + std::to_string(SCHEMA_VERSION));
    transaction.commit();
}

void HistoryStore::Record(const std::vector<PollRecord>& polls)
{
    SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
    for ( const PollRecord& poll : polls )
        RecordPoll(poll);
    transaction.commit();
}

void HistoryStore::RecordPoll(const PollRecord& poll)
{
    Statements& s = *m_statements;
    const std::int64_t now = poll.time;
    std::int64_t span = 0;
    std::int64_t last = 0;
    bool goesOn = false;
    s.lastSpan.reset();
    if ( s.lastSpan.executeStep() )
    {
        span = s.lastSpan.getColumn(0).getInt64();
        last = s.lastSpan.getColumn(1).getInt64();
        const std::int64_t interval = std::max(s.lastSpan.getColumn(2).getInt64(), std::int64_t(poll.intervalSeconds));
        goesOn = now >= last && now - last <= GAP_INTERVALS * interval;
    }
    s.lastSpan.reset();

    if ( !goesOn )
    {
        // What was not watched is unknown: the sessions end where the watching did.
        if ( span )
        {
            s.endSessions.reset();
            s.endSessions.bind(2, last);
            s.endSessions.exec();
        }
        s.startSpan.reset();
        s.startSpan.bind(1, now);
        s.startSpan.bind(2, poll.intervalSeconds);
        s.startSpan.exec();
        for ( UserList::const_iterator it = poll.online->begin(); it != poll.online->end(); ++it )
            StartSession(Utf8(it->first), now, IsBusy(it->second.GetStatus()));
        return;
    }

    s.extendSpan.reset();
    s.extendSpan.bind(1, span);
    s.extendSpan.bind(2, now);
    s.extendSpan.bind(3, poll.intervalSeconds);
    s.extendSpan.exec();
    if ( poll.IsFirst() )
    {
        TakeOver(*poll.online, last, now);
        return;
    }
    for ( UserList::const_iterator it = poll.added->begin(); it != poll.added->end(); ++it )
        StartSession(Utf8(it->first), now, IsBusy(it->second.GetStatus()));
    // Gone since the last poll, which was the last to see them.
    for ( UserList::const_iterator it = poll.deleted->begin(); it != poll.deleted->end(); ++it )
        EndSession(Utf8(it->first), last);
    for ( UserList::const_iterator it = poll.changed->begin(); it != poll.changed->end(); ++it )
        SetBusy(Utf8(it->first), now, IsBusy(it->second.GetStatus()));
}

void HistoryStore::TakeOver(const UserList& online, std::int64_t last, std::int64_t now)
{
    Statements& s = *m_statements;
    struct CarriedOver
    {
        std::int64_t id;
        bool goingOn;
    };
    std::unordered_map<std::string, CarriedOver> carried;
    s.carriedOver.reset();
    s.carriedOver.bind(1, last);
    while ( s.carriedOver.executeStep() )
        carried[s.carriedOver.getColumn(1).getString()] = { s.carriedOver.getColumn(0).getInt64(),
                                                            s.carriedOver.getColumn(2).getInt() != 0 };
    s.carriedOver.reset();
    for ( UserList::const_iterator it = online.begin(); it != online.end(); ++it )
    {
        const std::string name = Utf8(it->first);
        const bool busy = IsBusy(it->second.GetStatus());
        const auto found = carried.find(name);
        if ( found == carried.end() )
        {
            StartSession(name, now, busy);
            continue;
        }
        if ( found->second.goingOn )
        {
            SetBusy(name, now, busy);
        }
        else
        {
            s.resume.reset();
            s.resume.bind(1, found->second.id);
            if ( busy )
                s.resume.bind(2, now);
            else
                s.resume.bind(2);
            s.resume.exec();
        }
        carried.erase(found);
    }
    for ( const auto& left : carried )
    {
        if ( left.second.goingOn )
            EndSession(left.first, last);
    }
}

std::int64_t HistoryStore::PerformerId(const std::string& name)
{
    Statements& s = *m_statements;
    s.performer.reset();
    s.performer.bind(1, name);
    if ( s.performer.executeStep() )
    {
        const std::int64_t id = s.performer.getColumn(0).getInt64();
        s.performer.reset();
        return id;
    }
    s.addPerformer.reset();
    s.addPerformer.bind(1, name);
    s.addPerformer.exec();
    return m_db->getLastInsertRowid();
}

void HistoryStore::StartSession(const std::string& name, std::int64_t now, bool busy)
{
    Statements& s = *m_statements;
    const std::int64_t performer = PerformerId(name);
    // Unless another program watching the same site has started it already.
    s.startSession.reset();
    s.startSession.bind(1, performer);
    s.startSession.bind(2, now);
    if ( busy )
        s.startSession.bind(3, now);
    else
        s.startSession.bind(3);
    s.startSession.exec();
}

void HistoryStore::EndSession(const std::string& name, std::int64_t last)
{
    Statements& s = *m_statements;
    s.endSession.reset();
    s.endSession.bind(1, name);
    s.endSession.bind(2, last);
    s.endSession.exec();
}

void HistoryStore::SetBusy(const std::string& name, std::int64_t now, bool busy)
{
    SQLite::Statement& statement = busy ? m_statements->becameBusy : m_statements->becameFree;
    statement.reset();
    statement.bind(1, name);
    statement.bind(2, now);
    statement.exec();
}

void HistoryStore::CloseSessions()
{
    Statements& s = *m_statements;
    SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
    s.lastSpan.reset();
    if ( s.lastSpan.executeStep() )
    {
        const std::int64_t last = s.lastSpan.getColumn(1).getInt64();
        s.lastSpan.reset();
        s.endSessions.reset();
        s.endSessions.bind(2, last);
        s.endSessions.exec();
    }
    transaction.commit();
}

void HistoryStore::Forget()
{
    {
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
        m_db->exec("DELETE FROM sessions; DELETE FROM performers; DELETE FROM watched;");
        transaction.commit();
    }
    // Nothing of ours may be reading while the file is rewritten.
    m_statements.reset();
    m_db->exec("VACUUM");
    m_db->exec("PRAGMA wal_checkpoint(TRUNCATE)");
    m_statements.reset(new Statements(*m_db));
}
