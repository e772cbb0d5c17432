#pragma once

#include "model/User.h"
#include "model/UserList.h"

#include <wx/mstream.h>
#include <wx/regex.h>
#include <wx/txtstrm.h>

#include <string>

// The list script read the plain way: line by line through the toolkit's text stream, each line
// tried against the two regular expressions; what the real parser's speed is measured against.
inline void PlainParse(const std::string& script, UserList& list)
{
    static wxRegEx viewers("([[:alnum:]_]+).viewers = ([[:digit:]]+)");
    static wxRegEx listLine("([[:alpha:]]+)_performers.add\\(([[:alnum:]_]+)\\)");
    wxMemoryInputStream stream(script.data(), script.size());
    wxTextInputStream text(stream, " \t");
    wxString name;
    int status = 0;
    const auto store = [&] {
        if ( !name.empty() )
            list.AddUser(User(name, status));
    };
    for ( ;; )
    {
        const wxString line = text.ReadLine();
        if ( !stream.IsOk() || stream.Eof() || viewers.Matches(line) )
        {
            store();
            if ( !stream.IsOk() || stream.Eof() )
                break;
            name = viewers.GetMatch(line, 1);
            status = 0;
        }
        else if ( listLine.Matches(line) )
        {
            const wxString kind = listLine.GetMatch(line, 1);
            if ( kind == "online" )
                status |= STATUS_ONLINE;
            else if ( kind == "free" )
                status = (status | STATUS_ONLINE | STATUS_FREE) & ~(STATUS_BUSY | STATUS_PUBLIC | STATUS_PRIVATE);
            else if ( kind == "busy" )
                status = (status | STATUS_ONLINE | STATUS_BUSY | ((status & STATUS_PRIVATE) ? 0 : STATUS_PUBLIC))
                         & ~STATUS_FREE;
            else if ( kind == "public" )
                status = (status | STATUS_ONLINE | STATUS_BUSY | STATUS_PUBLIC) & ~(STATUS_FREE | STATUS_PRIVATE);
            else if ( kind == "private" )
                status = (status | STATUS_ONLINE | STATUS_BUSY | STATUS_PRIVATE) & ~(STATUS_FREE | STATUS_PUBLIC);
        }
    }
}
