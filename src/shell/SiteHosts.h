#pragma once

#include <wx/string.h>

// Where the site lives: its main, image and preview hosts, read from the configuration so that a
// test or the demo can point the program at the simulated site. Each is "host" or "host:port",
// reached by http, or "https://host[:port]"; "http://" may be written too.
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

    // As configured.
    static wxString GetHost(Role role);
    // The host and its port, without the scheme: what a "Host" header names.
    static wxString GetAuthority(Role role);
    // The role's scheme ("http" or "https"), "://", its authority and pathAndQuery (which starts
    // with "/").
    static wxString MakeUrl(Role role, const wxString& pathAndQuery);
};
