#pragma once

#include <wx/protocol/http.h>

#include <functional>
#include <string>

class StopSignal;
class wxURI;
struct curl_slist;
// As libcurl declares them.
typedef void CURL;
typedef void CURLM;

// The HTTP client of every request the plug-in makes, over libcurl: http or https (the site's
// certificate checked against the system's store), the answer taken gzip- or deflate-compressed
// and decoded as it comes, and the connection kept for the client's next request. Callers set
// headers and read the answer through the toolkit's wxHTTP interface, as they would there.
// Each wait is bounded by the time-out (SetTimeout), all waits of a request together by
// MAX_WAIT_SECONDS, and a stop test or stop signal ends any wait at once. The body is pulled as
// the reader takes it: what the reader has not asked for yet waits in the connection, not here.
// Nothing of it meets the main loop. With a system proxy, plain http goes through it, port and
// all; https follows https_proxy and no_proxy as libcurl reads them.
// One thread at a time; the answer's stream must go before the next request and the client.
class HttpClient : public wxHTTP
{
public:
    // No request waits on its server longer than this in all, whatever the server does.
    static constexpr int MAX_WAIT_SECONDS = 15;

    HttpClient();
    ~HttpClient() override;

    // Names the server (reached by http unless SetSecure); the connection is made, or an open one
    // to the same server taken again, by GetInputStream.
    bool Connect(const wxString& host, unsigned short port) override;
    bool Connect(const wxString& host) override { return Connect(host, 0); }
    bool Connect(const wxSockAddress& address, bool wait = true) override;
    wxInputStream* GetInputStream(const wxString& path) override;
    // Ends the request under way; a connection whose answer was read whole stays for the next.
    bool Abort() override;

    // The request of url's scheme (http or https), host, port, path and query.
    wxInputStream* Open(const wxURI& url);

    void SetSecure(bool secure) { m_secure = secure; }
    // Sent as "Host" in place of the server's own name.
    void SetHostHeader(const wxString& host) { m_hostHeader = host; }
    // Asked during every wait; true gives the request up.
    void SetStopTest(const std::function<bool()>& shouldStop) { m_shouldStop = shouldStop; }
    // Raising it gives the request up at once, whatever it waits for.
    void SetStopSignal(StopSignal* signal) { m_stopSignal = signal; }
    // Whether the answer may come compressed; it may unless told otherwise.
    void SetCompression(bool accepted) { m_compression = accepted; }
    // For the next request only: once it has gone out, this long is slept before its answer is
    // waited for (a stop ends it, and gives the request up), so that the answer is all there to be
    // read in one go. Not part of any time-out.
    void SetPauseBeforeAnswer(long ms) { m_pauseBeforeAnswerMs = ms; }

    // The "host:port" the request goes to: the server's own, or the proxy's.
    wxString GetRoute() const;
    // Whether the answer came compressed, so that its "Content-Length" is not the body's.
    bool IsEncoded() const;

    // The proxy plain http goes through: "host:port", or empty for none. Any thread.
    static void SetProxy(const wxString& proxy);
    static wxString GetProxy();

private:
    class BodyStream;

    enum Wait
    {
        READY,     // what was waited for is there
        ENDED,     // the transfer is over, well or badly: m_result says which
        TIMED_OUT, // a wait or the budget ran out
        STOPPED    // the stop test or signal said so
    };

    bool MakeHandles();
    bool Configure(const wxString& url);
    // Runs the transfer until ready() holds or it ends, waiting on the network between turns.
    Wait Drive(const std::function<bool()>& ready);
    // Gets more of the body into m_pending; false at its end, good or bad.
    bool FillBody();
    bool ShouldStop() const;
    // Sleeps ms; false when stopped meanwhile.
    bool PauseBeforeAnswer(long ms);
    void TakeMessages();
    wxString DescribeFailure(Wait wait) const;

    static size_t OnHeader(char* data, size_t size, size_t count, void* client);
    static size_t OnBody(char* data, size_t size, size_t count, void* client);

    wxString m_server;
    unsigned short m_port = 0;
    bool m_secure = false;
    bool m_compression = true;
    long m_pauseBeforeAnswerMs = 0;
    wxString m_hostHeader;
    std::function<bool()> m_shouldStop;
    StopSignal* m_stopSignal = nullptr;

    CURLM* m_multi = nullptr;
    CURL* m_easy = nullptr;
    curl_slist* m_requestHeaders = nullptr;
    bool m_attached = false;
    wxString m_url;
    char m_error[256];

    // The transfer under way.
    long m_waitMs = 0;
    long m_waitedMs = 0;
    size_t m_headBytes = 0;
    bool m_headComplete = false;
    bool m_done = false;
    int m_result = 0;
    bool m_paused = false;
    // Body bytes taken from the transfer and not yet read, from m_pendingAt on.
    std::string m_pending;
    size_t m_pendingAt = 0;
};
