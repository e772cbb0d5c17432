#pragma once

#include <wx/string.h>

#include <cstdint>

class WeekPattern;

// A performer's history window in words, in the user's language and local time; times in seconds
// since 1970, 0 where nothing is known.
class PatternPhrases
{
public:
    PatternPhrases() = delete;

    // Below this much watched time in the weeks, the pattern says nothing yet.
    static constexpr double ENOUGH_WATCHED_HOURS = 20;

    // "online since 20:14 (1 h 12 min), free", "last seen Tuesday 23:40 (3 days ago)", or
    // "not seen yet"; state is what the performer is now ("free"), when online.
    static wxString Now(std::int64_t now, std::int64_t onlineSince, std::int64_t lastSeen, const wxString& state);
    // "usually online Tue and Thu, 20:00–23:00", or why there is no such sentence.
    static wxString Usually(const WeekPattern& pattern);
    // "a typical session lasts 2 h 30 min; 14 sessions in the last 8 weeks".
    static wxString Typical(size_t sessions, std::int64_t medianSeconds, int weeks);
    // A cell's tooltip: "Tuesdays 21:00–22:00: online 6 of 7 watched weeks".
    static wxString Cell(const WeekPattern& pattern, int day, int hour);
    // The picture for those who cannot see it: the sentence and the likeliest hours.
    static wxString Description(const WeekPattern& pattern);

    // "Mon"; day 0 is Monday.
    static wxString Day(int day);
    // "21:00–22:00".
    static wxString Hours(int from, int to);
    // "3 days ago", "2 h ago", "just now".
    static wxString Ago(std::int64_t seconds);
};
