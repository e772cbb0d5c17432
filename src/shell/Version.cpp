#include "shell/Version.h"

#include <wx/log.h>

#include <climits>

namespace
{
const Version s_current("1.3.0");
}

Version::Version(const wxString& text)
    : m_text(text)
{
    // "%d.%d.%d" read from the start, without sscanf's undefined overflow.
    int numbers[3] = { 0, 0, 0 };
    int read = 0;
    wxString::const_iterator it = text.begin();
    while ( read < 3 )
    {
        if ( read > 0 )
        {
            if ( it == text.end() || *it != '.' )
                break;
            ++it;
        }
        while ( it != text.end() && (*it == ' ' || *it == '\t') )
            ++it;
        bool negative = false;
        if ( it != text.end() && (*it == '-' || *it == '+') )
        {
            negative = *it == '-';
            ++it;
        }
        if ( it == text.end() || *it < '0' || *it > '9' )
            break;
        long long value = 0;
        for ( ; it != text.end() && *it >= '0' && *it <= '9'; ++it )
        {
            if ( value <= INT_MAX )
                value = value * 10 + (*it - '0');
        }
        if ( value > INT_MAX )
            value = INT_MAX;
        numbers[read++] = static_cast<int>(negative ? -value : value);
    }
    if ( read < 3 )
        wxLogTrace("lumora", "Version: \"%s\" does not hold three numbers", text);
    m_major = numbers[0];
    m_minor = numbers[1];
    m_release = numbers[2];
}

const Version& Version::GetCurrent()
{
    return s_current;
}
