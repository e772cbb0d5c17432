// How the program's requests travel, end to end against the simulated site: compressed, several
// polls over one kept connection, pictures over a few, and over https to a site whose certificate
// is checked against an authority made for the test.
#include "ExpectDialog.h"
#include "TestAuthority.h"
#include "common/ScopedEnv.h"
#include "common/ScopedProgramName.h"
#include "common/TempConfig.h"
#include "common/TestSupport.h"
#include "common/UserSupport.h"
#include "model/User.h"
#include "net/DownloadFinishedEvent.h"
#include "net/PictureFetcher.h"
#include "shell/Site.h"
#include "sitesim/SimulatedSite.h"
#include "sitesim/ThumbnailMaker.h"
#include "ui/MainFrame.h"
#include "ui/Thumbnail.h"
#include "update/GetNewPluginFileName.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/url.h>
#include <wx/utils.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace
{
const char LIST_PATH[] = "/include/js/online_performers.js";
const char SIGN_IN_PATH[] = "/tovrik";
const char NEWCOMER[] = "Newcomer";

std::vector<sitesim::Request> RequestsFor(const sitesim::SimulatedSite& site, const std::string& path)
{
    std::vector<sitesim::Request> found;
    for ( const sitesim::Request& request : site.GetRequests() )
    {
        if ( request.path == path )
            found.push_back(request);
    }
    return found;
}

// The bytes of path as the toolkit's own client gets them: plainly, without compression.
std::string PlainBody(const std::string& hostPort, const std::string& path)
{
    wxURL url("http://" + hostPort + path);
    url.GetProtocol().SetTimeout(10);
    std::unique_ptr<wxInputStream> input(url.GetInputStream());
    std::string body;
    char buffer[16384];
    while ( input && input->Read(buffer, sizeof buffer).LastRead() > 0 )
        body.append(buffer, input->LastRead());
    return body;
}

std::map<wxString, int> AsMap(const UserList& list)
{
    std::map<wxString, int> map;
    for ( UserList::const_iterator it = list.begin(); it != list.end(); ++it )
        map[it->first] = it->second.GetStatus();
    return map;
}

std::map<wxString, int> AsMap(const std::vector<sitesim::Performer>& performers)
{
    std::map<wxString, int> map;
    for ( const sitesim::Performer& performer : performers )
        map[performer.name] = performer.status;
    return map;
}

// Keeps the picture a download brought.
class PictureReceiver : public wxEvtHandler
{
public:
    bool arrived = false;
    std::string bytes;

private:
    void OnDownloadFinished(DownloadFinishedEvent& event)
    {
        arrived = true;
        char* data = static_cast<char*>(event.GetClientData());
        if ( data )
            bytes.assign(data, static_cast<size_t>(event.GetInt()));
        ::operator delete(data);
        event.SetClientData(nullptr);
    }

    wxDECLARE_EVENT_TABLE();
};

wxBEGIN_EVENT_TABLE(PictureReceiver, wxEvtHandler)
    EVT_DOWNLOAD_FINISHED(PictureReceiver::OnDownloadFinished)
wxEND_EVENT_TABLE()

// The program's traces while it lives, kept for a test to read.
class TraceRecorder : public wxLog
{
public:
    TraceRecorder()
        : m_previous(wxLog::SetActiveTarget(this))
    {
        wxLog::AddTraceMask("lumora");
    }
    ~TraceRecorder() override
    {
        wxLog::RemoveTraceMask("lumora");
        wxLog::SetActiveTarget(m_previous);
    }

    wxString Text()
    {
        wxLog::FlushActive();
        wxCriticalSectionLocker lock(m_lock);
        return m_text;
    }

protected:
    void DoLogRecord(wxLogLevel level, const wxString& message, const wxLogRecordInfo& info) override
    {
        if ( level == wxLOG_Trace )
        {
            wxCriticalSectionLocker lock(m_lock);
            m_text += message + "\n";
            return;
        }
        if ( m_previous )
            m_previous->LogRecord(level, message, info);
    }

private:
    wxLog* m_previous;
    wxCriticalSection m_lock;
    wxString m_text;
};

class SiteTransferTest : public ConfiguredTest
{
protected:
    void TearDown() override
    {
        if ( m_frame )
            m_frame->Destroy();
        TestSupport::WaitFor([] { return wxTopLevelWindows.empty(); }, 20000);
        ConfiguredTest::TearDown();
    }

    // An authority made for the test, which the program trusts while the test runs, with a
    // certificate "site" for this machine; options serve https with it.
    TestAuthority& TrustTestAuthority(const wxString& dir, sitesim::SimulatedSite::Options& options)
    {
        m_authority.reset(new TestAuthority(dir, "Parlo test authority"));
        EXPECT_TRUE(m_authority->IsOk());
        EXPECT_TRUE(m_authority->Issue("site", "IP:127.0.0.1,DNS:localhost"));
        m_trusted.reset(new ScopedEnv("SSL_CERT_FILE", m_authority->GetCertificateFile()));
        options.tlsCertificate = m_authority->GetCertificate("site").ToStdString();
        options.tlsKey = m_authority->GetKey("site").ToStdString();
        return *m_authority;
    }

    // Points every host at site, by http or https.
    void PointAt(const sitesim::SimulatedSite& site, const wxString& scheme = "")
    {
        const wxString host = scheme + wxString(site.GetHostPort());
        for ( const char* key : { "/Site/mainhost", "/Site/imagehost", "/Site/previewhost" } )
            Config().Write(key, host);
    }

    // The main window against the configured site, with its first list in.
    void OpenFrame(size_t performers)
    {
        Config().Write("/System/syncinterval", 1);
        Config().Write("/id", "viewer");
        Config().Write("/password", "secret");
        m_frame = new MainFrame;
        ASSERT_TRUE(TestSupport::WaitFor(
            [&] { return Site::GetInstance()->GetUserList().GetCount() == performers; }, 30000));
    }

    // "UpdateFavorite" with the stored account, until the favourites are in.
    void SignIn()
    {
        wxCommandEvent update(wxEVT_COMMAND_MENU_SELECTED, ID_UPDATE_FAVORITE);
        wxTEST_DIALOG(m_frame->GetEventHandler()->ProcessEvent(update),
                      wxExpectDismissableModal<AuthenticationDialog>(wxID_OK));
        ASSERT_TRUE(TestSupport::WaitFor([&] { return m_frame->IsLoggedIn(); }, 20000));
    }

    // A newcomer's picture, fetched as a pop-up fetches it.
    std::string FetchNewcomersPicture()
    {
        PictureReceiver receiver;
        if ( !Thumbnail::StartDownload(&receiver, User(NEWCOMER, StatusWord::FREE)) )
            return "(not started)";
        if ( !TestSupport::WaitFor([&] { return receiver.arrived; }, 20000) )
            return "(nothing came)";
        return receiver.bytes;
    }

    MainFrame* m_frame = nullptr;
    std::unique_ptr<TestAuthority> m_authority;
    std::unique_ptr<ScopedEnv> m_trusted;
};
}

TEST_F(SiteTransferTest, ListSignInAndPicturesComeCompressedOverAKeptConnection)
{
    sitesim::SimulatedSite::Options options;
    options.performers = 300;
    options.churn = 0;
    options.user = "viewer";
    options.password = "secret";
    for ( int i = 0; i < 60; ++i )
        options.favorites.push_back("Favourite_" + std::to_string(i));
    sitesim::SimulatedSite site(options);
    ASSERT_TRUE(site.Start(0));
    PointAt(site);
    const size_t plainList = PlainBody(site.GetHostPort(), LIST_PATH).size();
    ASSERT_GT(plainList, 50000u);
    site.ClearRequests();

    // The list: the same performers as the site's, poll after poll, on one connection.
    OpenFrame(300);
    ASSERT_TRUE(TestSupport::WaitFor([&] { return site.CountRequests(LIST_PATH) >= 3; }, 30000));
    EXPECT_EQ(AsMap(site.GetPerformers()), AsMap(Site::GetInstance()->GetUserList()));

    // The favourites, every one of them.
    SignIn();
    const wxString stored = Config().Read("/favorites", wxEmptyString);
    for ( const std::string& name : options.favorites )
        EXPECT_NE(wxNOT_FOUND, stored.Find(wxString(name) + ",")) << name;
    EXPECT_EQ(60u, wxSplit(stored, ',', '\0').size() - 1);

    // A picture, byte for byte the site's.
    EXPECT_TRUE(FetchNewcomersPicture() == sitesim::ThumbnailMaker::Make(NEWCOMER));

    // What went over the wire: every list at most a fifth of its plain size.
    const std::vector<sitesim::Request> lists = RequestsFor(site, LIST_PATH);
    ASSERT_GE(lists.size(), 3u);
    for ( const sitesim::Request& list : lists )
    {
        EXPECT_NE(std::string::npos, list.Header("Accept-Encoding").find("gzip"));
        if ( list.bodyBytes == 0 )
            continue; // still being sent
        EXPECT_EQ("gzip", list.encoding);
        EXPECT_LE(list.bodyBytes * 5, plainList) << list.bodyBytes << " of " << plainList << " bytes";
    }
    const std::vector<sitesim::Request> signIns = RequestsFor(site, SIGN_IN_PATH);
    ASSERT_EQ(1u, signIns.size());
    EXPECT_EQ("gzip", signIns[0].encoding);
    EXPECT_LT(signIns[0].bodyBytes, stored.length() / 2) << "sixty names, one a line, compressed";
    const std::vector<sitesim::Request> pictures =
        RequestsFor(site, "/WebArchive/" + std::string(NEWCOMER) + "/thumbs/LinkedImage.jpg");
    ASSERT_EQ(1u, pictures.size());
    EXPECT_NE(std::string::npos, pictures[0].Header("Accept-Encoding").find("gzip"));

    // The polls kept their connection.
    std::set<unsigned long> connections;
    for ( const sitesim::Request& list : lists )
        connections.insert(list.connection);
    EXPECT_EQ(1u, connections.size()) << lists.size() << " polls";

    // A site that closes it (here by going away and coming back) gets a new one, and the polls
    // go on as before.
    const int port = site.GetPort();
    site.Stop();
    ASSERT_TRUE(site.Start(port));
    site.ClearRequests();
    ASSERT_TRUE(TestSupport::WaitFor([&] { return site.CountRequests(LIST_PATH) >= 2; }, 30000));
    const std::vector<sitesim::Request> later = RequestsFor(site, LIST_PATH);
    EXPECT_EQ(0u, connections.count(later[0].connection) + connections.count(later[1].connection));
    EXPECT_EQ(later[0].connection, later[1].connection);
    EXPECT_EQ(AsMap(site.GetPerformers()), AsMap(Site::GetInstance()->GetUserList()));
}

TEST_F(SiteTransferTest, HttpsSiteOfATestAuthorityIsWatchedAndAnyOtherRefused)
{
    const wxString dir = TempDir();
    sitesim::SimulatedSite::Options options;
    TestAuthority& authority = TrustTestAuthority(dir, options);
    options.performers = 20;
    options.churn = 0;
    options.user = "viewer";
    options.password = "secret";
    options.favorites = { "Anna" };
    for ( const char* file : { "plugin", "skin", "mo", "manifest" } )
        std::ofstream((dir + "/offer." + file).ToStdString()) << "new " << file;
    options.updateFile = (dir + "/offer.plugin").ToStdString();
    options.updateSkinFile = (dir + "/offer.skin").ToStdString();
    options.updateMoFile = (dir + "/offer.mo").ToStdString();
    options.updateManifestFile = (dir + "/offer.manifest").ToStdString();
    sitesim::SimulatedSite site(options);
    ASSERT_TRUE(site.Start(0));
    PointAt(site, "https://");

    // The update, its statement and its companions.
    {
        ScopedProgramName program(dir + "/Parlo");
        wxFileName::Mkdir(dir + "/ja/LC_MESSAGES", 0700, wxPATH_MKDIR_FULL);
        ASSERT_TRUE(wxCopyFile(TestSupport::BuildDir() + "/Parlo.trust-test-key", dir + "/Parlo.trust-test-key"));
        wxFileName* offered = nullptr;
        wxTEST_DIALOG(offered = GetNewPluginFileName(), wxExpectModal<wxMessageDialog>(wxYES));
        ASSERT_NE(nullptr, offered);
        EXPECT_EQ("new plugin", TestSupport::FileContents(offered->GetFullPath()));
        EXPECT_EQ("new skin", TestSupport::FileContents(dir + "/Parlo.skin.new"));
    }

    // The list, the sign-in and a picture.
    OpenFrame(20);
    EXPECT_EQ(AsMap(site.GetPerformers()), AsMap(Site::GetInstance()->GetUserList()));
    SignIn();
    EXPECT_EQ("Anna,", Config().Read("/favorites", wxEmptyString));
    EXPECT_TRUE(FetchNewcomersPicture() == sitesim::ThumbnailMaker::Make(NEWCOMER));
    m_frame->Destroy();
    m_frame = nullptr;
    ASSERT_TRUE(TestSupport::WaitFor([] { return wxTopLevelWindows.empty(); }, 20000));

    // Every request came over TLS.
    std::set<std::string> paths;
    for ( const sitesim::Request& request : site.GetRequests() )
    {
        EXPECT_TRUE(request.secure) << request.target;
        paths.insert(request.path);
    }
    EXPECT_EQ(4u, paths.size()) << "list, sign-in, picture and update";

    // A site whose certificate comes from another authority, or names another host, gets no
    // request from us: the polls fail as when the site does not answer, and after ten the user
    // is told.
    ASSERT_TRUE(wxFileName::Mkdir(dir + "/stranger", 0700));
    TestAuthority otherAuthority(dir + "/stranger", "Somebody else");
    ASSERT_TRUE(otherAuthority.IsOk());
    ASSERT_TRUE(otherAuthority.Issue("site", "IP:127.0.0.1,DNS:localhost"));
    ASSERT_TRUE(authority.Issue("elsewhere", "DNS:elsewhere.test"));
    struct Refused
    {
        wxString certificate, key;
    };
    const Refused refusals[] = { { otherAuthority.GetCertificate("site"), otherAuthority.GetKey("site") },
                                 { authority.GetCertificate("elsewhere"), authority.GetKey("elsewhere") } };
    for ( const Refused& refused : refusals )
    {
        sitesim::SimulatedSite::Options wrong = options;
        wrong.tlsCertificate = refused.certificate.ToStdString();
        wrong.tlsKey = refused.key.ToStdString();
        sitesim::SimulatedSite impostor(wrong);
        ASSERT_TRUE(impostor.Start(0));
        PointAt(impostor, "https://");
        const UserList before = Site::GetInstance()->GetUserList();
        TraceRecorder traces;
        {
            NoDialogExpected nineShowNothing;
            for ( int i = 0; i < 9; ++i )
                EXPECT_EQ(0, Site::GetInstance()->UpdateUserList()) << refused.certificate;
        }
        SeenBox box;
        wxTEST_DIALOG(EXPECT_EQ(0, Site::GetInstance()->UpdateUserList()), AnswerBox(wxID_OK, box));
        EXPECT_EQ(1, box.shown);
        EXPECT_TRUE(impostor.GetRequests().empty()) << refused.certificate;
        EXPECT_EQ(AsMap(before), AsMap(Site::GetInstance()->GetUserList())) << "the last list stays";
        EXPECT_NE(wxNOT_FOUND, traces.Text().Find("certificate does not check out")) << traces.Text();
        // A success starts the count afresh for the next.
        PointAt(site, "https://");
        EXPECT_NE(0, Site::GetInstance()->UpdateUserList());
    }
}

TEST_F(SiteTransferTest, PicturesOverHttpsTakeTurnsOnAFewKeptConnections)
{
    sitesim::SimulatedSite::Options options;
    TrustTestAuthority(TempDir(), options);
    sitesim::SimulatedSite site(options);
    ASSERT_TRUE(site.Start(0));
    PointAt(site, "https://");

    // Fifty-nine pictures as the pop-ups of a busy evening ask for them: a handful at one poll,
    // twenty at another, each burst in before the next poll brings more.
    const size_t bursts[] = { 12, 1, 20, 4, 15, 7 };
    std::vector<std::unique_ptr<PictureReceiver>> receivers;
    std::vector<std::string> names;
    for ( size_t burst : bursts )
    {
        const size_t first = receivers.size();
        for ( size_t i = 0; i < burst; ++i )
        {
            names.push_back("Performer_" + std::to_string(names.size()));
            receivers.emplace_back(new PictureReceiver);
            ASSERT_TRUE(Thumbnail::StartDownload(receivers.back().get(), User(names.back(), StatusWord::FREE)));
        }
        ASSERT_TRUE(TestSupport::WaitFor(
            [&] {
                return std::all_of(receivers.begin() + first, receivers.end(),
                                   [](const std::unique_ptr<PictureReceiver>& receiver) { return receiver->arrived; });
            },
            30000));
    }
    for ( size_t i = 0; i < names.size(); ++i )
        EXPECT_TRUE(receivers[i]->bytes == sitesim::ThumbnailMaker::Make(names[i])) << names[i];

    // Over TLS, and on a few connections kept from burst to burst, not one and a handshake each.
    std::set<unsigned long> connections;
    size_t pictures = 0;
    for ( const sitesim::Request& request : site.GetRequests() )
    {
        EXPECT_TRUE(request.secure) << request.target;
        connections.insert(request.connection);
        ++pictures;
    }
    EXPECT_EQ(names.size(), pictures);
    EXPECT_LE(connections.size(), static_cast<size_t>(PictureFetcher::MAX_CONNECTIONS))
        << pictures << " pictures over " << connections.size() << " connections";
}
