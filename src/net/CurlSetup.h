#pragma once

#include <wx/string.h>

struct curl_slist;
// As libcurl declares it.
typedef void CURL;

// What every request of ours is made with, whoever drives it: http or https only, HTTP/1.1, the
// answer taken gzip- or deflate-compressed, the certificate always checked against the system's
// store, and plain http through the system proxy when there is one. The caller adds where the
// head and the body go.
class CurlSetup
{
public:
    CurlSetup() = delete;

    // Sets easy up for url (http:// or https://) with headers (kept by the caller until the
    // transfer is over) and errorBuffer (CURL_ERROR_SIZE bytes); false when libcurl refused any
    // of it.
    static bool Apply(CURL* easy, const wxString& url, curl_slist* headers, const wxString& userAgent,
                      bool compression, char* errorBuffer);

    // "host" or "host:port", as a "Host" header names a server: the scheme's own port left out.
    static wxString Authority(const wxString& host, unsigned short port, bool secure);

    // "host:port" with both parts; anything else is no proxy.
    static bool SplitProxy(const wxString& proxy, wxString& host, unsigned short& port);
};
