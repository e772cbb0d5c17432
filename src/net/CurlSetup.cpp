#include "net/CurlSetup.h"

#include "net/HttpClient.h"

#include <wx/utils.h>

#include <curl/curl.h>

namespace
{
const char ACCEPTED_ENCODINGS[] = "gzip, deflate";

std::string Utf8(const wxString& text)
{
    return std::string(text.utf8_str().data());
}
}

bool CurlSetup::Apply(CURL* easy, const wxString& url, curl_slist* headers, const wxString& userAgent,
                      bool compression, char* errorBuffer)
{
    bool ok = true;
    auto set = [&](CURLoption option, auto value) { ok = ok && curl_easy_setopt(easy, option, value) == CURLE_OK; };
    set(CURLOPT_URL, Utf8(url).c_str());
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    set(CURLOPT_HTTPHEADER, headers);
    set(CURLOPT_USERAGENT, Utf8(userAgent).c_str());
    if ( compression )
        set(CURLOPT_ACCEPT_ENCODING, ACCEPTED_ENCODINGS);
    set(CURLOPT_ERRORBUFFER, errorBuffer);
    // A backstop only: the callers bound their waits more closely.
    set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(HttpClient::MAX_WAIT_SECONDS) * 1000L);

    // The certificate is always checked. The system's store is where OpenSSL is told it is.
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    wxString store;
    if ( wxGetEnv("SSL_CERT_FILE", &store) && !store.empty() )
        set(CURLOPT_CAINFO, Utf8(store).c_str());
    if ( wxGetEnv("SSL_CERT_DIR", &store) && !store.empty() )
        set(CURLOPT_CAPATH, Utf8(store).c_str());

    if ( !url.Lower().StartsWith("https:") )
    {
        // Ours, or none at all: libcurl would otherwise look for one of its own.
        wxString host;
        unsigned short port = 0;
        const bool viaProxy = SplitProxy(HttpClient::GetProxy(), host, port);
        set(CURLOPT_PROXY, viaProxy ? Utf8("http://" + Authority(host, port, false)).c_str() : "");
    }
    // Proxy answers to CONNECT are not the site's.
    set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    return ok;
}

wxString CurlSetup::Authority(const wxString& host, unsigned short port, bool secure)
{
    wxString text = host;
    if ( port && port != (secure ? 443 : 80) )
        text << ":" << port;
    return text;
}

bool CurlSetup::SplitProxy(const wxString& proxy, wxString& host, unsigned short& port)
{
    host = proxy.BeforeFirst(':');
    unsigned long number = 0;
    if ( host.empty() || !proxy.AfterFirst(':').ToULong(&number) || number == 0 || number > 65535 )
        return false;
    port = static_cast<unsigned short>(number);
    return true;
}
