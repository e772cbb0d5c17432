#include "history/HistoryWriter.h"

#include "history/HistoryClock.h"
#include "history/HistoryFile.h"
#include "history/HistoryStatusEvent.h"
#include "history/HistoryStore.h"

#include <SQLiteCpp/Exception.h>

#include <wx/intl.h>
#include <wx/log.h>

#include <sqlite3.h>

#include <vector>

namespace
{
// What a user is told of a history that cannot be written for now.
wxString ReasonFor(const std::exception& failure)
{
    const SQLite::Exception* sqlite = dynamic_cast<const SQLite::Exception*>(&failure);
    if ( !sqlite )
        return wxString::FromUTF8(failure.what());
    switch ( sqlite->getErrorCode() & 0xff )
    {
        case SQLITE_FULL:
            return _("the disk is full");
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return _("another program holds its file");
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_CANTOPEN:
        case SQLITE_AUTH:
            return _("its folder cannot be written");
        default:
            return wxString::FromUTF8(sqlite->getErrorStr());
    }
}
}

HistoryWriter::HistoryWriter(const wxString& path, const HistoryClock& clock, wxEvtHandler* receiver)
    : m_path(path.Clone())
    , m_clock(clock)
    , m_receiver(receiver)
{
    m_thread = std::thread([this] { Run(); });
}

HistoryWriter::~HistoryWriter()
{
    Stop();
}

void HistoryWriter::Record(const std::shared_ptr<const UserList>& online, const std::shared_ptr<const UserList>& added,
                           const std::shared_ptr<const UserList>& deleted,
                           const std::shared_ptr<const UserList>& changed, int intervalSeconds)
{
    PollRecord poll;
    poll.time = m_clock.Now();
    poll.intervalSeconds = intervalSeconds;
    poll.online = online;
    poll.added = added;
    poll.deleted = deleted;
    poll.changed = changed;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if ( !m_enabled || m_stop )
            return;
        m_waiting.push_back(poll);
    }
    m_changed.notify_one();
}

void HistoryWriter::SetEnabled(bool enabled)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_enabled = enabled;
        if ( !enabled )
        {
            m_waiting.clear();
            m_held = 0;
        }
    }
    m_changed.notify_one();
}

void HistoryWriter::Forget()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_forget = true;
        m_waiting.clear();
        m_held = 0;
    }
    m_changed.notify_one();
}

void HistoryWriter::Flush()
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_idle.wait(lock, [this] {
        return m_stop || (m_busy == 0 && !m_forget && m_waiting.size() == m_held && (m_enabled || !m_open));
    });
}

void HistoryWriter::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
    }
    m_changed.notify_one();
    if ( m_thread.joinable() )
        m_thread.join();
}

void HistoryWriter::Run()
{
    std::unique_lock<std::mutex> lock(m_lock);
    for ( ;; )
    {
        m_changed.wait(lock, [this] {
            return m_stop || m_forget || m_waiting.size() > m_held || (!m_enabled && m_open);
        });
        const bool stop = m_stop;
        const bool forget = m_forget;
        const bool enabled = m_enabled;
        m_forget = false;
        std::deque<PollRecord> polls;
        polls.swap(m_waiting);
        m_held = 0;
        m_busy = polls.size() + (forget ? 1 : 0);
        lock.unlock();

        if ( forget )
        {
            // A fresh start, whatever came before.
            m_fresh = true;
            if ( EnsureStore() )
            {
                try
                {
                    m_store->Forget();
                    wxLogTrace("lumora", "history: forgotten");
                    Post(HistoryStatusEvent::FORGOTTEN);
                }
                catch ( const std::exception& failure )
                {
                    Pause(failure);
                }
            }
        }
        if ( enabled && !polls.empty() && !Write(polls) )
        {
            // They wait for the file, the oldest let go beyond what may wait.
            lock.lock();
            polls.insert(polls.end(), m_waiting.begin(), m_waiting.end());
            m_waiting.swap(polls);
            if ( m_waiting.size() > MAX_WAITING )
            {
                m_waiting.erase(m_waiting.begin(), m_waiting.end() - MAX_WAITING);
                m_fresh = true;
            }
            m_held = m_waiting.size();
            lock.unlock();
        }
        if ( stop || !enabled )
        {
            if ( m_store )
            {
                try
                {
                    m_store->CloseSessions();
                }
                catch ( const std::exception& failure )
                {
                    wxLogTrace("lumora", "history: the sessions going on could not be ended: %s", failure.what());
                }
                m_store.reset();
                wxLogTrace("lumora", "history: closed");
            }
            m_fresh = true;
        }

        lock.lock();
        m_busy = 0;
        m_open = m_store != nullptr;
        m_idle.notify_all();
        if ( stop )
            return;
    }
}

bool HistoryWriter::Write(std::deque<PollRecord>& polls)
{
    // A second chance, for a file found damaged while writing and moved aside for a new one.
    for ( int attempt = 0; attempt < 2; ++attempt )
    {
        if ( !EnsureStore() )
            return false;
        std::vector<PollRecord> batch(polls.begin(), polls.end());
        if ( m_fresh )
        {
            // The file does not know the poll before: the first stands on its whole list.
            batch.front().added.reset();
            batch.front().deleted.reset();
            batch.front().changed.reset();
        }
        try
        {
            m_store->Record(batch);
            m_fresh = false;
            wxLogTrace("lumora", "history: polls up to %lld written", static_cast<long long>(batch.back().time));
            if ( m_paused )
            {
                m_paused = false;
                wxLogTrace("lumora", "history: written again");
                Post(HistoryStatusEvent::WRITTEN);
            }
            return true;
        }
        catch ( const std::exception& failure )
        {
            m_store.reset();
            if ( !HistoryStore::IsDamage(failure) )
            {
                Pause(failure);
                return false;
            }
            const wxString aside = HistoryFile::MoveAside(m_path, m_clock.Now());
            wxLogTrace("lumora", "history: damaged while writing (%s), moved aside as %s", failure.what(), aside);
            m_fresh = true;
        }
    }
    return false;
}

bool HistoryWriter::EnsureStore()
{
    if ( m_store )
        return true;
    const std::int64_t now = m_clock.Now();
    if ( m_paused && now < m_retryAt )
        return false;
    try
    {
        m_store.reset(new HistoryStore(m_path, now));
        m_fresh = true;
        wxLogTrace("lumora", "history: writing %s", m_path);
        return true;
    }
    catch ( const std::exception& failure )
    {
        Pause(failure);
        return false;
    }
}

void HistoryWriter::Pause(const std::exception& failure)
{
    m_store.reset();
    m_retryAt = m_clock.Now() + RETRY_SECONDS;
    wxLogTrace("lumora", "history: paused: %s", failure.what());
    if ( m_paused )
        return;
    m_paused = true;
    Post(HistoryStatusEvent::PAUSED, ReasonFor(failure));
}

void HistoryWriter::Post(HistoryStatusEvent::State state, const wxString& reason)
{
    if ( m_receiver )
        m_receiver->QueueEvent(new HistoryStatusEvent(state, reason));
}
