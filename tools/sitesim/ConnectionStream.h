#pragma once

#include <httplib.h>

#include <openssl/types.h>

#include <atomic>
#include <map>
#include <string>

namespace sitesim
{

// One client connection as the HTTP library sees it, plain or (after StartTls) over TLS. Unlike
// the library's own stream it never blocks for long: every wait is cut short by the server's stop
// flag or by Abort, and sends never block, so a stop is prompt even while a client stops reading.
// A client that sends nothing is dropped after the read time-out; one that takes nothing of what
// we send, after the write time-out, counted from the last bytes it took. One connection may
// carry several exchanges, one after another.
class ConnectionStream : public httplib::Stream
{
public:
    ConnectionStream(int sock, const std::atomic<bool>& stopping, int readTimeoutMs, int writeTimeoutMs);
    ~ConnectionStream() override;

    // Whether the client opens with a TLS handshake; false also when it sends nothing in time.
    bool StartsWithTls();
    // Takes session (made over this socket) and shakes hands; false when that fails.
    bool StartTls(SSL* session);
    bool IsSecure() const { return m_ssl != nullptr; }

    // Waits up to ms for the client's next request (or its leaving); false when none comes.
    bool WaitForRequest(int ms);
    // The next exchange begins: what was noted about the last one is forgotten.
    void BeginExchange();

    // The connection's number, which the site gives it, for the records.
    void SetSerial(unsigned long serial) { m_serial = serial; }
    unsigned long GetSerial() const { return m_serial; }
    // The number of the request being answered, for the records.
    void SetRequestSerial(size_t serial) { m_requestSerial = serial; }
    size_t GetRequestSerial() const { return m_requestSerial; }

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override;

    // Nothing more goes out; the server closes the connection as soon as it can.
    void Abort();
    bool IsAborted() const { return m_aborted; }

    // The bytes sent after the response's header block.
    size_t GetBodyBytes() const { return m_bodyBytes; }

    // What the request handler noted about the exchange, for the request log.
    void NoteExchange(const std::string& method, const std::string& target, int status,
                      const std::string& remark);
    bool HasExchange() const { return !m_method.empty(); }
    std::string DescribeExchange() const;

    // The request headers as received, before the server drops those it must not act on.
    void KeepReceivedHeaders(const httplib::Headers& headers) { m_receivedHeaders = headers; }
    const httplib::Headers& GetReceivedHeaders() const { return m_receivedHeaders; }

    // The stream of the request that the calling thread is handling, or null.
    static ConnectionStream* Current();

    class Scope
    {
    public:
        explicit Scope(ConnectionStream& stream);
        ~Scope();
    };

private:
    bool WaitFor(short events) const;
    bool WaitFor(short events, int timeoutMs) const;
    // Fills the buffer from the connection; as recv answers.
    ssize_t Receive();
    // Bytes sent but not yet taken by the client.
    int Unsent() const;
    void CountSent(const char* data, size_t size);

    int m_sock;
    SSL* m_ssl = nullptr;
    unsigned long m_serial = 0;
    size_t m_requestSerial = 0;
    const std::atomic<bool>& m_stopping;
    int m_readTimeoutMs;
    int m_writeTimeoutMs;
    std::atomic<bool> m_aborted{false};

    char m_buffer[4096];
    size_t m_bufferStart = 0;
    size_t m_bufferEnd = 0;

    int m_headerEndState = 0; // how much of "\r\n\r\n" has been seen; 4 when the body began
    size_t m_bodyBytes = 0;

    std::string m_method, m_target, m_remark;
    int m_status = 0;
    httplib::Headers m_receivedHeaders;
};

}
