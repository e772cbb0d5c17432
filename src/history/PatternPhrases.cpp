#include "history/PatternPhrases.h"

#include "history/HistoryPhrases.h"
#include "history/WeekPattern.h"

#include <wx/datetime.h>
#include <wx/intl.h>

#include <vector>

namespace
{
const std::int64_t DAY = 24 * 3600;

wxString Local(std::int64_t time, const wxString& format)
{
    return wxDateTime(static_cast<time_t>(time)).Format(format);
}

// "a", "a and b", "a, b and c".
wxString Listed(const std::vector<wxString>& items)
{
    wxString text;
    for ( size_t i = 0; i < items.size(); ++i )
    {
        if ( i == 0 )
            text = items[i];
        else if ( i + 1 == items.size() )
            text = wxString::Format(_("%s and %s"), text, items[i]);
        else
            // TRANSLATORS: between the items of a list, before its last "and".
            text += _(", ") + items[i];
    }
    return text;
}
}

wxString PatternPhrases::Day(int day)
{
    // From the catalogue rather than the C library, which speaks English where the language's
    // locale is not installed.
    static const char* const DAYS[] = { wxTRANSLATE("Mon"), wxTRANSLATE("Tue"), wxTRANSLATE("Wed"), wxTRANSLATE("Thu"),
                                        wxTRANSLATE("Fri"), wxTRANSLATE("Sat"), wxTRANSLATE("Sun") };
    return wxGetTranslation(DAYS[day]);
}

wxString PatternPhrases::Hours(int from, int to)
{
    return wxString::Format(wxS("%02d:00\u2013%02d:00"), from, to % 24);
}

wxString PatternPhrases::Ago(std::int64_t seconds)
{
    if ( seconds < 60 )
        return _("just now");
    if ( seconds < 3600 )
        return wxString::Format(_("%ld min ago"), static_cast<long>(seconds / 60));
    if ( seconds < DAY )
        return wxString::Format(_("%ld h ago"), static_cast<long>(seconds / 3600));
    const long days = static_cast<long>(seconds / DAY);
    return wxString::Format(wxPLURAL("%ld day ago", "%ld days ago", days), days);
}

wxString PatternPhrases::Now(std::int64_t now, std::int64_t onlineSince, std::int64_t lastSeen, const wxString& state)
{
    if ( onlineSince > 0 )
    {
        const wxString since = wxString::Format(_("online since %s (%s)"), Local(onlineSince, _("%H:%M")),
                                                HistoryPhrases::Duration(now - onlineSince));
        return state.empty() ? since : since + _(", ") + state;
    }
    if ( lastSeen <= 0 )
        return _("not seen yet");
    const wxString when = Local(lastSeen, now - lastSeen < 6 * DAY ? _("%A %H:%M") : _("%d %b %H:%M"));
    return wxString::Format(_("last seen %s (%s)"), when, Ago(now - lastSeen));
}

wxString PatternPhrases::Usually(const WeekPattern& pattern)
{
    if ( pattern.GetWatchedHours() < ENOUGH_WATCHED_HOURS )
        return _("not enough watched time yet");
    std::vector<int> days;
    std::vector<int> hours;
    pattern.GetUsual(days, hours);
    if ( days.empty() || hours.empty() )
        return _("not usually online in the hours watched");
    std::vector<wxString> dayNames;
    for ( int day : days )
        dayNames.push_back(Day(day));
    // The usual hours in runs: 20, 21, 22 is 20:00–23:00.
    std::vector<wxString> runs;
    for ( size_t i = 0; i < hours.size(); )
    {
        size_t j = i;
        while ( j + 1 < hours.size() && hours[j + 1] == hours[j] + 1 )
            ++j;
        runs.push_back(Hours(hours[i], hours[j] + 1));
        i = j + 1;
    }
    return wxString::Format(_("usually online %s, %s"), Listed(dayNames), Listed(runs));
}

wxString PatternPhrases::Typical(size_t sessions, std::int64_t medianSeconds, int weeks)
{
    const wxString count = wxString::Format(wxPLURAL("%d session in the last %d weeks",
                                                     "%d sessions in the last %d weeks", sessions),
                                            static_cast<int>(sessions), weeks);
    if ( sessions == 0 )
        return count;
    return wxString::Format(_("a typical session lasts %s; %s"), HistoryPhrases::Duration(medianSeconds), count);
}

wxString PatternPhrases::Cell(const WeekPattern& pattern, int day, int hour)
{
    static const char* const DAYS[] = { wxTRANSLATE("Mondays"), wxTRANSLATE("Tuesdays"), wxTRANSLATE("Wednesdays"),
                                        wxTRANSLATE("Thursdays"), wxTRANSLATE("Fridays"), wxTRANSLATE("Saturdays"),
                                        wxTRANSLATE("Sundays") };
    const WeekPattern::Cell& cell = pattern.GetCell(day, hour);
    const wxString when = wxString::Format(_("%s %s"), wxGetTranslation(DAYS[day]), Hours(hour, hour + 1));
    if ( !cell.IsWatched() )
        return wxString::Format(_("%s: not watched"), when);
    return wxString::Format(_("%s: online %d of %d watched weeks"), when, cell.onlineWeeks, cell.watchedWeeks);
}

wxString PatternPhrases::Description(const WeekPattern& pattern)
{
    wxString text = Usually(pattern);
    std::vector<wxString> likeliest;
    for ( const auto& cell : pattern.GetLikeliest(5) )
        likeliest.push_back(wxString::Format(_("%s %s (%d%%)"), Day(cell.first), Hours(cell.second, cell.second + 1),
                                             static_cast<int>(pattern.GetCell(cell.first, cell.second).Share() * 100 + 0.5)));
    if ( !likeliest.empty() )
        text += ". " + wxString::Format(_("Most likely: %s"), Listed(likeliest));
    return text;
}
