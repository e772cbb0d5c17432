#pragma once

#include <httplib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

namespace sitesim
{

class ConnectionStream;
class TlsContext;

// The HTTP server under the simulated site: the library's request parsing and response
// writing, with connection handling of our own, so that a fault can drop a connection
// without an answer and a stop ends every connection at once, whatever it is doing.
// A connection carries requests one after another for as long as the client keeps it, as a
// browser's or a poller's would; with a TLS context, a client that opens with a TLS handshake
// gets https on the same port.
class SiteServer : public httplib::Server
{
public:
    using RequestHandler =
        std::function<void(const httplib::Request&, httplib::Response&, ConnectionStream&)>;
    using ExchangeDone = std::function<void(const ConnectionStream&)>;

    SiteServer(RequestHandler handler, ExchangeDone done, std::shared_ptr<const TlsContext> tls = nullptr);

    // Binds and listens on 127.0.0.1; port 0 takes a free one. False if that fails.
    bool Open(int port);
    int GetPort() const { return m_port; }

    // Accepts connections until Close; call on a thread of its own.
    void Run();
    // Stops accepting and drops every connection; Run then returns soon.
    void Close();

    // Connections accepted and not yet closed.
    size_t CountConnections();

private:
    bool process_and_close_socket(socket_t sock) override;

    RequestHandler m_handler;
    ExchangeDone m_done;
    std::shared_ptr<const TlsContext> m_tls;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::mutex m_connectionsMutex;
    std::set<int> m_connections;
};

}
