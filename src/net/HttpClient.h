#pragma once

#include <wx/protocol/http.h>

#include <functional>
#include <memory>

class TcpConnection;
class wxURL;

// The HTTP client of every request the plug-in makes. It sends what the toolkit's wxHTTP would
// send, byte for byte, but over a connection of its own, because the toolkit's sockets are not fit
// for worker threads here: reading an answer's head hands a worker's socket to the main loop, and a
// blocking socket waits without any time-out. Each wait is bounded by the time-out (SetTimeout), all
// waits of a request together by MAX_WAIT_SECONDS, and a stop test ends any wait at once.
// With a system proxy, it asks the proxy for the whole address, port and all.
// One object per request, used by one thread at a time; the answer's stream must go before it.
class HttpClient : public wxHTTP
{
public:
    // No request waits on its server longer than this in all, whatever the server does.
    static constexpr int MAX_WAIT_SECONDS = 15;

    HttpClient();
    ~HttpClient() override;

    // Names the server; the connection is made by GetInputStream.
    bool Connect(const wxString& host, unsigned short port) override;
    bool Connect(const wxString& host) override { return Connect(host, 0); }
    bool Connect(const wxSockAddress& address, bool wait = true) override;
    wxInputStream* GetInputStream(const wxString& path) override;
    bool Abort() override;

    // The request of url's host, port, path and query, as the toolkit's wxURL builds it.
    wxInputStream* Open(const wxURL& url);

    // Sent as "Host" in place of the server's own name.
    void SetHostHeader(const wxString& host) { m_hostHeader = host; }
    // Asked during every wait; true gives the request up.
    void SetStopTest(const std::function<bool()>& shouldStop) { m_shouldStop = shouldStop; }

    // The "host:port" the request goes to: the server's own, or the proxy's.
    wxString GetRoute() const;

    // The proxy every request goes through: "host:port", or empty for none. Any thread.
    static void SetProxy(const wxString& proxy);
    static wxString GetProxy();

private:
    class BodyStream;

    bool SendRequest(const wxString& target);
    bool ReadHead();
    // One line of the answer's head, without its line end; false when the head is broken.
    bool ReadHeadLine(wxString& line);

    wxString m_server;
    unsigned short m_port = 0;
    wxString m_hostHeader;
    std::function<bool()> m_shouldStop;
    std::unique_ptr<TcpConnection> m_connection;
    // What came with the head but belongs to the body.
    std::string m_pending;
};
