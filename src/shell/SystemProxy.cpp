#include "shell/SystemProxy.h"

#include "net/HttpClient.h"

#include <wx/log.h>

#ifdef __WXMSW__
#include <wx/msw/regconf.h>
#else
#include <wx/utils.h>
#endif

wxString SystemProxy::Detect()
{
#ifdef __WXMSW__
    wxRegConfig settings("Windows", "Microsoft", wxEmptyString, wxEmptyString,
                         wxCONFIG_USE_GLOBAL_FILE);
    settings.SetPath("/CurrentVersion/Internet Settings");
    long enabled = 0;
    if ( !settings.Read("ProxyEnable", &enabled) || enabled == 0 )
        return wxString();
    wxString server;
    settings.Read("ProxyServer", &server);
    return server;
#else
    wxString value;
    if ( !wxGetEnv("http_proxy", &value) || value.empty() )
        wxGetEnv("HTTP_PROXY", &value);
    if ( value.empty() )
        return wxString();
    // "http://host:port/" names the same proxy as "host:port", which is what the toolkit takes.
    const int scheme = value.Find("://");
    if ( scheme != wxNOT_FOUND )
        value.erase(0, scheme + 3);
    if ( value.EndsWith("/") )
        value.RemoveLast();
    return value;
#endif
}

void SystemProxy::Install()
{
    const wxString proxy = Detect();
    if ( !proxy.empty() )
        wxLogTrace("lumora", "using the proxy %s", proxy);
    // Not the toolkit's default proxy: that is one connection shared by every thread, and it
    // drops the port of the address it is asked for.
    HttpClient::SetProxy(proxy);
}
