#pragma once

#include <wx/string.h>

// Where the site lives: its main, image and preview hosts ("host" or "host:port"), read from
// the configuration so that a test or the demo can point the program at the simulated site.
class SiteHosts
{
public:
    enum Role
    {
        MAIN,
        IMAGE,
        PREVIEW
    };

    static const char* const DEFAULT_HOST;

    static wxString GetHost(Role role);
    // "http://" + the role's host + pathAndQuery (which starts with "/").
    static wxString MakeUrl(Role role, const wxString& pathAndQuery);
};
