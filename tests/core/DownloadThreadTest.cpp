#include "common/TestSupport.h"
#include "net/DownloadThread.h"
#include "net/wxHTTP2.h"
#include "sitesim/SimulatedSite.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/stopwatch.h>
#include <wx/url.h>
#include <wx/utils.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace
{
const char* const UPDATE_PATH = "/cgi-bin/app/update.cgi";

struct Finished
{
    int id = 0;
    bool hasData = false;
    int size = -1;
    std::string bytes;
};

// Keeps every download-finished event it gets (and frees the buffers, as receivers must).
class Receiver : public wxEvtHandler
{
public:
    std::vector<Finished> events;
    // Counts events received by any receiver, to notice one that reached a dead object.
    static std::atomic<int> ms_received;

private:
    void OnDownloadFinished(DownloadFinishedEvent& event)
    {
        ++ms_received;
        Finished finished;
        finished.id = event.GetId();
        finished.size = event.GetInt();
        char* data = static_cast<char*>(event.GetClientData());
        finished.hasData = data != nullptr;
        if ( data )
            finished.bytes.assign(data, static_cast<size_t>(event.GetInt()));
        ::operator delete(data);
        events.push_back(finished);
    }

    wxDECLARE_EVENT_TABLE();
};

std::atomic<int> Receiver::ms_received{ 0 };

wxBEGIN_EVENT_TABLE(Receiver, wxEvtHandler)
    EVT_DOWNLOAD_FINISHED(Receiver::OnDownloadFinished)
wxEND_EVENT_TABLE()

// A client and an address that tell when the thread has deleted them.
class TrackedHTTP : public wxHTTP2
{
public:
    explicit TrackedHTTP(std::atomic<bool>& deleted)
        : m_deleted(deleted)
    {
    }
    ~TrackedHTTP() override { m_deleted = true; }

private:
    std::atomic<bool>& m_deleted;
};

class TrackedURL : public wxURL
{
public:
    TrackedURL(const wxString& url, std::atomic<bool>& deleted)
        : wxURL(url)
        , m_deleted(deleted)
    {
    }
    ~TrackedURL() override { m_deleted = true; }

private:
    std::atomic<bool>& m_deleted;
};

std::string RandomBytes(size_t size)
{
    std::mt19937 random(static_cast<unsigned>(size));
    std::string bytes(size, '\0');
    for ( char& byte : bytes )
        byte = static_cast<char>(random());
    return bytes;
}

// A simulated site whose update script offers a file of the given bytes.
class OfferingSite
{
public:
    explicit OfferingSite(const std::string& bytes)
        : m_dir(TestSupport::MakeTempDir())
    {
        sitesim::SimulatedSite::Options options;
        options.updateFile = (m_dir + "/offer.bin").ToStdString();
        std::ofstream(options.updateFile, std::ios::binary) << bytes;
        m_site.reset(new sitesim::SimulatedSite(options));
        m_site->Start(0);
    }
    ~OfferingSite()
    {
        m_site.reset();
        TestSupport::RemoveDir(m_dir);
    }

    sitesim::SimulatedSite& Site() { return *m_site; }
    wxString Url(const wxString& pathAndQuery = "/cgi-bin/app/update.cgi?version=1.0.0") const
    {
        return "http://" + wxString(m_site->GetHostPort()) + pathAndQuery;
    }

private:
    wxString m_dir;
    std::unique_ptr<sitesim::SimulatedSite> m_site;
};

// Detached, as the program makes them: nobody joins them, WaitForAll settles them.
void Start(wxEvtHandler* handler, int id, wxURL* url, wxHTTP* http = nullptr)
{
    DownloadThread* thread = new DownloadThread(handler, id, url, http, 0, wxTHREAD_DETACHED);
    EXPECT_EQ(wxTHREAD_NO_ERROR, thread->Run());
}

// Waits for done() without handing anything over to the receivers meanwhile.
bool WaitWithoutDelivering(const std::function<bool()>& done, int timeoutMs = 5000)
{
    wxStopWatch watch;
    while ( !done() && watch.Time() < timeoutMs )
        wxMilliSleep(2);
    return done();
}
}

TEST(DownloadThread, BodyArrivesAsOneEvent)
{
    const std::string body = RandomBytes(3000);
    OfferingSite site(body);
    Receiver receiver;
    Start(&receiver, 42, new wxURL(site.Url()));
    ASSERT_TRUE(TestSupport::WaitFor([&] { return !receiver.events.empty(); }));
    DownloadThread::WaitForAll();

    ASSERT_EQ(1u, receiver.events.size());
    EXPECT_EQ(42, receiver.events[0].id);
    EXPECT_TRUE(receiver.events[0].hasData);
    EXPECT_EQ(3000, receiver.events[0].size);
    EXPECT_TRUE(body == receiver.events[0].bytes) << "the bytes differ";

    // An empty body is a success too: a buffer, of size 0.
    OfferingSite empty("");
    Start(&receiver, -1, new wxURL(empty.Url()));
    ASSERT_TRUE(TestSupport::WaitFor([&] { return receiver.events.size() == 2; }));
    EXPECT_TRUE(receiver.events[1].hasData);
    EXPECT_EQ(0, receiver.events[1].size);
    EXPECT_EQ(-1, receiver.events[1].id);
    DownloadThread::WaitForAll();
}

TEST(DownloadThread, ThroughItsOwnClientWithHostPortAndQuery)
{
    sitesim::SimulatedSite::Options options;
    options.user = "anna";
    options.password = "pw";
    options.favorites = { "Alice", "Bob" };
    sitesim::SimulatedSite site(options);
    ASSERT_TRUE(site.Start(0));
    Receiver receiver;
    const wxString url = "http://" + wxString(site.GetHostPort()) + "/tovrik?username=anna&password=pw";
    Start(&receiver, -1, new wxURL(url), new wxHTTP2);
    ASSERT_TRUE(TestSupport::WaitFor([&] { return !receiver.events.empty(); }));
    DownloadThread::WaitForAll();

    ASSERT_EQ(1u, receiver.events.size());
    ASSERT_TRUE(receiver.events[0].hasData);
    EXPECT_NE(std::string::npos, receiver.events[0].bytes.find("Alice"));
    EXPECT_NE(std::string::npos, receiver.events[0].bytes.find("Bob"));
    const std::vector<sitesim::Request> requests = site.GetRequests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("anna", requests[0].params.at("username"));
    EXPECT_EQ("", requests[0].Header("Authorization"));
}

TEST(DownloadThread, FailuresGiveOneEventWithoutData)
{
    Receiver receiver;
    const wxString refused = wxString::Format("http://127.0.0.1:%d/x", sitesim::SimulatedSite::UnusedPort());
    Start(&receiver, 7, new wxURL(refused));
    Start(&receiver, 8, new wxURL(refused), new wxHTTP2);
    ASSERT_TRUE(TestSupport::WaitFor([&] { return receiver.events.size() >= 2; }));

    // An HTTP error is no body either.
    OfferingSite site("unused");
    site.Site().SetFault(UPDATE_PATH, sitesim::Fault::HttpError(404));
    Start(&receiver, 9, new wxURL(site.Url()));
    ASSERT_TRUE(TestSupport::WaitFor([&] { return receiver.events.size() >= 3; }));
    DownloadThread::WaitForAll();

    ASSERT_EQ(3u, receiver.events.size());
    for ( const Finished& finished : receiver.events )
    {
        EXPECT_FALSE(finished.hasData) << finished.id;
        EXPECT_EQ(0, finished.size) << finished.id;
    }
}

TEST(DownloadThread, BodyPastTheLimitFails)
{
    OfferingSite site("unused");
    Receiver receiver;

    // Exactly the limit is still a body.
    site.Site().SetFault(UPDATE_PATH, sitesim::Fault::Oversize(DownloadThread::MAX_BODY_SIZE), 1);
    Start(&receiver, 1, new wxURL(site.Url()));
    ASSERT_TRUE(TestSupport::WaitFor([&] { return receiver.events.size() == 1; }, 20000));
    EXPECT_TRUE(receiver.events[0].hasData);
    EXPECT_EQ(static_cast<int>(DownloadThread::MAX_BODY_SIZE), receiver.events[0].size);

    site.Site().SetFault(UPDATE_PATH, sitesim::Fault::Oversize(9 * 1024 * 1024), 1);
    Start(&receiver, 2, new wxURL(site.Url()));
    ASSERT_TRUE(TestSupport::WaitFor([&] { return receiver.events.size() == 2; }, 20000));
    EXPECT_FALSE(receiver.events[1].hasData);
    EXPECT_EQ(0, receiver.events[1].size);

    // A body without end stops at the limit as well.
    site.Site().SetFault(UPDATE_PATH, sitesim::Fault::Of(sitesim::Fault::ENDLESS_BODY), 1);
    Start(&receiver, 3, new wxURL(site.Url()));
    ASSERT_TRUE(TestSupport::WaitFor([&] { return receiver.events.size() == 3; }, 20000));
    EXPECT_FALSE(receiver.events[2].hasData);
    DownloadThread::WaitForAll();
}

TEST(DownloadThread, NullHandlerFetchesAndPostsNothing)
{
    OfferingSite site(RandomBytes(3000));
    std::atomic<bool> urlDeleted{ false };
    std::atomic<bool> httpDeleted{ false };
    Receiver bystander;
    const int before = Receiver::ms_received;
    Start(nullptr, -1, new TrackedURL(site.Url(), urlDeleted), new TrackedHTTP(httpDeleted));
    ASSERT_TRUE(site.Site().WaitForRequests(UPDATE_PATH, 1, 5000));
    DownloadThread::WaitForAll();

    EXPECT_TRUE(urlDeleted);
    EXPECT_TRUE(httpDeleted);
    // WaitForAll has handed over everything: nothing can come later.
    wxTheApp->ProcessPendingEvents();
    EXPECT_EQ(before, Receiver::ms_received);
}

TEST(DownloadThread, DestroyedReceiverNeverGetsTheEvent)
{
    OfferingSite site(RandomBytes(3000));
    site.Site().SetFault(UPDATE_PATH, sitesim::Fault::Delay(300));
    const int before = Receiver::ms_received;

    // Destroyed while its thread still waits for the answer.
    Receiver* early = new Receiver;
    Start(early, 1, new wxURL(site.Url()));
    ASSERT_TRUE(site.Site().WaitForRequests(UPDATE_PATH, 1, 5000));
    delete early;

    DownloadThread::WaitForAll();

    // Destroyed after the answer was handed over but before the main thread delivered it.
    wxTheApp->ProcessPendingEvents();
    ASSERT_FALSE(wxTheApp->HasPendingEvents());
    Receiver* late = new Receiver;
    Start(late, 2, new wxURL(site.Url()));
    ASSERT_TRUE(WaitWithoutDelivering([] { return wxTheApp->HasPendingEvents(); }));
    delete late;

    // A receiver made afterwards (perhaps at the same address) gets nothing either.
    Receiver fresh;
    DownloadThread::WaitForAll();
    wxTheApp->ProcessPendingEvents();
    EXPECT_EQ(before, Receiver::ms_received);
    EXPECT_TRUE(fresh.events.empty());
}

TEST(DownloadThread, WaitForAllEndsStalledDownloads)
{
    OfferingSite site(RandomBytes(100));
    Receiver receiver;

    // A server that never answers: bounded by the client's time-out.
    site.Site().SetFault(UPDATE_PATH, sitesim::Fault::Delay(30000), 1);
    wxURL* stalled = new wxURL(site.Url());
    stalled->GetProtocol().SetTimeout(2);
    Start(&receiver, 1, stalled);
    ASSERT_TRUE(site.Site().WaitForRequests(UPDATE_PATH, 1, 5000));

    // A body that never ends: stops at the next chunk once asked to.
    site.Site().SetFault(UPDATE_PATH, sitesim::Fault::Of(sitesim::Fault::ENDLESS_BODY), 1);
    Start(&receiver, 2, new wxURL(site.Url()));
    ASSERT_TRUE(site.Site().WaitForRequests(UPDATE_PATH, 2, 5000));

    wxStopWatch watch;
    DownloadThread::WaitForAll();
    EXPECT_LT(watch.Time(), 4000);
    // Both results were handed over on the way out, without data.
    ASSERT_EQ(2u, receiver.events.size());
    EXPECT_FALSE(receiver.events[0].hasData);
    EXPECT_FALSE(receiver.events[1].hasData);

    // Downloads work again afterwards.
    Start(&receiver, 3, new wxURL(site.Url()));
    ASSERT_TRUE(TestSupport::WaitFor([&] { return receiver.events.size() == 3; }));
    EXPECT_TRUE(receiver.events[2].hasData);
    DownloadThread::WaitForAll();
}
