// The simulated site, spoken to over real sockets the way a plain HTTP client would.

#include "sitesim/SimulatedSite.h"

#include "common/TestSupport.h"
#include "common/UserSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using sitesim::Fault;
using sitesim::Performer;
using sitesim::SimulatedSite;

namespace
{
const char LIST[] = "/include/js/online_performers.js";

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

int Connect(int port, int receiveBuffer = 0)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if ( receiveBuffer > 0 )
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
    const sockaddr_in address = Loopback(port);
    if ( ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 )
    {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool SendRequest(int fd, const std::string& target)
{
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    ssize_t sent = 0;
    while ( (sent = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL)) < 0 && errno == EINTR )
        continue;
    return sent == static_cast<ssize_t>(request.size());
}

// Reads until the server closes, limit bytes have come, or timeoutMs passes; true on close.
bool Receive(int fd, std::string& data, size_t limit, int timeoutMs)
{
    const Clock::time_point start = Clock::now();
    char buffer[16384];
    while ( data.size() < limit )
    {
        const long long left = timeoutMs - MillisecondsSince(start);
        if ( left <= 0 )
            return false;
        // A child process of another test may end meanwhile: its signal cuts a wait short.
        pollfd descriptor{fd, POLLIN, 0};
        const int ready = ::poll(&descriptor, 1, static_cast<int>(left));
        if ( ready < 0 && errno == EINTR )
            continue;
        if ( ready <= 0 )
            return false;
        const ssize_t received = ::recv(fd, buffer, std::min(sizeof(buffer), limit - data.size()), 0);
        if ( received < 0 && errno == EINTR )
            continue;
        if ( received <= 0 )
            return true;
        data.append(buffer, static_cast<size_t>(received));
    }
    return false;
}

std::string ThumbnailPath(const std::string& name)
{
    return "/WebArchive/" + name + "/thumbs/LinkedImage.jpg";
}

struct Reply
{
    bool connected = false;
    bool closed = false; // the server ended the connection
    std::string raw;
    int status = 0;
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;

    bool Has(const std::string& name) const { return headers.count(name) != 0; }
    std::string Header(const std::string& name) const { return Has(name) ? headers.at(name) : ""; }
    size_t ContentLength() const { return std::stoul(Header("content-length")); }
};

Reply Parse(Reply reply)
{
    const size_t end = reply.raw.find("\r\n\r\n");
    if ( end == std::string::npos )
        return reply;
    std::istringstream head(reply.raw.substr(0, end));
    std::string line;
    std::getline(head, line);
    if ( line.size() > 12 )
        reply.status = std::atoi(line.c_str() + 9);
    while ( std::getline(head, line) )
    {
        const size_t colon = line.find(':');
        if ( colon == std::string::npos )
            continue;
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        if ( !value.empty() && value.back() == '\r' )
            value.pop_back();
        reply.headers[name] = value;
    }
    reply.body = reply.raw.substr(end + 4);
    return reply;
}

Reply Fetch(int port, const std::string& target, size_t limit = 64u << 20, int timeoutMs = 5000)
{
    Reply reply;
    const int fd = Connect(port);
    if ( fd < 0 )
        return reply;
    reply.connected = true;
    if ( SendRequest(fd, target) )
        reply.closed = Receive(fd, reply.raw, limit, timeoutMs);
    ::close(fd);
    return Parse(reply);
}

// The answer a client takes for a good one: complete, in time, and the same as the site's
// normal answer.
bool LooksNormal(const Reply& reply, const Reply& normal)
{
    return reply.closed && reply.status == normal.status && reply.body == normal.body &&
           reply.Header("content-type") == normal.Header("content-type") &&
           reply.Header("content-length") == normal.Header("content-length");
}

// Client sockets that close themselves.
struct Sockets
{
    std::vector<int> fds;
    ~Sockets()
    {
        for ( const int fd : fds )
            ::close(fd);
    }
};

// Those of fds whose connection is made, whether the server has accepted it or not.
size_t CountConnected(const std::vector<int>& fds)
{
    size_t connected = 0;
    for ( const int fd : fds )
    {
        sockaddr_in peer{};
        socklen_t length = sizeof(peer);
        connected += ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
    }
    return connected;
}

// While it lives, the process can open no new descriptor, so the server cannot accept: new
// connections wait in its listening queue, as when a burst outruns a busy server. (A server
// already waiting in accept holds a descriptor and takes one connection more.)
class NoNewDescriptors
{
public:
    NoNewDescriptors()
    {
        ::getrlimit(RLIMIT_NOFILE, &m_saved);
        const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if ( lowestFree < 0 )
            return;
        ::close(lowestFree);
        rlimit held = m_saved;
        held.rlim_cur = static_cast<rlim_t>(lowestFree);
        m_held = ::setrlimit(RLIMIT_NOFILE, &held) == 0;
    }
    ~NoNewDescriptors()
    {
        if ( m_held )
            ::setrlimit(RLIMIT_NOFILE, &m_saved);
    }
    bool IsHeld() const { return m_held; }

private:
    rlimit m_saved{};
    bool m_held = false;
};

// Reads the list the way the plug-in does: a viewers line opens a performer's block, the list
// lines after it set and clear status bits, in order.
std::map<std::string, int> ParseList(const std::string& body)
{
    static const std::regex viewers("([[:alnum:]_]+).viewers = ([[:digit:]]+)", std::regex::extended);
    static const std::regex list("([[:alpha:]]+)_performers.add\\(([[:alnum:]_]+)\\)", std::regex::extended);
    std::map<std::string, int> performers;
    std::istringstream in(body);
    std::string line;
    std::string name;
    bool open = false;
    int status = 0;
    auto store = [&] {
        if ( open )
            performers[name] = status;
        open = false;
        status = 0;
    };
    while ( std::getline(in, line) )
    {
        std::smatch match;
        if ( std::regex_search(line, match, viewers) )
        {
            store();
            name = match[1];
            open = true;
        }
        else if ( std::regex_search(line, match, list) )
        {
            const std::string kind = match[1];
            if ( kind == "online" )
                status |= STATUS_ONLINE;
            else if ( kind == "free" )
                status = (status | StatusWord::FREE) & ~(STATUS_BUSY | STATUS_PUBLIC | STATUS_PRIVATE);
            else if ( kind == "busy" )
                status = (status | STATUS_ONLINE | STATUS_BUSY | ((status & STATUS_PRIVATE) ? 0 : STATUS_PUBLIC)) & ~STATUS_FREE;
            else if ( kind == "public" )
                status = (status | StatusWord::BUSY_PUBLIC) & ~(STATUS_FREE | STATUS_PRIVATE);
            else if ( kind == "private" )
                status = (status | StatusWord::BUSY_PRIVATE) & ~(STATUS_FREE | STATUS_PUBLIC);
        }
    }
    store();
    return performers;
}

std::map<std::string, int> AsMap(const std::vector<Performer>& performers)
{
    std::map<std::string, int> map;
    for ( const Performer& performer : performers )
        map[performer.name] = performer.status;
    return map;
}

SimulatedSite::Options Quiet(int performers, double churn, unsigned seed = 1)
{
    SimulatedSite::Options options;
    options.performers = performers;
    options.churn = churn;
    options.seed = seed;
    return options;
}

// A site started on a free port for one test.
class SimulatedSiteTest : public ::testing::Test
{
protected:
    void StartSite(const SimulatedSite::Options& options)
    {
        m_site.reset(new SimulatedSite(options));
        ASSERT_TRUE(m_site->Start());
    }
    SimulatedSite& Site() { return *m_site; }
    Reply Get(const std::string& target, size_t limit = 64u << 20)
    {
        return Fetch(m_site->GetPort(), target, limit);
    }

    void TearDown() override { m_site.reset(); }

private:
    std::unique_ptr<SimulatedSite> m_site;
};

using SimulatedSiteList = SimulatedSiteTest;
using SimulatedSiteSignIn = SimulatedSiteTest;
using SimulatedSiteFiles = SimulatedSiteTest;
using SimulatedSiteFaults = SimulatedSiteTest;
using SimulatedSiteStop = SimulatedSiteTest;
using SimulatedSiteLoad = SimulatedSiteTest;
}

TEST_F(SimulatedSiteList, ChurnChangesTheListAndNoChurnKeepsIt)
{
    StartSite(Quiet(300, 0.05, 7));

    const Reply first = Get(LIST);
    ASSERT_EQ(200, first.status);
    EXPECT_EQ("application/x-javascript", first.Header("content-type"));
    EXPECT_EQ(first.body.size(), first.ContentLength());
    const std::map<std::string, int> before = ParseList(first.body);
    EXPECT_EQ(300u, before.size());
    EXPECT_EQ(AsMap(Site().GetPerformers()), before);

    const std::map<std::string, int> after = ParseList(Get(LIST).body);
    EXPECT_NE(before, after);
    EXPECT_EQ(AsMap(Site().GetPerformers()), after);
    EXPECT_GT(after.size(), 250u);
    EXPECT_LT(after.size(), 350u);

    // Some left, some came, some changed status: all three kinds of event for the plug-in.
    size_t left = 0, came = 0, changed = 0;
    for ( const auto& performer : before )
    {
        const auto it = after.find(performer.first);
        left += it == after.end();
        changed += it != after.end() && it->second != performer.second;
    }
    for ( const auto& performer : after )
        came += before.count(performer.first) == 0;
    EXPECT_GT(left, 0u);
    EXPECT_GT(came, 0u);
    EXPECT_GT(changed, 0u);

    // Even a tiny list changes at every request while there is churn.
    Site().SetPerformers({{"Solo_1", Performer::FREE}});
    EXPECT_EQ((std::map<std::string, int>{{"Solo_1", StatusWord::FREE}}), ParseList(Get(LIST).body));
    EXPECT_NE(ParseList(Get(LIST).body), (std::map<std::string, int>{{"Solo_1", StatusWord::FREE}}));

    Site().SetChurn(0);
    const Reply still = Get(LIST);
    EXPECT_EQ(still.body, Get(LIST).body);
    EXPECT_EQ(still.body, Get(LIST).body);
}

TEST_F(SimulatedSiteList, ExpressionsFindEveryPerformerWithItsStatus)
{
    StartSite(Quiet(300, 0.3, 3));
    static const std::regex viewers("([[:alnum:]_]+).viewers = ([[:digit:]]+)", std::regex::extended);
    static const std::regex list("([[:alpha:]]+)_performers.add\\(([[:alnum:]_]+)\\)", std::regex::extended);

    std::map<int, size_t> statuses;
    bool privateBeforeBusy = false, publicLine = false, ordinaryInBlock = false;
    for ( int poll = 0; poll < 3; ++poll )
    {
        const std::string body = Get(LIST).body;
        const std::map<std::string, int> parsed = ParseList(body);
        ASSERT_EQ(AsMap(Site().GetPerformers()), parsed) << "poll " << poll;
        for ( const auto& performer : parsed )
            ++statuses[performer.second];

        std::istringstream in(body);
        std::string line, previous, last;
        bool inBlock = false;
        size_t viewersLines = 0;
        while ( std::getline(in, line) )
        {
            const bool isViewers = std::regex_search(line, viewers);
            const bool isList = !isViewers && std::regex_search(line, list);
            viewersLines += isViewers;
            inBlock = inBlock || isViewers;
            ordinaryInBlock = ordinaryInBlock || (inBlock && !isViewers && !isList);
            publicLine = publicLine || line.find("public_performers.add(") == 0;
            privateBeforeBusy = privateBeforeBusy || (line.find("busy_performers.add(") == 0 &&
                                                      previous.find("private_performers.add(") == 0);
            previous = line;
            if ( !line.empty() )
                last = line;
        }
        EXPECT_EQ(parsed.size(), viewersLines) << "a name appears in two blocks";
        // A reader may skip the final line, so it must not carry a performer.
        EXPECT_FALSE(std::regex_search(last, viewers) || std::regex_search(last, list)) << last;
    }
    // The usual mix: free, public and private shows, and nothing else.
    EXPECT_EQ(3u, statuses.size());
    EXPECT_GT(statuses[0x03], statuses[0x0D]);
    EXPECT_GT(statuses[0x0D], 0u);
    EXPECT_GT(statuses[0x15], 0u);
    EXPECT_TRUE(privateBeforeBusy);
    EXPECT_TRUE(publicLine);
    EXPECT_TRUE(ordinaryInBlock);

    // Performers set by a test come back exactly, the rarer words included.
    const std::vector<Performer> set = {{"Online_Only", 0x01}, {"No_Lists", 0x00}, {"Free_1", 0x03},
                                        {"Show_2", 0x0D}, {"Private_3", 0x15}};
    Site().SetPerformers(set);
    EXPECT_EQ(AsMap(set), ParseList(Get(LIST).body));
}

TEST_F(SimulatedSiteList, SameSeedGivesSameListsAndScriptOverridesModel)
{
    SimulatedSite twin(Quiet(150, 0.1, 42));
    ASSERT_TRUE(twin.Start());
    StartSite(Quiet(150, 0.1, 42));
    for ( int poll = 0; poll < 3; ++poll )
        EXPECT_EQ(Get(LIST).body, Fetch(twin.GetPort(), LIST).body) << "poll " << poll;

    SimulatedSite other(Quiet(150, 0.1, 43));
    EXPECT_NE(AsMap(Site().GetPerformers()), AsMap(other.GetPerformers()));

    Site().SetScript("p.viewers = 1;\n");
    EXPECT_EQ("p.viewers = 1;\n", Get(LIST).body);
    EXPECT_EQ("p.viewers = 1;\n", Get(LIST).body);
    Site().SetScript("");
    EXPECT_EQ(AsMap(Site().GetPerformers()), ParseList(Get(LIST).body));
}

TEST_F(SimulatedSiteSignIn, AnswersTheAccountAndRecordsTheRawQuery)
{
    SimulatedSite::Options options = Quiet(10, 0);
    options.user = "J\xC3\xBCrgen";
    options.password = "p+ss word";
    options.favorites = {"Alina_23", "Mila_7"};
    StartSite(options);

    const std::string query = "username=J%C3%BCrgen&password=p%2Bss%20word";
    const Reply good = Get("/tovrik?" + query);
    EXPECT_EQ(200, good.status);
    EXPECT_EQ("text/plain", good.Header("content-type"));
    // An empty line ends the answer, so a reader that skips the last line still gets every name.
    EXPECT_EQ("Alina_23\nMila_7\n\n", good.body);

    const std::vector<sitesim::Request> requests = Site().GetRequests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ("/tovrik", requests[0].path);
    EXPECT_EQ(query, requests[0].query);
    EXPECT_EQ("J\xC3\xBCrgen", requests[0].params.at("username"));
    EXPECT_EQ("p+ss word", requests[0].params.at("password"));
    EXPECT_EQ("127.0.0.1", requests[0].Header("HOST"));

    // A '+' is not a blank here: the plug-in sends passwords unescaped.
    for ( const char* bad : {"username=J%C3%BCrgen&password=p%2Bss+word", "username=J%C3%BCrgen&password=",
                             "username=J%C3%BCrgen", "password=p%2Bss%20word", ""} )
    {
        const Reply refused = Get(std::string("/tovrik?") + bad);
        EXPECT_EQ(401, refused.status) << bad;
        EXPECT_EQ("", refused.body) << bad;
    }
    EXPECT_EQ(6u, Site().CountRequests("/tovrik"));

    // Without an account nobody signs in, not even with empty values.
    Site().SetAccount("", "");
    EXPECT_EQ(401, Get("/tovrik?username=&password=").status);
}

TEST_F(SimulatedSiteFiles, ThumbnailsAreJpegsOfTheirOwn)
{
    StartSite(Quiet(10, 0));
    const Reply alina = Get("/WebArchive/Alina_23/thumbs/LinkedImage.jpg");
    ASSERT_EQ(200, alina.status);
    EXPECT_EQ("image/jpeg", alina.Header("content-type"));
    const std::string& jpeg = alina.body;
    ASSERT_GT(jpeg.size(), 100u);
    EXPECT_EQ("\xFF\xD8", jpeg.substr(0, 2));
    EXPECT_EQ("\xFF\xD9", jpeg.substr(jpeg.size() - 2));

    // The frame header gives the size the pop-up scales from.
    const size_t frame = jpeg.find("\xFF\xC0");
    ASSERT_NE(std::string::npos, frame);
    const auto byte = [&jpeg](size_t at) { return static_cast<unsigned char>(jpeg[at]); };
    EXPECT_EQ(90, byte(frame + 5) * 256 + byte(frame + 6));
    EXPECT_EQ(120, byte(frame + 7) * 256 + byte(frame + 8));

    EXPECT_EQ(jpeg, Get("/WebArchive/Alina_23/thumbs/LinkedImage.jpg").body);
    EXPECT_NE(jpeg, Get("/WebArchive/Mila_7/thumbs/LinkedImage.jpg").body);
    for ( const char* bad : {"/WebArchive/Ali%20na/thumbs/LinkedImage.jpg",
                             "/WebArchive/Ali-na/thumbs/LinkedImage.jpg",
                             "/WebArchive//thumbs/LinkedImage.jpg", "/WebArchive/Alina_23/thumbs/Other.jpg"} )
        EXPECT_EQ(404, Get(bad).status) << bad;
}

TEST_F(SimulatedSiteFiles, PreviewPageNamesThePerformer)
{
    StartSite(Quiet(10, 0));
    const Reply page = Get("/preview.shtml?Alina_23");
    EXPECT_EQ(200, page.status);
    EXPECT_EQ("text/html", page.Header("content-type"));
    EXPECT_NE(std::string::npos, page.body.find("<h1>Alina_23</h1>"));

    const Reply hostile = Get("/preview.shtml?%3Cscript%3E");
    EXPECT_EQ(std::string::npos, hostile.body.find("<script>"));
    EXPECT_NE(std::string::npos, hostile.body.find("&lt;script&gt;"));
    EXPECT_EQ(404, Get("/nothing/here").status);
}

TEST_F(SimulatedSiteFiles, UpdateOffersItsFilesToOtherVersions)
{
    const wxString dir = TestSupport::MakeTempDir();
    ASSERT_FALSE(dir.empty());
    const std::string base = dir.ToStdString() + "/";
    const auto write = [&base](const std::string& name, const std::string& contents) {
        std::ofstream(base + name, std::ios::binary) << contents;
        return base + name;
    };
    SimulatedSite::Options options = Quiet(10, 0);
    options.updateFile = write("Parlo.so", std::string("\x7F" "ELF\0\x01\x02", 7));
    options.updateSkinFile = write("Parlo.skin", "PK skin");
    options.updateMoFile = write("Parlo.mo", "mo file");
    options.currentVersion = "1.4.0";
    StartSite(options);

    const Reply plugin = Get("/cgi-bin/app/update.cgi?version=1.3.0");
    EXPECT_EQ(200, plugin.status);
    EXPECT_EQ("application/octet-stream", plugin.Header("content-type"));
    EXPECT_EQ(std::string("\x7F" "ELF\0\x01\x02", 7), plugin.body);
    EXPECT_EQ(7u, plugin.ContentLength());
    EXPECT_EQ("PK skin", Get("/cgi-bin/app/update.cgi?version=1.3.0&type=skin").body);
    EXPECT_EQ("mo file", Get("/cgi-bin/app/update.cgi?version=1.3.0&type=mo").body);

    // Files are read when asked for, so a test may change them between requests.
    write("Parlo.skin", "new skin");
    EXPECT_EQ("new skin", Get("/cgi-bin/app/update.cgi?version=1.3.0&type=skin").body);

    for ( const char* none : {"/cgi-bin/app/update.cgi?version=1.4.0",
                              "/cgi-bin/app/update.cgi?version=1.4.0&type=skin",
                              "/cgi-bin/app/update.cgi?version=1.3.0&type=manifest",
                              "/cgi-bin/app/update.cgi?version=1.3.0&type=other"} )
    {
        const Reply reply = Get(none);
        EXPECT_EQ(200, reply.status) << none;
        EXPECT_EQ("text/html", reply.Header("content-type")) << none;
    }
    TestSupport::RemoveDir(dir);
}

TEST_F(SimulatedSiteFaults, EachFaultDoesWhatItSays)
{
    StartSite(Quiet(50, 0));
    const Reply normal = Get(LIST);
    ASSERT_EQ(200, normal.status);
    const std::string& body = normal.body;

    {
        SCOPED_TRACE("DELAY");
        Site().SetFault(LIST, Fault::Delay(300), 1);
        const Clock::time_point start = Clock::now();
        const Reply reply = Get(LIST);
        EXPECT_GE(MillisecondsSince(start), 300);
        EXPECT_EQ(body, reply.body);
    }
    {
        SCOPED_TRACE("HTTP_ERROR, twice, on its path only");
        Site().SetFault(LIST, Fault::HttpError(503), 2);
        EXPECT_EQ(503, Get(LIST).status);
        EXPECT_EQ(200, Get("/preview.shtml?A").status);
        EXPECT_EQ(503, Get(LIST).status);
        EXPECT_EQ(200, Get(LIST).status);
    }
    {
        SCOPED_TRACE("TRUNCATE");
        Site().SetFault(LIST, Fault::Truncate(100), 1);
        const Reply reply = Get(LIST);
        EXPECT_EQ(200, reply.status);
        EXPECT_EQ(body.size(), reply.ContentLength());
        EXPECT_EQ(body.substr(0, 100), reply.body);
        EXPECT_TRUE(reply.closed);
    }
    {
        SCOPED_TRACE("OVERSIZE");
        Site().SetFault(LIST, Fault::Oversize(150000), 1);
        const Reply reply = Get(LIST);
        EXPECT_EQ(200, reply.status);
        EXPECT_EQ(150000u, reply.ContentLength());
        EXPECT_EQ(150000u, reply.body.size());
        EXPECT_GT(ParseList(reply.body).size(), 500u);
    }
    {
        SCOPED_TRACE("WRONG_TYPE");
        Site().SetFault(LIST, Fault::WrongType("application/octet-stream; charset=binary"), 1);
        const Reply reply = Get(LIST);
        EXPECT_EQ("application/octet-stream; charset=binary", reply.Header("content-type"));
        EXPECT_EQ(body, reply.body);
    }
    {
        SCOPED_TRACE("WRONG_LENGTH");
        Site().SetFault(LIST, Fault::WrongLength(), 1);
        Reply reply = Get(LIST);
        EXPECT_EQ(body.size() + 100, reply.ContentLength());
        EXPECT_EQ(body, reply.body);
        EXPECT_TRUE(reply.closed);
        Site().SetFault(LIST, Fault::WrongLength(10), 1);
        reply = Get(LIST);
        EXPECT_EQ(10u, reply.ContentLength());
        EXPECT_EQ(body, reply.body);
    }
    {
        SCOPED_TRACE("GARBAGE");
        Site().SetFault(LIST, Fault::Of(Fault::GARBAGE), 1);
        const Reply reply = Get(LIST);
        EXPECT_EQ(200, reply.status);
        EXPECT_EQ("application/x-javascript", reply.Header("content-type"));
        EXPECT_EQ(reply.body.size(), reply.ContentLength());
        EXPECT_NE(std::string::npos, reply.body.find('\0'));
        EXPECT_NE(std::string::npos, reply.body.find('\xFF'));
    }
    {
        SCOPED_TRACE("ENDLESS_BODY");
        Site().SetFault(LIST, Fault::Of(Fault::ENDLESS_BODY), 1);
        const Reply reply = Get(LIST, 150000);
        EXPECT_EQ(200, reply.status);
        EXPECT_FALSE(reply.closed);
        EXPECT_FALSE(reply.Has("content-length"));
        EXPECT_FALSE(reply.Has("transfer-encoding"));
        EXPECT_GT(ParseList(reply.body).size(), 500u);
    }
    {
        SCOPED_TRACE("ENDLESS_LINE");
        Site().SetFault(LIST, Fault::Of(Fault::ENDLESS_LINE), 1);
        const Reply reply = Get(LIST, 256u << 10);
        EXPECT_EQ(200, reply.status);
        EXPECT_FALSE(reply.closed);
        EXPECT_GT(reply.body.size(), 200u << 10);
        EXPECT_EQ(std::string::npos, reply.body.find('\n'));
    }
    {
        SCOPED_TRACE("LONG_LINE");
        Site().SetFault(LIST, Fault::Of(Fault::LONG_LINE), 1);
        const Reply reply = Get(LIST);
        EXPECT_EQ(200, reply.status);
        EXPECT_EQ(reply.body.size(), reply.ContentLength());
        const size_t line = 300u << 10;
        ASSERT_EQ(line + body.size(), reply.body.size());
        EXPECT_EQ(std::string::npos, reply.body.substr(0, line).find('\n'));
        EXPECT_EQ(body, reply.body.substr(line));
    }
    {
        SCOPED_TRACE("CLOSE");
        Site().SetFault("/tovrik", Fault::Of(Fault::CLOSE));
        for ( int i = 0; i < 2; ++i )
        {
            const Reply reply = Get("/tovrik?username=a&password=b");
            EXPECT_TRUE(reply.connected);
            EXPECT_TRUE(reply.closed);
            EXPECT_EQ("", reply.raw);
        }
        Site().ClearFaults();
        EXPECT_EQ(401, Get("/tovrik?username=a&password=b").status);
    }
}

TEST_F(SimulatedSiteFaults, RandomFaultsSpoilTheirShareAlikeForOneSeed)
{
    SimulatedSite::Options options = Quiet(50, 0);
    options.user = "a";
    options.password = "b";
    options.favorites = {"Mila_7"};
    StartSite(options);
    const std::vector<std::string> targets = {LIST,
                                              "/tovrik?username=a&password=b",
                                              "/tovrik?username=a&password=wrong",
                                              ThumbnailPath("Alina_23"),
                                              "/cgi-bin/app/update.cgi?version=1.0",
                                              "/nothing/here"};
    const std::string preview = "/preview.shtml?Alina_23";
    std::map<std::string, Reply> normal;
    for ( const std::string& target : targets )
        normal[target] = Get(target);
    normal[preview] = Get(preview);

    // Three sites take the same burst at once: two with one seed, one with another. Clients
    // give up after 1.5 s, so a delayed answer counts as a bad one.
    SimulatedSite twin(options);
    SimulatedSite other(options);
    ASSERT_TRUE(twin.Start());
    ASSERT_TRUE(other.Start());
    Site().ClearRequests();
    Site().SetRandomFaults(1.0, 7);
    twin.SetRandomFaults(1.0, 7);
    other.SetRandomFaults(1.0, 8);
    const size_t perSite = 24;
    const int ports[] = {Site().GetPort(), twin.GetPort(), other.GetPort()};
    std::vector<Reply> replies(3 * perSite);
    std::vector<std::thread> clients;
    for ( size_t i = 0; i < replies.size(); ++i )
    {
        clients.emplace_back([&, i] {
            replies[i] = Fetch(ports[i / perSite], targets[i % targets.size()], 8u << 20, 1500);
        });
    }
    for ( std::thread& client : clients )
        client.join();
    for ( size_t i = 0; i < replies.size(); ++i )
    {
        const std::string& target = targets[i % targets.size()];
        EXPECT_FALSE(LooksNormal(replies[i], normal[target])) << "request " << i << " for " << target;
    }

    const auto faults = [](const SimulatedSite& site) {
        std::vector<Fault::Kind> kinds;
        for ( const sitesim::Request& request : site.GetRequests() )
            kinds.push_back(request.fault);
        return kinds;
    };
    const std::vector<Fault::Kind> sequence = faults(Site());
    ASSERT_EQ(perSite, sequence.size());
    EXPECT_EQ(0, std::count(sequence.begin(), sequence.end(), Fault::NONE));
    EXPECT_GE(std::set<Fault::Kind>(sequence.begin(), sequence.end()).size(), 5u) << "a mix, not one fault";
    EXPECT_EQ(sequence, faults(twin));
    EXPECT_NE(sequence, faults(other));

    // Spared: the preview page always, and every request once the share is 0.
    Site().ClearRequests();
    EXPECT_TRUE(LooksNormal(Get(preview), normal[preview]));
    Site().SetRandomFaults(0, 7);
    for ( const std::string& target : targets )
        EXPECT_TRUE(LooksNormal(Get(target), normal[target])) << target;
    const std::vector<Fault::Kind> spared = faults(Site());
    EXPECT_EQ(std::vector<Fault::Kind>(targets.size() + 1, Fault::NONE), spared);
}

TEST_F(SimulatedSiteStop, StopIsPromptWhileAnswersHang)
{
    StartSite(Quiet(50, 0));
    Site().SetFault(LIST, Fault::Of(Fault::ENDLESS_BODY));
    Site().SetFault("/tovrik", Fault::Delay(60000));

    // One client reads the endless body, one has stopped reading it, one waits for a delay.
    std::atomic<bool> readerDone{false};
    std::thread reader([this, &readerDone] {
        Fetch(Site().GetPort(), LIST, 1u << 30, 20000);
        readerDone = true;
    });
    const int stalled = Connect(Site().GetPort(), 4096);
    ASSERT_GE(stalled, 0);
    ASSERT_TRUE(SendRequest(stalled, LIST));
    std::string start;
    Receive(stalled, start, 4096, 2000);
    const int waiting = Connect(Site().GetPort());
    ASSERT_GE(waiting, 0);
    ASSERT_TRUE(SendRequest(waiting, "/tovrik?username=a&password=b"));
    ASSERT_TRUE(Site().WaitForRequests("/tovrik", 1, 2000));
    ASSERT_TRUE(Site().WaitForRequests(LIST, 2, 2000));
    // Let the stalled client's socket buffers fill, so the server is stuck on a full socket.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(3u, Site().CountOpenConnections());

    const Clock::time_point stopping = Clock::now();
    Site().Stop();
    EXPECT_LT(MillisecondsSince(stopping), 500);

    std::string rest;
    EXPECT_TRUE(Receive(waiting, rest, 1u << 20, 2000));
    EXPECT_EQ("", rest) << "a stopped delay answers nothing";
    EXPECT_TRUE(TestSupport::WaitFor([&readerDone] { return readerDone.load(); }, 2000));
    reader.join();
    ::close(stalled);
    ::close(waiting);
    EXPECT_FALSE(Fetch(Site().GetPort(), LIST).connected);
}

TEST_F(SimulatedSiteStop, EndlessAnswerEndsWhenTheClientLeaves)
{
    StartSite(Quiet(50, 0));
    Site().SetFault(LIST, Fault::Of(Fault::ENDLESS_LINE));
    const Reply partial = Get(LIST, 64u << 10);
    EXPECT_FALSE(partial.closed);
    EXPECT_TRUE(TestSupport::WaitFor([this] { return Site().CountOpenConnections() == 0; }, 1000));
}

TEST_F(SimulatedSiteStop, PortsStartAndRestart)
{
    StartSite(Quiet(5, 0));
    const int port = Site().GetPort();
    EXPECT_GT(port, 0);
    EXPECT_EQ("127.0.0.1:" + std::to_string(port), Site().GetHostPort());

    SimulatedSite rival(Quiet(5, 0));
    EXPECT_FALSE(rival.Start(port)) << "a taken port must fail, not be shared";

    Site().Stop();
    Site().Stop();
    EXPECT_FALSE(Fetch(port, LIST).connected);
    ASSERT_TRUE(Site().Start(port));
    EXPECT_EQ(200, Fetch(port, LIST).status);

    const int unused = SimulatedSite::UnusedPort();
    EXPECT_EQ(unused, SimulatedSite::UnusedPort());
    EXPECT_FALSE(Fetch(unused, LIST).connected);
    EXPECT_FALSE(rival.Start(unused));
}

TEST_F(SimulatedSiteLoad, BurstWaitingToBeAcceptedIsAnswered)
{
    StartSite(Quiet(10, 0));
    // Sixty pictures asked for at once, while the site can accept none of them.
    const size_t count = 60;
    Sockets clients;
    for ( size_t i = 0; i < count; ++i )
    {
        clients.fds.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        ASSERT_GE(clients.fds.back(), 0);
    }
    const sockaddr_in address = Loopback(Site().GetPort());
    {
        NoNewDescriptors held;
        ASSERT_TRUE(held.IsHeld());
        for ( const int fd : clients.fds )
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
        TestSupport::WaitFor([&] { return CountConnected(clients.fds) == count; }, 5000);
        ASSERT_EQ(count, CountConnected(clients.fds)) << "connections beyond the listening queue wait";
        EXPECT_LE(Site().CountOpenConnections(), 1u);
        for ( size_t i = 0; i < count; ++i )
            ASSERT_TRUE(SendRequest(clients.fds[i], ThumbnailPath("Burst_" + std::to_string(i)))) << i;
    }

    const Clock::time_point released = Clock::now();
    for ( size_t i = 0; i < count; ++i )
    {
        Reply reply;
        const long long left = std::max(0LL, 20000 - MillisecondsSince(released));
        reply.closed = Receive(clients.fds[i], reply.raw, 1u << 20, static_cast<int>(left));
        reply = Parse(reply);
        EXPECT_TRUE(reply.closed) << i;
        EXPECT_EQ(200, reply.status) << i;
        EXPECT_EQ("image/jpeg", reply.Header("content-type")) << i;
    }
    EXPECT_EQ(count, Site().GetRequests().size());
}
