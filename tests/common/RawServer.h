#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A server on 127.0.0.1 that keeps the raw bytes of every request head, so that a test can see
// what was sent as it was sent. Connections are served one after another: each gets the
// answer, a short text by default, and is closed.
class RawServer
{
public:
    // Writes the answer to the connection; asks stopping() now and then when it takes its time.
    using Answer = std::function<void(int connection, const std::function<bool()>& stopping)>;

    RawServer();
    explicit RawServer(const Answer& answer);
    ~RawServer();

    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    unsigned short GetPort() const { return m_port; }
    std::vector<std::string> GetHeads() const;

    // Sends all of text; false once the client has gone.
    static bool SendAll(int connection, const std::string& text);

private:
    void Serve();

    Answer m_answer;
    int m_listener = -1;
    unsigned short m_port = 0;
    std::atomic<bool> m_stopping{ false };
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_heads;
};
