#pragma once

#include <wx/string.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace SQLite
{
class Database;
class Statement;
}

// Reads the watch history for the windows: since when each performer has been online, and when
// they were last seen. It only reads, from a file that the writer's thread writes meanwhile, and
// never waits long for it: a history out of reach has no answers, and is looked for again at the
// next question.
class HistoryReader
{
public:
    // What the history knows of a performer, in seconds since 1970; 0 where it knows nothing.
    struct Seen
    {
        // The start of the session going on.
        std::int64_t onlineSince = 0;
        // The last poll that saw them online: the end of their last session, or of the watching
        // while one goes on.
        std::int64_t lastSeen = 0;
        // The end of the session before the one going on.
        std::int64_t seenBefore = 0;
    };

    explicit HistoryReader(const wxString& path);
    ~HistoryReader();

    HistoryReader(const HistoryReader&) = delete;
    HistoryReader& operator=(const HistoryReader&) = delete;

    // What the history knows of each of names, in their order; false (all unknown) when the
    // history cannot be read now.
    bool Look(const std::vector<wxString>& names, std::vector<Seen>& seen);

    // Every performer the history knows, in alphabetical order; false when it cannot be read now.
    bool ListNames(std::vector<wxString>& names);

    // Lets go of the file (turned off, or forgotten): the next question opens it again.
    void Close();

private:
    bool EnsureOpen();
    Seen LookUp(const std::string& name, std::int64_t lastWatched);

    wxString m_path;
    std::unique_ptr<SQLite::Database> m_db;
    std::unique_ptr<SQLite::Statement> m_sessions;
    std::unique_ptr<SQLite::Statement> m_lastWatched;
};
