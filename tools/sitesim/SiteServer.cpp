#include "sitesim/SiteServer.h"

#include "sitesim/ConnectionStream.h"
#include "sitesim/ConnectionThreads.h"
#include "sitesim/TlsContext.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sitesim
{

namespace
{
// How long a client may keep its connection without sending us anything of its request.
const int READ_TIMEOUT_MS = 5000;
// How long a connection may wait for its next request: longer than a poller's interval, as a
// site's keep-alive often is, so that a client that polls keeps its connection.
const int KEEP_ALIVE_SECONDS = 60;
const size_t MAX_REQUESTS_PER_CONNECTION = 1000;

// Connections are numbered across the process, so that a site started again never reuses one.
std::atomic<unsigned long> gs_connectionSerial{0};
// How long it may keep it without taking anything of our answer. A client that reads slowly,
// as the plug-in does, lets its window open again only once it has taken a good part of its
// buffer, which at its pace takes seconds: nothing leaves meanwhile, and that is no stall.
const int WRITE_TIMEOUT_MS = 60000;

// Connections that may wait to be accepted: a burst of fifty pictures must find room. Past
// the queue the system drops a client's connection attempts, and the client waits a second
// or more before it tries again.
const int LISTEN_BACKLOG = 128;

void PrepareSocket(int sock)
{
    // Child processes of a test must not inherit our sockets.
    ::fcntl(sock, F_SETFD, FD_CLOEXEC);
}
}

SiteServer::SiteServer(RequestHandler handler, ExchangeDone done, std::shared_ptr<const TlsContext> tls)
    : m_handler(std::move(handler))
    , m_done(std::move(done))
    , m_tls(std::move(tls))
{
    new_task_queue = [] { return new ConnectionThreads; };
    // What each answer says of the connection, as our loop below keeps it.
    set_keep_alive_timeout(KEEP_ALIVE_SECONDS);
    set_keep_alive_max_count(MAX_REQUESTS_PER_CONNECTION);
    // Only SO_REUSEADDR: the library's default of SO_REUSEPORT would let a second server
    // share a port that is taken instead of failing.
    set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        PrepareSocket(sock);
    });
    set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        if ( ConnectionStream* stream = ConnectionStream::Current() )
            m_handler(request, response, *stream);
        return HandlerResponse::Handled;
    });
}

bool SiteServer::Open(int port)
{
    if ( port == 0 )
    {
        m_port = bind_to_any_port("127.0.0.1");
        if ( m_port <= 0 )
            return false;
    }
    else
    {
        if ( !bind_to_port("127.0.0.1", port) )
            return false;
        m_port = port;
    }
    // The packaged library listens with its own short queue, compiled in (its macro for the
    // length does nothing in our files); listening again on the socket makes the queue ours.
    if ( ::listen(svr_sock_, LISTEN_BACKLOG) != 0 )
    {
        Close();
        return false;
    }
    return true;
}

void SiteServer::Run()
{
    listen_after_bind();
}

void SiteServer::Close()
{
    m_stopping = true;
    {
        std::lock_guard<std::mutex> lock(m_connectionsMutex);
        for ( const int sock : m_connections )
            ::shutdown(sock, SHUT_RDWR);
    }
    // Done here rather than with stop(), which does nothing until the accepting loop has
    // begun, and would then leave it running.
    const socket_t listening = svr_sock_.exchange(INVALID_SOCKET);
    if ( listening != INVALID_SOCKET )
    {
        ::shutdown(listening, SHUT_RDWR);
        ::close(listening);
    }
}

size_t SiteServer::CountConnections()
{
    std::lock_guard<std::mutex> lock(m_connectionsMutex);
    return m_connections.size();
}

bool SiteServer::process_and_close_socket(socket_t sock)
{
    PrepareSocket(sock);
    int yes = 1;
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
    // A fixed, modest send buffer: what a client does not read waits on its side, not ours.
    int sendBuffer = 64 * 1024;
    ::setsockopt(sock, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof(sendBuffer));
    {
        std::lock_guard<std::mutex> lock(m_connectionsMutex);
        if ( m_stopping )
        {
            ::close(sock);
            return false;
        }
        m_connections.insert(sock);
    }

    bool served = false;
    {
        ConnectionStream stream(sock, m_stopping, READ_TIMEOUT_MS, WRITE_TIMEOUT_MS);
        stream.SetSerial(++gs_connectionSerial);
        ConnectionStream::Scope scope(stream);
        const bool open = !m_tls || !stream.StartsWithTls() || stream.StartTls(m_tls->NewSession(sock));
        for ( size_t count = 0; open && count < MAX_REQUESTS_PER_CONNECTION; ++count )
        {
            // After the first, a request may be long in coming: a poller asks once a while.
            if ( count > 0 && !stream.WaitForRequest(KEEP_ALIVE_SECONDS * 1000) )
                break;
            stream.BeginExchange();
            const bool last = m_stopping || count + 1 == MAX_REQUESTS_PER_CONNECTION;
            bool connectionClosed = false;
            served = process_request(stream, last, connectionClosed, [&stream](httplib::Request& request) {
                stream.KeepReceivedHeaders(request.headers);
                // Answers go out as the site makes them: compressed only by the site itself,
                // never cut to a range.
                request.headers.erase("Accept-Encoding");
                request.headers.erase("Range");
                request.ranges.clear();
            });
            if ( stream.HasExchange() && m_done )
                m_done(stream);
            // An answer cut short, a fault that drops the connection, a client that said so.
            if ( !served || connectionClosed || last || stream.IsAborted() || m_stopping )
                break;
        }
    }

    {
        std::lock_guard<std::mutex> lock(m_connectionsMutex);
        m_connections.erase(sock);
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
    }
    return served;
}

}
