#include "history/PerformerHistory.h"

#include "history/HistoryStore.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <wx/filename.h>
#include <wx/log.h>

#include <algorithm>

namespace
{
// The window waits no longer than this for another program's write.
const int BUSY_TIMEOUT_MS = 200;

PerformerHistory::Session ReadSession(SQLite::Statement& query, std::int64_t lastWatched)
{
    PerformerHistory::Session session;
    session.first = query.getColumn(0).getInt64();
    session.goingOn = query.getColumn(1).isNull();
    session.last = session.goingOn ? std::max(lastWatched, session.first) : query.getColumn(1).getInt64();
    session.busySeconds = query.getColumn(2).getInt64();
    session.busyNow = session.goingOn && !query.getColumn(3).isNull();
    // Busy now: busy until the last watched poll so far.
    if ( !query.getColumn(3).isNull() )
        session.busySeconds += std::max<std::int64_t>(0, session.last - query.getColumn(3).getInt64());
    return session;
}
}

PerformerHistory::PerformerHistory(const wxString& path, const wxString& name, int weeks, std::int64_t now)
    : m_pattern(now, weeks)
{
    if ( !wxFileName::FileExists(path) )
        return;
    try
    {
        Read(path, name);
        m_read = true;
    }
    catch ( const std::exception& failure )
    {
        wxLogTrace("lumora", "history: cannot read %s of %s: %s", path, name, failure.what());
        *this = PerformerHistory(wxString(), name, weeks, now);
    }
}

void PerformerHistory::Read(const wxString& path, const wxString& name)
{
    SQLite::Database db(std::string(path.utf8_str().data()), SQLite::OPEN_READONLY, BUSY_TIMEOUT_MS);
    if ( db.execAndGet("PRAGMA application_id").getInt() != HistoryStore::APPLICATION_ID )
        return;
    // One snapshot for all of it.
    db.exec("BEGIN");
    const std::int64_t start = m_pattern.GetStart();
    const SQLite::Column latest = db.execAndGet("SELECT max(last_poll) FROM watched");
    const std::int64_t lastWatched = latest.isNull() ? 0 : latest.getInt64();

    SQLite::Statement spans(db, "SELECT first_poll, last_poll FROM watched WHERE last_poll >= ?1");
    spans.bind(1, start);
    while ( spans.executeStep() )
        m_pattern.AddWatched(spans.getColumn(0).getInt64(), spans.getColumn(1).getInt64());

    SQLite::Statement sessions(db, "SELECT first_poll, last_poll, busy_seconds, busy_since FROM sessions"
                                   " WHERE performer = (SELECT id FROM performers WHERE name = ?1)"
                                   " AND (last_poll IS NULL OR last_poll >= ?2) ORDER BY first_poll");
    sessions.bind(1, std::string(name.utf8_str().data()));
    sessions.bind(2, start);
    std::vector<std::int64_t> lengths;
    while ( sessions.executeStep() )
    {
        const Session session = ReadSession(sessions, lastWatched);
        m_pattern.AddOnline(session.first, session.last);
        if ( session.first >= start )
            lengths.push_back(session.GetLength());
    }
    m_sessionCount = lengths.size();
    if ( !lengths.empty() )
    {
        std::nth_element(lengths.begin(), lengths.begin() + lengths.size() / 2, lengths.end());
        m_medianLength = lengths[lengths.size() / 2];
    }

    SQLite::Statement recent(db, "SELECT first_poll, last_poll, busy_seconds, busy_since FROM sessions"
                                 " WHERE performer = (SELECT id FROM performers WHERE name = ?1)"
                                 " ORDER BY first_poll DESC LIMIT ?2");
    recent.bind(1, std::string(name.utf8_str().data()));
    recent.bind(2, static_cast<int>(RECENT));
    while ( recent.executeStep() )
        m_recent.push_back(ReadSession(recent, lastWatched));
    if ( !m_recent.empty() )
    {
        m_lastSeen = m_recent.front().last;
        if ( m_recent.front().goingOn )
            m_onlineSince = m_recent.front().first;
    }
    db.exec("COMMIT");
}
