#include "shell/BoolSetting.h"

#include <wx/confbase.h>
#include <wx/log.h>

bool BoolSetting::Read(const wxConfigBase& config, const wxString& key, bool defaultValue)
{
    wxString text;
    if ( !config.Read(key, &text) )
        return defaultValue;
    text.Trim(true).Trim(false);
    for ( const char* yes : { "true", "yes", "on", "1" } )
    {
        if ( text.IsSameAs(yes, false) )
            return true;
    }
    for ( const char* no : { "false", "no", "off", "0" } )
    {
        if ( text.IsSameAs(no, false) )
            return false;
    }
    wxLogTrace("lumora", "configuration: %s = \"%s\" is not a yes or a no, %s is taken", key, text,
               defaultValue ? "yes" : "no");
    return defaultValue;
}
