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

TEST(HttpClient, SendsWhatTheToolkitSendsThroughTheProxyWithThePort)
{
    RawServer server;
    const wxString address = wxString::Format("http://127.0.0.1:%u/include/js/online_performers.js?a=1&b=%%41",
                                              server.GetPort());

    // Direct: byte for byte the toolkit's own request.
    {
        wxURL url(address);
        url.GetProtocol().SetTimeout(5);
        std::unique_ptr<wxInputStream> input(url.GetInputStream());
        ASSERT_NE(nullptr, input);
        EXPECT_EQ("ok", ReadAll(*input));
    }
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
    ASSERT_EQ(2u, heads.size());
    EXPECT_EQ(heads[0], heads[1]);

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
    EXPECT_EQ(0u, heads[0].find("GET " + address.ToStdString() + " HTTP/1.0\r\n")) << heads[0];
    const std::string host = wxString::Format("\r\nHost: 127.0.0.1:%u\r\n", server.GetPort()).ToStdString();
    EXPECT_NE(std::string::npos, heads[0].find(host)) << heads[0];
    EXPECT_EQ(2u, server.GetHeads().size()) << "nothing went direct";
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
