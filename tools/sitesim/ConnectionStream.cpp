#include "sitesim/ConnectionStream.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cerrno>
#include <climits>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace sitesim
{

namespace
{
thread_local ConnectionStream* t_current = nullptr;

// Short enough that a stop is seen at once, long enough not to spin.
const int POLL_SLICE_MS = 50;
// The first byte of a TLS handshake record.
const unsigned char TLS_HANDSHAKE = 0x16;

void AddressOf(const sockaddr_storage& address, std::string& ip, int& port)
{
    char text[INET6_ADDRSTRLEN] = {0};
    if ( address.ss_family == AF_INET )
    {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof(text));
        port = ntohs(in->sin_port);
    }
    else if ( address.ss_family == AF_INET6 )
    {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address);
        inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof(text));
        port = ntohs(in6->sin6_port);
    }
    ip = text;
}
}

ConnectionStream::ConnectionStream(int sock, const std::atomic<bool>& stopping, int readTimeoutMs,
                                   int writeTimeoutMs)
    : m_sock(sock)
    , m_stopping(stopping)
    , m_readTimeoutMs(readTimeoutMs)
    , m_writeTimeoutMs(writeTimeoutMs)
{
}

ConnectionStream::~ConnectionStream()
{
    if ( !m_ssl )
        return;
    // A courtesy only: the connection is closed right after, whatever the client does.
    if ( !m_aborted && !m_stopping )
        SSL_shutdown(m_ssl);
    SSL_free(m_ssl);
    ERR_clear_error();
}

bool ConnectionStream::StartsWithTls()
{
    if ( !WaitFor(POLLIN) )
        return false;
    unsigned char first = 0;
    ssize_t peeked = 0;
    while ( (peeked = ::recv(m_sock, &first, 1, MSG_PEEK)) < 0 && errno == EINTR )
        continue;
    return peeked == 1 && first == TLS_HANDSHAKE;
}

bool ConnectionStream::StartTls(SSL* session)
{
    if ( !session )
        return false;
    m_ssl = session;
    // OpenSSL reads and writes without blocking; we wait, as for plain connections.
    ::fcntl(m_sock, F_SETFL, ::fcntl(m_sock, F_GETFL) | O_NONBLOCK);
    for ( ;; )
    {
        const int result = SSL_accept(m_ssl);
        if ( result == 1 )
            return true;
        const int error = SSL_get_error(m_ssl, result);
        if ( error == SSL_ERROR_WANT_READ ? !WaitFor(POLLIN)
                                          : error != SSL_ERROR_WANT_WRITE || !WaitFor(POLLOUT) )
        {
            // The client's refusal of our certificate ends here, as it should.
            ERR_clear_error();
            m_aborted = true;
            return false;
        }
    }
}

bool ConnectionStream::WaitForRequest(int ms)
{
    if ( m_bufferStart < m_bufferEnd || (m_ssl && SSL_pending(m_ssl) > 0) )
        return true;
    return WaitFor(POLLIN, ms);
}

void ConnectionStream::BeginExchange()
{
    m_headerEndState = 0;
    m_bodyBytes = 0;
    m_method.clear();
    m_target.clear();
    m_remark.clear();
    m_status = 0;
    m_requestSerial = 0;
    m_receivedHeaders.clear();
}

bool ConnectionStream::WaitFor(short events) const
{
    return WaitFor(events, (events & POLLOUT) ? m_writeTimeoutMs : m_readTimeoutMs);
}

bool ConnectionStream::WaitFor(short events, int timeoutMs) const
{
    const bool writing = (events & POLLOUT) != 0;
    const auto timeout = std::chrono::milliseconds(timeoutMs);
    auto deadline = std::chrono::steady_clock::now() + timeout;
    int queued = writing ? Unsent() : 0;
    for ( ;; )
    {
        if ( m_stopping || m_aborted )
            return false;
        if ( writing )
        {
            // Bytes leaving the queue are progress: the time-out runs from the last of them.
            const int now = Unsent();
            if ( now < queued )
                deadline = std::chrono::steady_clock::now() + timeout;
            queued = now;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if ( left <= 0 )
            return false;
        pollfd descriptor{m_sock, events, 0};
        const int ready = ::poll(&descriptor, 1, static_cast<int>(std::min<long long>(left, POLL_SLICE_MS)));
        if ( ready > 0 )
            return true; // errors and hang-ups too: the next call reports them
        if ( ready < 0 && errno != EINTR )
            return false;
    }
}

int ConnectionStream::Unsent() const
{
    int bytes = 0;
    return ::ioctl(m_sock, SIOCOUTQ, &bytes) == 0 ? bytes : 0;
}

bool ConnectionStream::is_readable() const
{
    return m_bufferStart < m_bufferEnd || (m_ssl && SSL_pending(m_ssl) > 0) || WaitFor(POLLIN);
}

bool ConnectionStream::is_writable() const
{
    return WaitFor(POLLOUT);
}

ssize_t ConnectionStream::Receive()
{
    if ( !m_ssl )
    {
        if ( !WaitFor(POLLIN) )
            return -1;
        ssize_t received = 0;
        while ( (received = ::recv(m_sock, m_buffer, sizeof(m_buffer), 0)) < 0 && errno == EINTR )
            continue;
        return received;
    }
    for ( ;; )
    {
        if ( m_stopping || m_aborted )
            return -1;
        const int received = SSL_read(m_ssl, m_buffer, static_cast<int>(sizeof(m_buffer)));
        if ( received > 0 )
            return received;
        const int error = SSL_get_error(m_ssl, received);
        if ( error == SSL_ERROR_WANT_READ ? WaitFor(POLLIN) : error == SSL_ERROR_WANT_WRITE && WaitFor(POLLOUT) )
            continue;
        ERR_clear_error();
        // A client that just goes (with or without saying so) has closed the connection.
        return error == SSL_ERROR_ZERO_RETURN || error == SSL_ERROR_SYSCALL ? 0 : -1;
    }
}

ssize_t ConnectionStream::read(char* ptr, size_t size)
{
    if ( m_bufferStart == m_bufferEnd )
    {
        const ssize_t received = Receive();
        if ( received <= 0 )
            return received;
        m_bufferStart = 0;
        m_bufferEnd = static_cast<size_t>(received);
    }
    const size_t count = std::min(size, m_bufferEnd - m_bufferStart);
    std::memcpy(ptr, m_buffer + m_bufferStart, count);
    m_bufferStart += count;
    return static_cast<ssize_t>(count);
}

ssize_t ConnectionStream::write(const char* ptr, size_t size)
{
    if ( size == 0 )
        return 0;
    if ( !WaitFor(POLLOUT) )
        return -1;
    if ( m_ssl )
    {
        const int sent = SSL_write(m_ssl, ptr, static_cast<int>(std::min<size_t>(size, INT_MAX)));
        if ( sent > 0 )
        {
            CountSent(ptr, static_cast<size_t>(sent));
            return sent;
        }
        const int error = SSL_get_error(m_ssl, sent);
        if ( error == SSL_ERROR_WANT_WRITE || error == SSL_ERROR_WANT_READ )
            return 0;
        ERR_clear_error();
        return -1;
    }
    const ssize_t sent = ::send(m_sock, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if ( sent < 0 )
    {
        // Full after all: the caller tries again and waits in WaitFor.
        if ( errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR )
            return 0;
        return -1;
    }
    CountSent(ptr, static_cast<size_t>(sent));
    return sent;
}

void ConnectionStream::CountSent(const char* data, size_t size)
{
    static const char END[] = "\r\n\r\n";
    size_t i = 0;
    while ( m_headerEndState < 4 && i < size )
    {
        if ( data[i] == END[m_headerEndState] )
            ++m_headerEndState;
        else
            m_headerEndState = data[i] == '\r' ? 1 : 0;
        ++i;
    }
    m_bodyBytes += size - i;
}

void ConnectionStream::get_remote_ip_and_port(std::string& ip, int& port) const
{
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    port = -1;
    if ( ::getpeername(m_sock, reinterpret_cast<sockaddr*>(&address), &length) == 0 )
        AddressOf(address, ip, port);
}

void ConnectionStream::get_local_ip_and_port(std::string& ip, int& port) const
{
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    port = -1;
    if ( ::getsockname(m_sock, reinterpret_cast<sockaddr*>(&address), &length) == 0 )
        AddressOf(address, ip, port);
}

socket_t ConnectionStream::socket() const
{
    return m_sock;
}

void ConnectionStream::Abort()
{
    m_aborted = true;
}

void ConnectionStream::NoteExchange(const std::string& method, const std::string& target, int status,
                                    const std::string& remark)
{
    m_method = method;
    m_target = target;
    m_status = status;
    m_remark = remark;
}

std::string ConnectionStream::DescribeExchange() const
{
    std::string line = m_method + " " + m_target + " ";
    line += m_aborted && m_status == 0 ? std::string("-") : std::to_string(m_status);
    line += " " + std::to_string(m_bodyBytes);
    if ( !m_remark.empty() )
        line += " [" + m_remark + "]";
    return line;
}

ConnectionStream* ConnectionStream::Current()
{
    return t_current;
}

ConnectionStream::Scope::Scope(ConnectionStream& stream)
{
    t_current = &stream;
}

ConnectionStream::Scope::~Scope()
{
    t_current = nullptr;
}

}
