#pragma once

#include "history/HistoryStatusEvent.h"
#include "history/PollRecord.h"

#include <wx/string.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class HistoryClock;
class HistoryStore;

// Writes the watch history on a thread of its own, never on the main thread nor in a poll's
// paced parse: the polling thread hands over each poll, and each is one transaction. When the
// writing falls behind, what has queued up goes in one transaction; nothing is dropped. A file
// out of reach for now (a full disk, a folder that cannot be written, a lock) pauses the
// history: the polls wait, the receiver hears why once, and the writer tries again a while
// later. A damaged file, or another program's, is moved aside for a new one. The watching never
// waits for any of it.
//
// Made, switched and stopped on one thread (the main thread); Record from any. Stop, or the
// destructor, ends the thread once the transaction under way is done, the sessions going on
// closed at the last poll.
class HistoryWriter
{
public:
    // At most this many polls wait while the history is paused; older ones are let go, their
    // time then unknown.
    static constexpr size_t MAX_WAITING = 8640;
    // A paused history tries again after this, at the first poll after it.
    static constexpr int RETRY_SECONDS = 30;

    // Writes to the file at path, the polls stamped by clock (which must outlive the writer);
    // receiver (which may be null) gets a HistoryStatusEvent whenever the history pauses, is
    // written again, or has been forgotten.
    HistoryWriter(const wxString& path, const HistoryClock& clock, wxEvtHandler* receiver);
    ~HistoryWriter();

    HistoryWriter(const HistoryWriter&) = delete;
    HistoryWriter& operator=(const HistoryWriter&) = delete;

    // Any thread: what a poll saw, now. added, deleted and changed are null for the first poll
    // of a run.
    void Record(const std::shared_ptr<const UserList>& online, const std::shared_ptr<const UserList>& added,
                const std::shared_ptr<const UserList>& deleted, const std::shared_ptr<const UserList>& changed,
                int intervalSeconds);

    // Off, nothing is written and the file is closed; on again, the history takes up from the
    // next poll.
    void SetEnabled(bool enabled);
    // Every row goes and the file shrinks; the receiver hears when that is done.
    void Forget();
    // Waits until everything handed over so far is written, or could not be (for tests).
    void Flush();
    // Ends the thread; further polls are not written.
    void Stop();

private:
    void Run();
    // On the writer's thread, without the lock: writes polls; false when they must wait.
    bool Write(std::deque<PollRecord>& polls);
    bool EnsureStore();
    void Pause(const std::exception& failure);
    void Post(HistoryStatusEvent::State state, const wxString& reason = wxString());

    const wxString m_path;
    const HistoryClock& m_clock;
    wxEvtHandler* m_receiver;

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<PollRecord> m_waiting;
    bool m_enabled = true;
    bool m_forget = false;
    bool m_stop = false;
    // The first of m_waiting that wait for the file to be back, and wake nobody.
    size_t m_held = 0;
    // Polls taken but not yet written or given up, so that Flush knows.
    size_t m_busy = 0;
    // Whether the writer has the file open, as of its last turn.
    bool m_open = false;
    std::condition_variable m_idle;

    // The writer's own.
    std::unique_ptr<HistoryStore> m_store;
    bool m_paused = false;
    std::int64_t m_retryAt = 0;
    // The next poll written must stand on its own (its whole list): the file does not know the
    // poll before it.
    bool m_fresh = true;

    std::thread m_thread;
};
