#include "sync/FavoritesParser.h"

#include <wx/regex.h>

#include <set>

wxArrayString FavoritesParser::Parse(const char* body, size_t size)
{
    wxRegEx name("([[:alnum:]_]+)", wxRE_EXTENDED);
    wxArrayString names;
    std::set<wxString> seen;
    size_t start = 0;
    while ( start < size )
    {
        size_t end = start;
        while ( end < size && body[end] != '\n' && body[end] != '\r' )
            ++end;
        size_t next = end;
        if ( next < size )
            next += (body[next] == '\r' && next + 1 < size && body[next + 1] == '\n') ? 2 : 1;
        // A line is examined only when bytes of the body remain after it.
        if ( next >= size )
            break;
        wxString line = wxString::FromUTF8(body + start, end - start);
        if ( line.empty() && end > start )
            line = wxString(body + start, wxConvISO8859_1, end - start);
        if ( name.Matches(line) )
        {
            const wxString found = name.GetMatch(line, 1);
            if ( seen.insert(found).second )
                names.push_back(found);
        }
        start = next;
    }
    return names;
}
