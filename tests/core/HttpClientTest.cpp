#include "common/RawServer.h"
#include "net/HttpClient.h"

#include <gtest/gtest.h>

#include <wx/stopwatch.h>
#include <wx/url.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace
{
std::string ReadAll(wxInputStream& input)
{
    std::string body;
    char buffer[4096];
    do
    {
        input.Read(buffer, sizeof buffer);
        body.append(buffer, input.LastRead());
    } while ( input.LastRead() > 0 );
    return body;
}

// Waits a little unless the server is stopping; false once it is.
bool Idle(const std::function<bool()>& stopping, int ms)
{
    for ( int waited = 0; waited < ms; waited += 10 )
    {
        if ( stopping() )
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !stopping();
}

void Silent(int, const std::function<bool()>& stopping)
{
    while ( Idle(stopping, 100) )
    {
    }
}

// Sends text a byte every 500 ms, for ever.
void Trickle(int connection, const std::function<bool()>& stopping, const std::string& text)
{
    for ( size_t i = 0; Idle(stopping, 500); ++i )
    {
        if ( !RawServer::SendAll(connection, std::string(1, text[i % text.size()])) )
            return;
    }
}

// The request of one client, taken on a thread of its own as the plug-in does.
struct TimedRequest
{
    std::unique_ptr<HttpClient> client{ new HttpClient };
    bool answered = false;
    std::string body;
    long ms = -1;
    std::thread thread;

    void Start(unsigned short port, long timeoutSeconds)
    {
        client->SetTimeout(timeoutSeconds);
        client->Connect("127.0.0.1", port);
        thread = std::thread([this] {
            wxStopWatch watch;
            std::unique_ptr<wxInputStream> input(client->GetInputStream("/x"));
            answered = input != nullptr;
            if ( input )
                body = ReadAll(*input);
            ms = watch.Time();
        });
    }
    void Finish() { thread.join(); }
};
}

TEST(HttpClient, SendsTheDesignedRequestDirectAndThroughTheProxyWithThePort)
{
    RawServer server;
    const wxString address = wxString::Format("http://127.0.0.1:%u/include/js/online_performers.js?a=1&b=%%41",
                                              server.GetPort());
    const std::string host = wxString::Format("\r\nHost: 127.0.0.1:%u\r\n", server.GetPort()).ToStdString();
    auto count = [](const std::string& head, const std::string& text) {
        size_t found = 0;
        for ( size_t at = head.find(text); at != std::string::npos; at = head.find(text, at + 1) )
            ++found;
        return found;
    };

    // Direct: the path and query as given, the server's name and port, the toolkit's user agent,
    // and compression welcome.
    {
        HttpClient client;
        client.SetTimeout(5);
        std::unique_ptr<wxInputStream> input(client.Open(wxURL(address)));
        ASSERT_NE(nullptr, input);
        EXPECT_EQ("ok", ReadAll(*input));
        EXPECT_EQ("text/plain", client.GetHeader("Content-Type"));
        EXPECT_EQ(200, client.GetResponse());
    }
    std::vector<std::string> heads = server.GetHeads();
    ASSERT_EQ(1u, heads.size());
    EXPECT_EQ(0u, heads[0].find("GET /include/js/online_performers.js?a=1&b=%41 HTTP/1.1\r\n")) << heads[0];
    EXPECT_EQ(1u, count(heads[0], host)) << heads[0];
    EXPECT_EQ(1u, count(heads[0], "\r\nUser-Agent: " + wxString(wxVERSION_STRING).ToStdString() + "\r\n")) << heads[0];
    EXPECT_EQ(1u, count(heads[0], "\r\nAccept-Encoding: gzip, deflate\r\n")) << heads[0];
    EXPECT_EQ(0u, count(heads[0], "Authorization")) << heads[0];

    // Through a proxy: the whole address, port and all; "Host" as without one.
    RawServer proxy;
    HttpClient::SetProxy(wxString::Format("127.0.0.1:%u", proxy.GetPort()));
    {
        HttpClient client;
        client.SetTimeout(5);
        std::unique_ptr<wxInputStream> input(client.Open(wxURL(address)));
        ASSERT_NE(nullptr, input);
        EXPECT_EQ("ok", ReadAll(*input));
    }
    HttpClient::SetProxy(wxEmptyString);
    heads = proxy.GetHeads();
    ASSERT_EQ(1u, heads.size());
    EXPECT_EQ(0u, heads[0].find("GET " + address.ToStdString() + " HTTP/1.1\r\n")) << heads[0];
    EXPECT_EQ(1u, count(heads[0], host)) << heads[0];
    EXPECT_EQ(1u, server.GetHeads().size()) << "nothing went direct";
}

TEST(HttpClient, NoRequestWaitsLongerThanItsBudgetWhateverTheServerDoes)
{
    RawServer silent(Silent);
    RawServer slowHead([](int connection, const std::function<bool()>& stopping) {
        Trickle(connection, stopping, "HTTP/1.0 200 OK\r\nX-Slow: ");
    });
    RawServer slowBody([](int connection, const std::function<bool()>& stopping) {
        if ( RawServer::SendAll(connection, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n") )
            Trickle(connection, stopping, "x");
    });

    TimedRequest unanswered;
    TimedRequest head;
    TimedRequest body;
    TimedRequest stopped;
    std::atomic<bool> stop{ false };
    stopped.client->SetStopTest([&stop] { return stop.load(); });
    unanswered.Start(silent.GetPort(), 2);
    head.Start(slowHead.GetPort(), 10);
    body.Start(slowBody.GetPort(), 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // The silent server serves one connection at a time: the second waits to be accepted.
    stopped.Start(silent.GetPort(), 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop = true;
    stopped.Finish();
    unanswered.Finish();
    head.Finish();
    body.Finish();

    // A stop request ends any wait at once.
    EXPECT_FALSE(stopped.answered);
    EXPECT_LT(stopped.ms, 1000);
    // A silent server: the time-out of a single wait.
    EXPECT_FALSE(unanswered.answered);
    EXPECT_GE(unanswered.ms, 1900);
    EXPECT_LT(unanswered.ms, 4000);
    // Every wait well within its time-out, but no end: the budget of all waits.
    const long budget = HttpClient::MAX_WAIT_SECONDS * 1000;
    EXPECT_FALSE(head.answered);
    EXPECT_GE(head.ms, budget - 1000);
    EXPECT_LT(head.ms, budget + 2000);
    EXPECT_TRUE(body.answered);
    EXPECT_GT(body.body.size(), 10u);
    EXPECT_GE(body.ms, budget - 1000);
    EXPECT_LT(body.ms, budget + 2000);
}
