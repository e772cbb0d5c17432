#include "shell/SiteHosts.h"

#include <wx/config.h>

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

wxString SiteHosts::MakeUrl(Role role, const wxString& pathAndQuery)
{
    return "http://" + GetHost(role) + pathAndQuery;
}
