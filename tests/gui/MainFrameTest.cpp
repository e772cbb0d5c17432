#include "ExpectDialog.h"
#include "TrayHost.h"
#include "common/TempConfig.h"
#include "common/TestSupport.h"
#include "shell/Site.h"
#include "sitesim/SimulatedSite.h"
#include "ui/AllTreeCtrl.h"
#include "ui/MainFrame.h"
#include "ui/NotifyIcon.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/fileconf.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/process.h>
#include <wx/taskbar.h>
#include <wx/utils.h>

namespace
{
// Each frame test runs against its own simulated site and configuration.
class MainFrameTest : public ConfiguredTest
{
protected:
    void SetUp() override
    {
        ConfiguredTest::SetUp();
        ASSERT_TRUE(m_site.Start(0));
        Config().Write("/Site/mainhost", wxString(m_site.GetHostPort()));
        Config().Write("/Site/imagehost", wxString(m_site.GetHostPort()));
    }
    void TearDown() override
    {
        DestroyFrame();
        m_site.Stop();
        ConfiguredTest::TearDown();
    }

    MainFrame* CreateFrame()
    {
        m_frame = new MainFrame;
        m_frameAlive = true;
        return m_frame;
    }
    // Destroys the frame the way the toolkit does after Destroy(): deferred, then gone.
    void DestroyFrame()
    {
        if ( !m_frame )
            return;
        m_frame->Destroy();
        TestSupport::WaitFor([] { return !wxTheApp->GetTopWindow(); }, 5000);
        wxTheApp->ProcessIdle();
        m_frame = nullptr;
    }
    bool FrameGone() const { return wxTheApp->GetTopWindow() == nullptr; }

    wxMenuBar& Menus() { return *m_frame->GetMenuBar(); }

    sitesim::SimulatedSite m_site;
    MainFrame* m_frame = nullptr;
    bool m_frameAlive = false;
};
}

TEST_F(MainFrameTest, FirstStartWithAnEmptyConfiguration)
{
    MainFrame* frame = CreateFrame();
    EXPECT_EQ(frame, wxTheApp->GetTopWindow());
    EXPECT_TRUE(frame->IsShown());
    EXPECT_EQ(wxSize(240, 480), frame->GetSize());
    EXPECT_EQ("Parlo Tovrik", frame->GetTitle());
    EXPECT_FALSE(Menus().IsChecked(ID_POPUP_ONLY_FAVORITE));
    EXPECT_FALSE(Menus().IsEnabled(ID_POPUP_ONLY_FAVORITE));
    EXPECT_TRUE(Menus().IsEnabled(ID_UPDATE_FAVORITE));
    EXPECT_FALSE(frame->GetFavoritePanel()->IsEnabled());
    ASSERT_EQ(2u, frame->GetNotebook()->GetPageCount());
    EXPECT_EQ("All", frame->GetNotebook()->GetPageText(0));
    EXPECT_EQ("Favorite", frame->GetNotebook()->GetPageText(1));
    EXPECT_EQ(0, frame->GetNotebook()->GetSelection());
    ASSERT_NE(nullptr, frame->GetNotifyIcon());

    // The polling thread fills the "All" tree from the site.
    EXPECT_TRUE(TestSupport::WaitFor([&] { return frame->GetAllTree()->GetCount() > 100; }, 10000));

    // The tray icon bears the application's name and offers "Quiet", unticked, and "Exit".
    NotifyIcon* icon = frame->GetNotifyIcon();
    EXPECT_EQ("Messenger", icon->GetTooltip());
    wxMenu* menu = icon->GetMenu();
    ASSERT_EQ(3u, menu->GetMenuItemCount());
    EXPECT_EQ("&Quiet", menu->FindItemByPosition(0)->GetItemLabel());
    EXPECT_FALSE(menu->IsChecked(ID_QUIET));
    EXPECT_EQ("E&xit", menu->FindItemByPosition(2)->GetItemLabel());
    EXPECT_EQ(wxID_EXIT, menu->FindItemByPosition(2)->GetId());
}

TEST_F(MainFrameTest, StoredGeometryAndFilterAreRestored)
{
    Config().Write("/MainFrame/x", 31);
    Config().Write("/MainFrame/y", 42);
    Config().Write("/MainFrame/width", 300);
    Config().Write("/MainFrame/height", 400);
    Config().Write("/PopupDialog/onlyFavorite", true);
    MainFrame* frame = CreateFrame();
    EXPECT_EQ(wxSize(300, 400), frame->GetSize());
    EXPECT_EQ(wxPoint(31, 42), frame->GetPosition());
    EXPECT_TRUE(Menus().IsChecked(ID_POPUP_ONLY_FAVORITE));
    EXPECT_FALSE(Menus().IsEnabled(ID_POPUP_ONLY_FAVORITE)) << "not before favourites are in";
}

TEST_F(MainFrameTest, MenuCommands)
{
    MainFrame* frame = CreateFrame();

    // The filter item writes its state at once.
    Menus().Enable(ID_POPUP_ONLY_FAVORITE, true);
    Menus().Check(ID_POPUP_ONLY_FAVORITE, true);
    wxCommandEvent toggle(wxEVT_COMMAND_MENU_SELECTED, ID_POPUP_ONLY_FAVORITE);
    toggle.SetInt(1);
    frame->GetEventHandler()->ProcessEvent(toggle);
    bool stored = false;
    EXPECT_TRUE(Config().Read("/PopupDialog/onlyFavorite", &stored) && stored);
    toggle.SetInt(0);
    frame->GetEventHandler()->ProcessEvent(toggle);
    EXPECT_TRUE(Config().Read("/PopupDialog/onlyFavorite", &stored) && !stored);

    // Show, hide, and ids that mean nothing here.
    auto send = [&](int id) {
        wxCommandEvent event(wxEVT_COMMAND_MENU_SELECTED, id);
        frame->GetEventHandler()->ProcessEvent(event);
    };
    send(wxID_OPEN);
    EXPECT_TRUE(frame->IsShown());
    send(wxID_CLOSE);
    EXPECT_FALSE(frame->IsShown());
    send(wxID_CLOSE);
    EXPECT_FALSE(frame->IsShown());
    send(wxID_OPEN);
    EXPECT_TRUE(frame->IsShown());
    send(4242);
    send(wxID_SAVE);
    EXPECT_TRUE(frame->IsShown());
    EXPECT_FALSE(FrameGone());

    // "Exit" destroys the frame.
    send(wxID_EXIT);
    EXPECT_TRUE(TestSupport::WaitFor([&] { return FrameGone(); }));
    m_frame = nullptr;
}

TEST_F(MainFrameTest, DestructionStopsThePollingAndKeepsThePlace)
{
    Config().Write("/favorites", "Anna,Bea,");
    MainFrame* frame = CreateFrame();
    frame->SetSize(12, 34, 260, 420);
    ASSERT_TRUE(TestSupport::WaitFor([&] { return frame->GetAllTree()->GetCount() > 0; }, 10000));
    const wxPoint position = frame->GetPosition();
    const size_t requests = m_site.CountRequests("/include/js/online_performers.js");
    DestroyFrame();

    EXPECT_EQ(position.x, Config().ReadLong("/MainFrame/x", -99));
    EXPECT_EQ(position.y, Config().ReadLong("/MainFrame/y", -99));
    EXPECT_EQ(260, Config().ReadLong("/MainFrame/width", -99));
    EXPECT_EQ(420, Config().ReadLong("/MainFrame/height", -99));
    EXPECT_FALSE(Config().HasEntry("/favorites"));
    // Nothing polls any more.
    TestSupport::WaitFor([] { return false; }, 300);
    EXPECT_LE(m_site.CountRequests("/include/js/online_performers.js"), requests + 1);
}

TEST_F(MainFrameTest, IconizingHidesOnlyWhenThereIsATray)
{
    {
        MainFrame* frame = CreateFrame();
        if ( !wxTaskBarIcon::IsAvailable() )
        {
            wxIconizeEvent iconized(frame->GetId(), true);
            frame->GetEventHandler()->ProcessEvent(iconized);
            EXPECT_TRUE(frame->IsShown()) << "without a tray nothing could bring it back";
        }
        DestroyFrame();
    }
    TrayHost tray;
    if ( !wxTaskBarIcon::IsAvailable() )
        GTEST_SKIP() << "no system tray could be started on this display";
    MainFrame* frame = CreateFrame();
    ASSERT_TRUE(TestSupport::WaitFor([&] { return frame->GetNotifyIcon()->IsIconInstalled(); }));
    wxIconizeEvent iconized(frame->GetId(), true);
    frame->GetEventHandler()->ProcessEvent(iconized);
    EXPECT_FALSE(frame->IsShown());
    // Hidden in the tray, it comes back only through the tray: what window managers report as a
    // restore when a hidden window loses its iconized state must not show it.
    wxIconizeEvent restored(frame->GetId(), false);
    frame->GetEventHandler()->ProcessEvent(restored);
    EXPECT_FALSE(frame->IsShown());
    wxCommandEvent open(wxEVT_COMMAND_MENU_SELECTED, wxID_OPEN);
    frame->GetEventHandler()->ProcessEvent(open);
    EXPECT_TRUE(frame->IsShown());
    // The icon leaves the tray before the tray itself goes.
    DestroyFrame();
}

TEST_F(MainFrameTest, EveryWayOutEndsTheFrame)
{
    // The title bar's close button: the toolkit's default destroys the frame.
    CreateFrame()->Close(true);
    EXPECT_TRUE(TestSupport::WaitFor([&] { return FrameGone(); }));
    m_frame = nullptr;

    // Ten failed downloads in a row, each taking the time-out: the error box, which comes while
    // the test waits, then the exit command.
    Config().Write("/Site/mainhost", "127.0.0.1:" + wxString::Format("%d", sitesim::SimulatedSite::UnusedPort()));
    SeenBox box;
    wxTEST_DIALOG(
        {
            CreateFrame();
            EXPECT_TRUE(TestSupport::WaitFor([&] { return FrameGone(); }, 60000));
        },
        AnswerBox(wxID_OK, box));
    m_frame = nullptr;
    ASSERT_GE(box.shown, 1);
    EXPECT_EQ("Could not get response from server\nPlease execute it after a while.", box.message);
}
