#include "net/HttpClient.h"

#include "net/CurlSetup.h"
#include "net/StopSignal.h"

#include <wx/log.h>
#include <wx/sckaddr.h>
#include <wx/stopwatch.h>
#include <wx/strconv.h>
#include <wx/thread.h>
#include <wx/uri.h>
#include <wx/utils.h>

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace
{
static_assert(CURL_ERROR_SIZE <= 256, "the error buffer holds libcurl's longest message");

// Without a stop signal to wake a wait, the stop test is asked this often.
const long SLICE_MS = 100;
// More of the body than this waits in the connection until the reader has taken what is here.
const size_t BODY_HIGH_WATER = 64 * 1024;
// A longer head is not an answer we can use.
const size_t MAX_HEAD = 64 * 1024;

// libcurl's global state, set up while the library loads (on the thread that loads it, before any
// other can use it) and released when it goes.
struct CurlLibrary
{
    CurlLibrary() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlLibrary() { curl_global_cleanup(); }
};
const CurlLibrary gs_curl;

wxMutex gs_proxyLock;
wxString gs_proxy;

using Clock = std::chrono::steady_clock;

long MillisecondsSince(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

std::string Utf8(const wxString& text)
{
    return std::string(text.utf8_str().data());
}
}

// The body of an answer, pulled from the transfer as it is read. It ends where the answer ends;
// an answer that breaks off (shorter than its "Content-Length", a connection dropped in the
// middle of a chunked or compressed body, a wait that timed out or was stopped) is a read error.
class HttpClient::BodyStream : public wxInputStream
{
public:
    BodyStream(HttpClient& client, size_t size)
        : m_client(client)
        , m_size(size)
    {
    }
    ~BodyStream() override { m_client.Abort(); }

    size_t GetSize() const override { return m_size; }
    bool CanRead() const override
    {
        return m_lasterror == wxSTREAM_NO_ERROR && m_client.m_pendingAt < m_client.m_pending.size();
    }

protected:
    size_t OnSysRead(void* buffer, size_t size) override;

private:
    HttpClient& m_client;
    size_t m_size;
};

size_t HttpClient::BodyStream::OnSysRead(void* buffer, size_t size)
{
    std::string& pending = m_client.m_pending;
    size_t& at = m_client.m_pendingAt;
    if ( at >= pending.size() && !m_client.FillBody() )
    {
        m_lasterror = m_client.m_done && m_client.m_result == CURLE_OK ? wxSTREAM_EOF : wxSTREAM_READ_ERROR;
        return 0;
    }
    const size_t taken = std::min(size, pending.size() - at);
    std::memcpy(buffer, pending.data() + at, taken);
    at += taken;
    m_lasterror = wxSTREAM_NO_ERROR;
    return taken;
}

HttpClient::HttpClient()
{
    m_error[0] = '\0';
}

HttpClient::~HttpClient()
{
    Abort();
    if ( m_easy )
        curl_easy_cleanup(m_easy);
    // Closes the connections kept for later requests.
    if ( m_multi )
        curl_multi_cleanup(m_multi);
    curl_slist_free_all(m_requestHeaders);
}

void HttpClient::SetProxy(const wxString& proxy)
{
    wxMutexLocker lock(gs_proxyLock);
    gs_proxy = proxy;
}

wxString HttpClient::GetProxy()
{
    wxMutexLocker lock(gs_proxyLock);
    // A copy of its own for the calling thread.
    return gs_proxy.Clone();
}

bool HttpClient::Connect(const wxString& host, unsigned short port)
{
    Abort();
    m_server = host;
    m_port = port;
    m_lastError = wxPROTO_NOERR;
    return true;
}

bool HttpClient::Connect(const wxSockAddress& address, bool WXUNUSED(wait))
{
    const wxIPV4address* ipv4 = wxDynamicCast(&address, wxIPV4address);
    if ( !ipv4 )
    {
        m_lastError = wxPROTO_NETERR;
        return false;
    }
    return Connect(ipv4->OrigHostname(), ipv4->Service());
}

bool HttpClient::Abort()
{
    // Taken out before its end, the transfer's connection is closed; after it, kept.
    if ( m_attached )
        curl_multi_remove_handle(m_multi, m_easy);
    m_attached = false;
    m_paused = false;
    m_pending.clear();
    m_pendingAt = 0;
    return true;
}

wxString HttpClient::GetRoute() const
{
    wxString host;
    unsigned short port = 0;
    if ( !m_secure && CurlSetup::SplitProxy(GetProxy(), host, port) )
        return CurlSetup::Authority(host, port, false);
    return CurlSetup::Authority(m_server, m_port, m_secure);
}

bool HttpClient::IsEncoded() const
{
    const wxString encoding = GetHeader("Content-Encoding").Strip(wxString::both);
    return !encoding.empty() && encoding.CmpNoCase("identity") != 0;
}

wxInputStream* HttpClient::Open(const wxURI& url)
{
    unsigned long port = 0;
    if ( !url.GetPort().ToULong(&port) || port > 65535 )
        port = 0;
    Connect(url.GetServer(), static_cast<unsigned short>(port));
    SetSecure(url.GetScheme().Lower() == "https");
    wxString path = url.GetPath();
    if ( path.empty() )
        path = "/";
    if ( url.HasQuery() )
        path += "?" + url.GetQuery();
    if ( url.HasFragment() )
        path += "#" + url.GetFragment();
    return GetInputStream(path);
}

bool HttpClient::MakeHandles()
{
    if ( !m_multi )
        m_multi = curl_multi_init();
    if ( !m_easy )
        m_easy = curl_easy_init();
    return m_multi && m_easy;
}

bool HttpClient::Configure(const wxString& url)
{
    // Everything as new but what is worth keeping: open connections, TLS sessions, names.
    curl_easy_reset(m_easy);
    curl_slist_free_all(m_requestHeaders);
    m_requestHeaders = nullptr;

    // What the caller set since the last answer, as the toolkit would send it; an answer's own
    // headers, still held for GetHeader, are never sent back.
    wxStringToStringHashMap headers;
    if ( !m_read )
        headers = m_headers;
    if ( !m_hostHeader.empty() )
        headers["Host"] = m_hostHeader;
    if ( !m_username.empty() || !m_password.empty() )
        headers["Authorization"] = GenerateAuthString(m_username, m_password);
    wxString userAgent = wxVERSION_STRING;
    for ( wxHeaderConstIterator it = headers.begin(); it != headers.end(); ++it )
    {
        if ( !it->first.CmpNoCase("User-Agent") )
        {
            userAgent = it->second;
            continue;
        }
        const std::string line = std::string(wxString::Format("%s: %s", it->first, it->second).mb_str().data());
        m_requestHeaders = curl_slist_append(m_requestHeaders, line.c_str());
    }

    bool ok = CurlSetup::Apply(m_easy, url, m_requestHeaders, userAgent, m_compression, m_error);
    auto set = [&](CURLoption option, auto value) { ok = ok && curl_easy_setopt(m_easy, option, value) == CURLE_OK; };
    if ( !m_method.empty() && m_method != "GET" )
        set(CURLOPT_CUSTOMREQUEST, Utf8(m_method).c_str());
    set(CURLOPT_HEADERFUNCTION, &HttpClient::OnHeader);
    set(CURLOPT_HEADERDATA, static_cast<void*>(this));
    set(CURLOPT_WRITEFUNCTION, &HttpClient::OnBody);
    set(CURLOPT_WRITEDATA, static_cast<void*>(this));
    return ok;
}

wxInputStream* HttpClient::GetInputStream(const wxString& path)
{
    Abort();
    m_lastError = wxPROTO_CONNERR;
    m_http_response = 0;
    if ( m_server.empty() || !MakeHandles() )
        return nullptr;

    m_url = wxString(m_secure ? "https://" : "http://") + CurlSetup::Authority(m_server, m_port, m_secure) + path;
    if ( !Configure(m_url) )
    {
        wxLogTrace("lumora", "HttpClient: cannot make the request of %s", m_url);
        return nullptr;
    }
    const long timeout = GetTimeout() > 0 ? static_cast<long>(GetTimeout()) : 1;
    m_waitMs = std::min<long>(timeout, MAX_WAIT_SECONDS) * 1000;
    m_waitedMs = 0;
    m_headBytes = 0;
    m_headComplete = false;
    m_done = false;
    m_result = CURLE_OK;
    m_error[0] = '\0';
    if ( curl_multi_add_handle(m_multi, m_easy) != CURLM_OK )
        return nullptr;
    m_attached = true;

    wxLogTrace("lumora", "HttpClient: GET %s via %s", m_url, GetRoute());
    const long pause = m_pauseBeforeAnswerMs;
    m_pauseBeforeAnswerMs = 0;
    const Wait head = PauseBeforeAnswer(pause) ? Drive([this] { return m_headComplete; }) : STOPPED;
    if ( head != READY )
    {
        wxLogTrace("lumora", "HttpClient: %s %s", m_url, DescribeFailure(head));
        m_lastError = head == ENDED ? wxPROTO_NETERR : wxPROTO_CONNERR;
        Abort();
        return nullptr;
    }
    const int code = m_http_response;
    if ( code < 100 || code >= 400 )
    {
        wxLogTrace("lumora", "HttpClient: %s answered %d", m_url, code);
        m_lastError = wxPROTO_NOFILE;
        Abort();
        return nullptr;
    }

    // Compressed, "Content-Length" counts what came, not what is read.
    const wxString length = GetHeader("Content-Length");
    const size_t size =
        length.empty() || IsEncoded() ? static_cast<size_t>(-1) : static_cast<size_t>(wxAtoi(length));
    m_lastError = wxPROTO_NOERR;
    return new BodyStream(*this, size);
}

bool HttpClient::PauseBeforeAnswer(long ms)
{
    if ( ms <= 0 )
        return true;
    // On a kept connection this sends the request; a new one is made once the pause is over.
    int running = 0;
    curl_multi_perform(m_multi, &running);
    if ( m_stopSignal )
        return m_stopSignal->Sleep(ms) && !ShouldStop();
    for ( wxStopWatch pause; pause.Time() < ms; wxMilliSleep(std::min(SLICE_MS, ms - pause.Time())) )
    {
        if ( ShouldStop() )
            return false;
    }
    return !ShouldStop();
}

bool HttpClient::ShouldStop() const
{
    return (m_stopSignal && m_stopSignal->IsRaised()) || (m_shouldStop && m_shouldStop());
}

void HttpClient::TakeMessages()
{
    int left = 0;
    while ( CURLMsg* message = curl_multi_info_read(m_multi, &left) )
    {
        if ( message->msg == CURLMSG_DONE && message->easy_handle == m_easy )
        {
            m_done = true;
            m_result = message->data.result;
        }
    }
}

HttpClient::Wait HttpClient::Drive(const std::function<bool()>& ready)
{
    CURLM* multi = m_multi;
    // A stop request interrupts the wait below wherever it comes from.
    StopSignal::Waker waker(m_stopSignal, [multi] { curl_multi_wakeup(multi); });
    Clock::time_point waitStart = Clock::now();
    for ( ;; )
    {
        if ( ShouldStop() )
            return STOPPED;
        int running = 0;
        if ( curl_multi_perform(m_multi, &running) != CURLM_OK )
        {
            m_done = true;
            m_result = CURLE_FAILED_INIT;
            return ENDED;
        }
        TakeMessages();
        if ( ready() )
            return READY;
        if ( m_done )
            return ENDED;

        const long left = std::min(m_waitMs - MillisecondsSince(waitStart),
                                   MAX_WAIT_SECONDS * 1000L - m_waitedMs);
        if ( left <= 0 )
            return TIMED_OUT;
        // Waits without a signal look at the stop test now and then; with one, only when woken.
        const long slice = m_stopSignal ? left : std::min(left, SLICE_MS);
        const Clock::time_point pollStart = Clock::now();
        int events = 0;
        curl_multi_poll(m_multi, nullptr, 0, static_cast<int>(slice), &events);
        m_waitedMs += MillisecondsSince(pollStart);
        // Something came or went on the connection: a new wait begins.
        if ( events > 0 )
            waitStart = Clock::now();
    }
}

bool HttpClient::FillBody()
{
    m_pending.clear();
    m_pendingAt = 0;
    if ( !m_attached )
        return false;
    if ( m_paused )
    {
        // What the transfer held back comes now, the rest as the connection brings it.
        m_paused = false;
        curl_easy_pause(m_easy, CURLPAUSE_CONT);
    }
    if ( !m_pending.empty() )
        return true;
    const Wait wait = Drive([this] { return !m_pending.empty(); });
    if ( wait == READY )
        return true;
    if ( wait != ENDED || m_result != CURLE_OK )
        wxLogTrace("lumora", "HttpClient: reading %s %s", m_url, DescribeFailure(wait));
    if ( wait != ENDED )
    {
        m_done = true;
        m_result = wait == STOPPED ? CURLE_ABORTED_BY_CALLBACK : CURLE_OPERATION_TIMEDOUT;
    }
    return false;
}

wxString HttpClient::DescribeFailure(Wait wait) const
{
    switch ( wait )
    {
        case READY:
            break;
        case TIMED_OUT:
            return m_waitedMs >= MAX_WAIT_SECONDS * 1000L ? "took longer than all its waits may" : "timed out";
        case STOPPED:
            return "stopped";
        case ENDED:
        {
            const CURLcode code = static_cast<CURLcode>(m_result);
            if ( code == CURLE_OK )
                return "ended without an answer";
            const wxString detail = m_error[0] ? wxString::FromUTF8(m_error) : wxString(curl_easy_strerror(code));
            if ( code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CACERT_BADFILE
                 || code == CURLE_SSL_CERTPROBLEM )
                return "refused: its certificate does not check out (" + detail + ")";
            return "failed: " + detail;
        }
    }
    return wxString();
}

size_t HttpClient::OnHeader(char* data, size_t size, size_t count, void* self)
{
    HttpClient& client = *static_cast<HttpClient*>(self);
    const size_t length = size * count;
    client.m_headBytes += length;
    if ( client.m_headBytes > MAX_HEAD )
    {
        // A short count ends the transfer.
        wxLogTrace("lumora", "HttpClient: the head from %s is too long", client.m_url);
        return 0;
    }
    size_t end = length;
    while ( end > 0 && (data[end - 1] == '\n' || data[end - 1] == '\r') )
        --end;
    const wxString line(data, wxWhateverWorksConv(), end);
    if ( line.StartsWith("HTTP/") )
    {
        // A new head: an interim answer's or the answer's own.
        client.ClearHeaders();
        client.ClearCookies();
        client.m_http_response = wxAtoi(line.AfterFirst(' ').BeforeFirst(' '));
        return length;
    }
    if ( line.empty() )
    {
        // Interim answers ("100 Continue") are followed by the real one.
        if ( client.m_http_response >= 200 || client.m_http_response == 0 )
        {
            client.m_headComplete = true;
            client.m_read = true;
        }
        return length;
    }
    const wxString name = line.BeforeFirst(':');
    const wxString value = line.AfterFirst(':').Strip(wxString::both);
    if ( !name.CmpNoCase("Set-Cookie") )
        client.m_cookies[value.BeforeFirst('=')] = value.AfterFirst('=').BeforeFirst(';');
    client.m_headers[name] = value;
    return length;
}

size_t HttpClient::OnBody(char* data, size_t size, size_t count, void* self)
{
    HttpClient& client = *static_cast<HttpClient*>(self);
    const size_t length = size * count;
    // The reader is behind: the rest comes when it asks.
    if ( client.m_pending.size() - client.m_pendingAt >= BODY_HIGH_WATER )
    {
        client.m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    client.m_pending.append(data, length);
    return length;
}
