#pragma once

#include "history/WeekPattern.h"

#include <wx/string.h>

#include <cstdint>
#include <memory>
#include <vector>

// What the watch history holds of one performer, for their history window: how things stand now,
// the week's pattern over the last weeks, their sessions there, and the latest sessions.
class PerformerHistory
{
public:
    // The latest sessions the window lists.
    static constexpr size_t RECENT = 50;

    struct Session
    {
        std::int64_t first;
        // The last poll that saw them online; for a session going on, the last watched.
        std::int64_t last;
        std::int64_t busySeconds;
        bool goingOn;
        // Going on, and busy at its last poll.
        bool busyNow;

        std::int64_t GetLength() const { return last - first; }
    };

    // name's history in the file at path, over the weeks before now. An unreadable file, or a
    // performer it does not know, gives an empty history: never seen, nothing watched.
    PerformerHistory(const wxString& path, const wxString& name, int weeks, std::int64_t now);

    bool IsRead() const { return m_read; }
    const WeekPattern& GetPattern() const { return m_pattern; }
    // The start of the session going on, or 0; and whether they are busy in it now.
    std::int64_t GetOnlineSince() const { return m_onlineSince; }
    bool IsBusyNow() const { return !m_recent.empty() && m_recent.front().busyNow; }
    // The last poll that saw them online, or 0.
    std::int64_t GetLastSeen() const { return m_lastSeen; }
    // The sessions that began in the weeks, and the median of their lengths in seconds.
    size_t GetSessionCount() const { return m_sessionCount; }
    std::int64_t GetMedianLength() const { return m_medianLength; }
    // The latest sessions, the latest first.
    const std::vector<Session>& GetRecent() const { return m_recent; }

private:
    void Read(const wxString& path, const wxString& name);

    WeekPattern m_pattern;
    bool m_read = false;
    std::int64_t m_onlineSince = 0;
    std::int64_t m_lastSeen = 0;
    size_t m_sessionCount = 0;
    std::int64_t m_medianLength = 0;
    std::vector<Session> m_recent;
};
