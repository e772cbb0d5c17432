#pragma once

#include <wx/string.h>

#include <cstdint>

// Where the watch history lives, $XDG_DATA_HOME/Lumora/history.sqlite (by default under
// ~/.local/share), readable by its owner only in a folder readable by its owner only, and what
// becomes of a file there that is not a history.
class HistoryFile
{
public:
    HistoryFile() = delete;

    static wxString GetDefaultPath();

    // Makes the folder and an empty file where they are missing, each for its owner only, and
    // takes from existing ones what others could read. False when that cannot be done.
    static bool Prepare(const wxString& path);

    // Moves the file at path, with its journal files, aside as "PATH.damaged-YYYYMMDD-HHMMSS"
    // (local time now, in seconds since 1970; "-2", "-3"... added when that name is taken), so that
    // a new one can start, never replacing a file moved aside before; the new name, or an
    // empty one when the file could not be moved.
    static wxString MoveAside(const wxString& path, std::int64_t now);
};
