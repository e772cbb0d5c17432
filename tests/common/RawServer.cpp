#include "common/RawServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

RawServer::RawServer()
    : RawServer([](int connection, const std::function<bool()>&) {
        SendAll(connection, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n"
                            "Content-Length: 2\r\nConnection: close\r\n\r\nok");
    })
{
}

RawServer::RawServer(const Answer& answer)
    : m_answer(answer)
{
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if ( bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(m_listener, 16) != 0
         || getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 )
        return;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

RawServer::~RawServer()
{
    m_stopping = true;
    shutdown(m_listener, SHUT_RDWR);
    close(m_listener);
    if ( m_thread.joinable() )
        m_thread.join();
}

std::vector<std::string> RawServer::GetHeads() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_heads;
}

bool RawServer::SendAll(int connection, const std::string& text)
{
    size_t sent = 0;
    while ( sent < text.size() )
    {
        const ssize_t got = send(connection, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if ( got <= 0 )
            return false;
        sent += static_cast<size_t>(got);
    }
    return true;
}

void RawServer::Serve()
{
    for ( ;; )
    {
        const int connection = accept(m_listener, nullptr, nullptr);
        if ( connection < 0 )
            return;
        std::string head;
        char buffer[1024];
        while ( head.find("\r\n\r\n") == std::string::npos )
        {
            const ssize_t got = recv(connection, buffer, sizeof buffer, 0);
            if ( got <= 0 )
                break;
            head.append(buffer, static_cast<size_t>(got));
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_heads.push_back(head);
        }
        m_answer(connection, [this] { return m_stopping.load(); });
        close(connection);
    }
}
