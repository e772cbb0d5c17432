#include "common/RawServer.h"
#include "net/wxHTTP2.h"
#include "sitesim/SimulatedSite.h"

#include <gtest/gtest.h>

#include <wx/stream.h>

#include <memory>
#include <string>
#include <vector>

namespace
{
// Sends one GET through client and reads the whole answer.
std::string Fetch(wxHTTP2& client, const wxString& host, unsigned short port, const wxString& path)
{
    client.SetTimeout(5);
    if ( !client.Connect(host, port) )
        return "(no connection)";
    std::unique_ptr<wxInputStream> input(client.GetInputStream(path));
    if ( !input )
        return "(no answer)";
    std::string body;
    char buffer[256];
    do
    {
        input->Read(buffer, sizeof buffer);
        body.append(buffer, input->LastRead());
    } while ( input->LastRead() > 0 );
    return body;
}

// The lines of a request head that carry name (at the start of the line, any case).
std::vector<std::string> HeaderLines(const std::string& head, const std::string& name)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while ( start < head.size() )
    {
        size_t end = head.find("\r\n", start);
        if ( end == std::string::npos )
            end = head.size();
        const std::string line = head.substr(start, end - start);
        if ( wxString(line).Lower().StartsWith(wxString(name).Lower() + ":") )
            lines.push_back(line);
        start = end + 2;
    }
    return lines;
}

// Base64 decoding done by hand, so that it shares nothing with the encoder under test.
std::string Decode(const std::string& text)
{
    static const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    unsigned int accumulator = 0;
    int bits = 0;
    for ( char c : text )
    {
        if ( c == '=' )
            break;
        const size_t value = digits.find(c);
        if ( value == std::string::npos )
            return "(not base64: '" + std::string(1, c) + "')";
        accumulator = (accumulator << 6) | static_cast<unsigned int>(value);
        bits += 6;
        if ( bits >= 8 )
        {
            bits -= 8;
            bytes += static_cast<char>((accumulator >> bits) & 0xFF);
        }
    }
    return bytes;
}
}

TEST(wxHTTP2, AuthorizationHeaderOnTheWire)
{
    RawServer server;
    ASSERT_NE(0, server.GetPort());

    // No user name: no header, even with a password.
    {
        wxHTTP2 client;
        client.SetPassword("secret");
        EXPECT_EQ("ok", Fetch(client, "127.0.0.1", server.GetPort(), "/none"));
    }
    // A user name and an empty password: "user:".
    {
        wxHTTP2 client;
        client.SetUser("alice");
        EXPECT_EQ("ok", Fetch(client, "127.0.0.1", server.GetPort(), "/empty"));
    }
    // Two requests through one client: one header each time, the second not doubled.
    {
        wxHTTP2 client;
        client.SetUser("bob");
        client.SetPassword("pw");
        EXPECT_EQ("ok", Fetch(client, "127.0.0.1", server.GetPort(), "/first"));
        EXPECT_EQ("ok", Fetch(client, "127.0.0.1", server.GetPort(), "/second"));
    }

    const std::vector<std::string> heads = server.GetHeads();
    ASSERT_EQ(4u, heads.size());
    EXPECT_TRUE(HeaderLines(heads[0], "Authorization").empty()) << heads[0];
    EXPECT_EQ(std::vector<std::string>{ "Authorization: Basic YWxpY2U6" },
              HeaderLines(heads[1], "Authorization"))
        << heads[1];
    for ( size_t i : { 2, 3 } )
        EXPECT_EQ(std::vector<std::string>{ "Authorization: Basic Ym9iOnB3" },
                  HeaderLines(heads[i], "Authorization"))
            << heads[i];
}

TEST(wxHTTP2, LongCredentialsStayOneHeaderLine)
{
    // 120 bytes of credentials: 160 characters, past the encoder's 72-character lines.
    const wxString user = wxString::FromUTF8("\xc3\xa9l\xc3\xa8ve-") + wxString('u', 50);
    const wxString password = wxString('p', 60) + ":x";
    const std::string expected = (user + ":" + password).utf8_string();
    ASSERT_GT(expected.size(), 54u);

    RawServer raw;
    {
        wxHTTP2 client;
        client.SetUser(user);
        client.SetPassword(password);
        EXPECT_EQ("ok", Fetch(client, "127.0.0.1", raw.GetPort(), "/long"));
    }
    const std::vector<std::string> heads = raw.GetHeads();
    ASSERT_EQ(1u, heads.size());
    // Every line of the head but the request line and the blank end is a "name: value" line.
    const std::string head = heads[0];
    size_t lineStart = head.find("\r\n") + 2;
    while ( lineStart < head.size() )
    {
        const size_t end = head.find("\r\n", lineStart);
        ASSERT_NE(std::string::npos, end);
        if ( end == lineStart )
            break;
        EXPECT_NE(std::string::npos, head.substr(lineStart, end - lineStart).find(':'))
            << "a header split over two lines:\n" << head;
        lineStart = end + 2;
    }
    ASSERT_EQ(1u, HeaderLines(head, "Authorization").size()) << head;

    // A real HTTP server takes it as one header and it decodes back to the same credentials.
    sitesim::SimulatedSite site;
    ASSERT_TRUE(site.Start(0));
    {
        wxHTTP2 client;
        client.SetUser(user);
        client.SetPassword(password);
        Fetch(client, "127.0.0.1", static_cast<unsigned short>(site.GetPort()), "/preview.shtml?Anna");
    }
    const std::vector<sitesim::Request> requests = site.GetRequests();
    ASSERT_EQ(1u, requests.size());
    const std::string value = requests[0].Header("Authorization");
    ASSERT_EQ(0u, value.find("Basic ")) << value;
    EXPECT_EQ(expected, Decode(value.substr(6)));
}
