#pragma once

#include <wx/string.h>

#include <cstdint>

// The watch history in words, in the user's language and local time; times in seconds since
// 1970, 0 where nothing is known.
class HistoryPhrases
{
public:
    HistoryPhrases() = delete;

    // "last seen just now", "last seen 25 min ago", "last seen 3 h ago", "last seen 12 Mar",
    // or "not seen yet".
    static wxString LastSeen(std::int64_t now, std::int64_t lastSeen);
    // "online 1 h 12 min", or nothing when the start is not known.
    static wxString OnlineFor(std::int64_t now, std::int64_t since);
    // A row's tooltip: since when the performer has been online, and when last before that.
    static wxString Online(std::int64_t now, std::int64_t since, std::int64_t before);

    // "12 min", "1 h 12 min", "2 d 3 h".
    static wxString Duration(std::int64_t seconds);
};
