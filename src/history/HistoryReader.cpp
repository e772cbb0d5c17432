#include "history/HistoryReader.h"

#include "history/HistoryStore.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>

#include <wx/filename.h>
#include <wx/log.h>

namespace
{
// The window waits no longer than this for the writer of another program.
const int BUSY_TIMEOUT_MS = 50;
}

HistoryReader::HistoryReader(const wxString& path)
    : m_path(path)
{
}

HistoryReader::~HistoryReader() = default;

void HistoryReader::Close()
{
    m_sessions.reset();
    m_lastWatched.reset();
    m_db.reset();
}

bool HistoryReader::EnsureOpen()
{
    if ( m_db )
        return true;
    if ( !wxFileName::FileExists(m_path) )
        return false;
    try
    {
        m_db.reset(new SQLite::Database(std::string(m_path.utf8_str().data()), SQLite::OPEN_READONLY, BUSY_TIMEOUT_MS));
        if ( m_db->execAndGet("PRAGMA application_id").getInt() != HistoryStore::APPLICATION_ID )
        {
            Close();
            return false;
        }
        m_db->exec("PRAGMA cache_size = -256");
        // The two latest sessions, the latest first: one going on and the last that is over.
        m_sessions.reset(new SQLite::Statement(*m_db, "SELECT first_poll, last_poll FROM sessions"
                                                      " WHERE performer = (SELECT id FROM performers WHERE name = ?1)"
                                                      " ORDER BY first_poll DESC LIMIT 2"));
        m_lastWatched.reset(new SQLite::Statement(*m_db, "SELECT last_poll FROM watched ORDER BY id DESC LIMIT 1"));
        return true;
    }
    catch ( const std::exception& failure )
    {
        wxLogTrace("lumora", "history: cannot read %s: %s", m_path, failure.what());
        Close();
        return false;
    }
}

bool HistoryReader::Look(const std::vector<wxString>& names, std::vector<Seen>& seen)
{
    seen.assign(names.size(), Seen());
    if ( !EnsureOpen() )
        return false;
    try
    {
        // One snapshot for all of them.
        m_db->exec("BEGIN");
        std::int64_t lastWatched = 0;
        m_lastWatched->reset();
        if ( m_lastWatched->executeStep() )
            lastWatched = m_lastWatched->getColumn(0).getInt64();
        m_lastWatched->reset();
        for ( size_t i = 0; i < names.size(); ++i )
            seen[i] = LookUp(std::string(names[i].utf8_str().data()), lastWatched);
        m_db->exec("COMMIT");
        return true;
    }
    catch ( const std::exception& failure )
    {
        wxLogTrace("lumora", "history: cannot read %s: %s", m_path, failure.what());
        seen.assign(names.size(), Seen());
        Close();
        return false;
    }
}

bool HistoryReader::ListNames(std::vector<wxString>& names)
{
    names.clear();
    if ( !EnsureOpen() )
        return false;
    try
    {
        SQLite::Statement query(*m_db, "SELECT name FROM performers ORDER BY name COLLATE NOCASE");
        while ( query.executeStep() )
            names.push_back(wxString::FromUTF8(query.getColumn(0).getText()));
        return true;
    }
    catch ( const std::exception& failure )
    {
        wxLogTrace("lumora", "history: cannot read %s: %s", m_path, failure.what());
        Close();
        return false;
    }
}

HistoryReader::Seen HistoryReader::LookUp(const std::string& name, std::int64_t lastWatched)
{
    Seen seen;
    m_sessions->reset();
    m_sessions->bind(1, name);
    if ( m_sessions->executeStep() )
    {
        if ( m_sessions->getColumn(1).isNull() )
        {
            seen.onlineSince = m_sessions->getColumn(0).getInt64();
            // Going on as far as anyone watched, even when the program that watched has ended
            // without closing it.
            seen.lastSeen = lastWatched;
            if ( m_sessions->executeStep() && !m_sessions->getColumn(1).isNull() )
                seen.seenBefore = m_sessions->getColumn(1).getInt64();
        }
        else
        {
            seen.lastSeen = m_sessions->getColumn(1).getInt64();
        }
    }
    m_sessions->reset();
    return seen;
}
