#include "shell/DurationSetting.h"

#include <wx/confbase.h>
#include <wx/log.h>

namespace
{
// Digits too many for a long still say "very long", not "unreadable".
bool IsPositiveInteger(const wxString& text)
{
    wxString digits = text;
    if ( digits.StartsWith("+") )
        digits.erase(0, 1);
    if ( digits.empty() )
        return false;
    for ( const wxUniChar c : digits )
    {
        if ( c < '0' || c > '9' )
            return false;
    }
    return true;
}
}

long DurationSetting::ReadSeconds(wxConfigBase& config, const wxString& key, long defaultSeconds, long least)
{
    wxString text;
    if ( !config.Read(key, &text) )
        return defaultSeconds;
    text.Trim(true).Trim(false);
    long seconds = 0;
    if ( !text.ToLong(&seconds) )
    {
        if ( IsPositiveInteger(text) )
        {
            wxLogTrace("lumora", "configuration: %s = %s is more than a day, a day is taken", key, text);
            return MAX_SECONDS;
        }
        wxLogTrace("lumora", "configuration: %s = \"%s\" is not a number of seconds, %ld is taken", key, text,
                   defaultSeconds);
        return defaultSeconds;
    }
    if ( seconds < least )
    {
        wxLogTrace("lumora", "configuration: %s = %ld is less than %ld, %ld is taken", key, seconds, least,
                   defaultSeconds);
        return defaultSeconds;
    }
    if ( seconds > MAX_SECONDS )
    {
        wxLogTrace("lumora", "configuration: %s = %ld is more than a day, a day is taken", key, seconds);
        return MAX_SECONDS;
    }
    return seconds;
}
