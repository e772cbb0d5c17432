#include "net/TcpConnection.h"

#include <wx/log.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
// How often a wait asks the stop test.
const int SLICE_MS = 100;

long ElapsedMs(std::chrono::steady_clock::time_point since)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count());
}
}

TcpConnection::TcpConnection(int waitMs, int budgetMs, const std::function<bool()>& shouldStop)
    : m_waitMs(std::max(waitMs, 1))
    , m_budgetMs(std::max(budgetMs, 1))
    , m_shouldStop(shouldStop)
{
}

TcpConnection::~TcpConnection()
{
    Close();
}

void TcpConnection::Close()
{
    if ( m_fd < 0 )
        return;
    ::close(m_fd);
    m_fd = -1;
}

const char* TcpConnection::Describe(Result result)
{
    switch ( result )
    {
        case DONE: return "done";
        case CLOSED: return "closed by the server";
        case TIMED_OUT: return "timed out";
        case STOPPED: return "stopped";
        case FAILED: return "failed";
    }
    return "?";
}

TcpConnection::Result TcpConnection::WaitFor(short events)
{
    const auto start = std::chrono::steady_clock::now();
    for ( ;; )
    {
        if ( m_shouldStop && m_shouldStop() )
            return STOPPED;
        const long waited = ElapsedMs(start);
        const long left = std::min<long>(m_waitMs - waited, m_budgetMs - waited);
        if ( left <= 0 )
        {
            m_budgetMs -= waited;
            return TIMED_OUT;
        }
        pollfd descriptor = { m_fd, events, 0 };
        const int ready = ::poll(&descriptor, 1, static_cast<int>(std::min<long>(left, SLICE_MS)));
        if ( ready < 0 && errno != EINTR )
            return FAILED;
        if ( ready > 0 )
        {
            m_budgetMs -= ElapsedMs(start);
            // Errors and hang-ups are told by the call that follows.
            return DONE;
        }
    }
}

TcpConnection::Result TcpConnection::Connect(const wxString& host, unsigned short port)
{
    Close();
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if ( ::getaddrinfo(host.utf8_str().data(), nullptr, &hints, &found) != 0 || !found )
    {
        wxLogTrace("lumora", "TcpConnection: cannot resolve %s", host);
        return FAILED;
    }
    sockaddr_in address;
    std::memcpy(&address, found->ai_addr, sizeof address);
    ::freeaddrinfo(found);
    address.sin_port = htons(port ? port : 80);

    // Non-blocking, so that connecting waits no longer than we allow.
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if ( m_fd < 0 )
        return FAILED;
    if ( ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 )
        return DONE;
    if ( errno != EINPROGRESS )
        return FAILED;
    const Result waited = WaitFor(POLLOUT);
    if ( waited != DONE )
        return waited;
    int error = 0;
    socklen_t length = sizeof error;
    if ( ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0 )
        return FAILED;
    return DONE;
}

TcpConnection::Result TcpConnection::Send(const char* data, size_t size)
{
    while ( size > 0 )
    {
        if ( m_fd < 0 )
            return FAILED;
        const ssize_t sent = ::send(m_fd, data, size, MSG_NOSIGNAL);
        if ( sent < 0 )
        {
            if ( errno == EINTR )
                continue;
            if ( errno != EAGAIN && errno != EWOULDBLOCK )
                return FAILED;
            const Result waited = WaitFor(POLLOUT);
            if ( waited != DONE )
                return waited;
            continue;
        }
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return DONE;
}

TcpConnection::Result TcpConnection::Receive(char* buffer, size_t size, size_t& got)
{
    got = 0;
    for ( ;; )
    {
        if ( m_fd < 0 )
            return FAILED;
        const ssize_t read = ::recv(m_fd, buffer, size, 0);
        if ( read > 0 )
        {
            got = static_cast<size_t>(read);
            return DONE;
        }
        if ( read == 0 )
            return CLOSED;
        if ( errno == EINTR )
            continue;
        if ( errno != EAGAIN && errno != EWOULDBLOCK )
            return FAILED;
        const Result waited = WaitFor(POLLIN);
        if ( waited != DONE )
            return waited;
    }
}

bool TcpConnection::HasData() const
{
    if ( m_fd < 0 )
        return false;
    pollfd descriptor = { m_fd, POLLIN, 0 };
    return ::poll(&descriptor, 1, 0) > 0;
}
