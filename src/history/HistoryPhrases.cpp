#include "history/HistoryPhrases.h"

#include <wx/datetime.h>
#include <wx/intl.h>

namespace
{
const std::int64_t MINUTE = 60;
const std::int64_t HOUR = 60 * MINUTE;
const std::int64_t DAY = 24 * HOUR;

wxDateTime Local(std::int64_t time)
{
    return wxDateTime(static_cast<time_t>(time));
}

// A day of the past, as near as it is: "Tuesday 23:40" within the week, else "12 Mar 23:40".
wxString When(std::int64_t now, std::int64_t time)
{
    const wxDateTime when = Local(time);
    if ( now - time < 6 * DAY )
        return when.Format(_("%A %H:%M"));
    if ( when.GetYear() == Local(now).GetYear() )
        return when.Format(_("%d %b %H:%M"));
    return when.Format(_("%d %b %Y"));
}
}

wxString HistoryPhrases::Duration(std::int64_t seconds)
{
    if ( seconds < 0 )
        seconds = 0;
    const long days = static_cast<long>(seconds / DAY);
    const long hours = static_cast<long>(seconds % DAY / HOUR);
    const long minutes = static_cast<long>(seconds % HOUR / MINUTE);
    if ( days > 0 )
        return wxString::Format(_("%ld d %ld h"), days, hours);
    if ( hours > 0 )
        return wxString::Format(_("%ld h %ld min"), hours, minutes);
    return wxString::Format(_("%ld min"), minutes);
}

wxString HistoryPhrases::LastSeen(std::int64_t now, std::int64_t lastSeen)
{
    if ( lastSeen <= 0 )
        return _("not seen yet");
    const std::int64_t ago = now - lastSeen;
    if ( ago < MINUTE )
        return _("last seen just now");
    if ( ago < HOUR )
        return wxString::Format(_("last seen %ld min ago"), static_cast<long>(ago / MINUTE));
    if ( ago < DAY )
        return wxString::Format(_("last seen %ld h ago"), static_cast<long>(ago / HOUR));
    const wxDateTime when = Local(lastSeen);
    if ( when.GetYear() == Local(now).GetYear() )
        return wxString::Format(_("last seen %s"), when.Format(_("%d %b")));
    return wxString::Format(_("last seen %s"), when.Format(_("%d %b %Y")));
}

wxString HistoryPhrases::OnlineFor(std::int64_t now, std::int64_t since)
{
    if ( since <= 0 )
        return wxString();
    return wxString::Format(_("online %s"), Duration(now - since));
}

wxString HistoryPhrases::Online(std::int64_t now, std::int64_t since, std::int64_t before)
{
    wxString text;
    if ( since > 0 )
        text = wxString::Format(_("Online since %s (%s)"), Local(since).Format(_("%H:%M")), Duration(now - since));
    const wxString earlier = before > 0 ? wxString::Format(_("last online before: %s"), When(now, before))
                                        : wxString(_("not seen online before"));
    return text.empty() ? earlier : text + "\n" + earlier;
}
