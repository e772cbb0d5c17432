#pragma once

#include <wx/string.h>

#include <cstddef>
#include <functional>

// One TCP connection, used by one thread from connecting to closing. Every wait is bounded twice:
// by the time-out of a single wait and by a budget for all waits of the connection together, so
// that a server that answers a byte at a time cannot keep it open for ever; and a stop test
// asked several times a second ends any wait at once. The socket never meets an event loop.
class TcpConnection
{
public:
    enum Result
    {
        DONE,
        CLOSED,    // the other side has closed the connection
        TIMED_OUT, // a wait or the budget ran out
        STOPPED,   // the stop test said so
        FAILED     // refused, unreachable, or any other error
    };

    TcpConnection(int waitMs, int budgetMs, const std::function<bool()>& shouldStop);
    ~TcpConnection();

    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // host is a name or an IPv4 address; port 0 means 80.
    Result Connect(const wxString& host, unsigned short port);
    Result Send(const char* data, size_t size);
    // Waits for data, then takes what has arrived, up to size bytes (got > 0 on DONE).
    Result Receive(char* buffer, size_t size, size_t& got);
    // True when Receive would not wait.
    bool HasData() const;
    void Close();

    static const char* Describe(Result result);

private:
    Result WaitFor(short events);

    int m_fd = -1;
    int m_waitMs;
    long m_budgetMs;
    std::function<bool()> m_shouldStop;
};
