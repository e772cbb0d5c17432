// Every kind of request the plug-in makes, through a real proxy, to a site on a port other than 80.
#include "ChildProgram.h"
#include "ExpectDialog.h"
#include "common/ScopedProgramName.h"
#include "common/TempConfig.h"
#include "common/TestSupport.h"
#include "common/UserSupport.h"
#include "shell/Site.h"
#include "shell/SystemProxy.h"
#include "sitesim/SimulatedSite.h"
#include "ui/MainFrame.h"
#include "update/GetNewPluginFileName.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/utils.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

namespace
{
// A port nobody listens on right now.
int FreePort()
{
    const int sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if ( bind(sock, reinterpret_cast<sockaddr*>(&address), length) == 0
         && getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length) == 0 )
        port = ntohs(address.sin_port);
    close(sock);
    return port;
}

// tinyproxy on a free port of 127.0.0.1, logging every request it passes on.
class TinyProxy
{
public:
    explicit TinyProxy(const wxString& dir)
        : m_port(FreePort())
    {
        const wxString config = dir + "/tinyproxy.conf";
        std::ofstream(config.ToStdString()) << "Port " << m_port << "\nListen 127.0.0.1\nAllow 127.0.0.1\n"
                                            << "Timeout 30\nMaxClients 200\nLogLevel Info\n";
        m_program->Start({ "tinyproxy", "-d", "-c", config });
        m_running = TestSupport::WaitFor([this] {
            m_program->Pump();
            return Log().find("Accepting connections") != wxString::npos || m_program->Ended();
        }, 10000) && !m_program->Ended();
    }
    ~TinyProxy()
    {
        m_program->Signal(SIGTERM);
        m_program->WaitForEnd(10000);
    }

    bool IsRunning() const { return m_running; }
    wxString GetAddress() const { return wxString::Format("http://127.0.0.1:%d/", m_port); }
    wxString Log()
    {
        m_program->Pump();
        return m_program->Errors() + m_program->Output();
    }

private:
    int m_port;
    ChildProgramPtr m_program = MakeChildProgram();
    bool m_running = false;
};

// The proxy of the environment, in force for one scope.
class ScopedProxy
{
public:
    explicit ScopedProxy(const wxString& proxy)
    {
        wxSetEnv("http_proxy", proxy);
        SystemProxy::Install();
    }
    ~ScopedProxy()
    {
        wxUnsetEnv("http_proxy");
        SystemProxy::Install();
    }
};
}

TEST_F(ConfiguredTest, EveryRequestGoesThroughTheProxyWithItsPort)
{
    if ( !wxFileName::IsFileExecutable("/usr/bin/tinyproxy") )
        GTEST_SKIP() << "tinyproxy is not installed (scripts/deps.sh installs it)";
    const wxString dir = TempDir();
    TinyProxy proxy(dir);
    ASSERT_TRUE(proxy.IsRunning()) << proxy.Log();

    sitesim::SimulatedSite::Options options;
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
    ASSERT_NE(80, site.GetPort());
    std::vector<sitesim::Performer> performers = { { "Anna", StatusWord::FREE } };
    site.SetPerformers(performers);
    site.SetChurn(0);
    const wxString host = site.GetHostPort();
    Config().Write("/Site/mainhost", host);
    Config().Write("/Site/imagehost", host);
    Config().Write("/System/syncinterval", 1);
    Config().Write("/id", "viewer");
    Config().Write("/password", "secret");

    ScopedProxy inForce(proxy.GetAddress());
    {
        // The update and its companions, beside a program in a throwaway folder.
        ScopedProgramName program(dir + "/Parlo");
        wxFileName::Mkdir(dir + "/ja/LC_MESSAGES", 0700, wxPATH_MKDIR_FULL);
        ASSERT_TRUE(wxCopyFile(TestSupport::BuildDir() + "/Parlo.trust-test-key", dir + "/Parlo.trust-test-key"));
        wxFileName* offered = nullptr;
        wxTEST_DIALOG(offered = GetNewPluginFileName(), wxExpectModal<wxMessageDialog>(wxYES));
        EXPECT_NE(nullptr, offered);
    }

    // The list, the sign-in, and a newcomer's picture.
    MainFrame* frame = new MainFrame;
    ASSERT_TRUE(TestSupport::WaitFor([] { return Site::GetInstance()->GetUserList().GetCount() == 1; }, 20000));
    wxCommandEvent update(wxEVT_COMMAND_MENU_SELECTED, ID_UPDATE_FAVORITE);
    wxTEST_DIALOG(frame->GetEventHandler()->ProcessEvent(update), wxExpectDismissableModal<AuthenticationDialog>(wxID_OK));
    EXPECT_TRUE(TestSupport::WaitFor([&] { return frame->IsLoggedIn(); }, 20000));
    performers.push_back({ "Newcomer", StatusWord::FREE });
    site.SetPerformers(performers);
    const std::string thumbnail = "/WebArchive/Newcomer/thumbs/LinkedImage.jpg";
    EXPECT_TRUE(TestSupport::WaitFor([&] { return site.CountRequests(thumbnail) > 0; }, 20000));
    frame->Destroy();
    ASSERT_TRUE(TestSupport::WaitFor([] { return wxTopLevelWindows.empty(); }, 20000));

    // Each arrived through the proxy, which was asked for the whole address with its port.
    const wxString log = proxy.Log();
    for ( const char* target : { "/include/js/online_performers.js", "/tovrik?username=viewer&password=secret",
                                     "/WebArchive/Newcomer/thumbs/LinkedImage.jpg",
                                     "/cgi-bin/app/update.cgi?version=1.3.0",
                                     "/cgi-bin/app/update.cgi?version=1.3.0&type=statement",
                                     "/cgi-bin/app/update.cgi?version=1.3.0&type=skin",
                                     "/cgi-bin/app/update.cgi?version=1.3.0&type=mo",
                                     "/cgi-bin/app/update.cgi?version=1.3.0&type=manifest" } )
        EXPECT_NE(wxString::npos, log.find("GET http://" + host + target + " HTTP/1.1")) << target << "\n" << log;
    const std::vector<sitesim::Request> requests = site.GetRequests();
    ASSERT_FALSE(requests.empty());
    for ( const sitesim::Request& request : requests )
        EXPECT_NE(std::string::npos, request.Header("Via").find("tinyproxy")) << request.target;
}
