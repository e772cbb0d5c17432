#include "shell/SiteHosts.h"

#include <wx/config.h>

namespace
{
// The scheme a configured host names ("http" without one) and the rest of it.
wxString SplitScheme(const wxString& host, wxString& authority)
{
    wxString scheme = "http";
    authority = host;
    const int separator = host.Find("://");
    if ( separator != wxNOT_FOUND )
    {
        scheme = host.Left(separator).Lower();
        authority = host.Mid(separator + 3);
    }
    // "https://host/" names the same host as "https://host".
    while ( authority.EndsWith("/") )
        authority.RemoveLast();
    return scheme;
}
}

const char* const SiteHosts::DEFAULT_HOST = "127.0.0.1:8080";

wxString SiteHosts::GetHost(Role role)
{
    static const char* const keys[] = { "/Site/mainhost", "/Site/imagehost", "/Site/previewhost" };
    wxString host;
    wxConfigBase* config = wxConfigBase::Get();
    if ( !config || !config->Read(keys[role], &host) || host.empty() )
        host = DEFAULT_HOST;
    return host;
}

wxString SiteHosts::GetAuthority(Role role)
{
    wxString authority;
    SplitScheme(GetHost(role), authority);
    return authority;
}

wxString SiteHosts::MakeUrl(Role role, const wxString& pathAndQuery)
{
    wxString authority;
    const wxString scheme = SplitScheme(GetHost(role), authority);
    return scheme + "://" + authority + pathAndQuery;
}
