#include "ExpectDialog.h"
#include "common/TempConfig.h"
#include "common/TestSupport.h"
#include "common/UserSupport.h"
#include "shell/Site.h"
#include "sitesim/SimulatedSite.h"
#include "ui/AuthenticationDialog.h"
#include "ui/FavoriteTreeCtrl.h"
#include "ui/UserListTreeItemData.h"
#include "ui/MainFrame.h"
#include "ui/NotifyIcon.h"
#include "net/DownloadThread.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/fileconf.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/stopwatch.h>
#include <wx/timer.h>

#include <functional>
#include <vector>

using namespace StatusWord;

namespace
{
const char SIGN_IN[] = "/tovrik";

class LoginTest : public ConfiguredTest
{
protected:
    void SetUp() override
    {
        ConfiguredTest::SetUp();
        sitesim::SimulatedSite::Options options;
        options.user = "viewer";
        options.password = "secret";
        options.favorites = { "Anna", "Nobody_here", "Bea" };
        m_site.reset(new sitesim::SimulatedSite(options));
        ASSERT_TRUE(m_site->Start(0));
        std::vector<sitesim::Performer> performers = { { "Anna", FREE }, { "Bea", BUSY_PRIVATE },
                                                       { "Cleo", ONLINE_ONLY } };
        m_site->SetPerformers(performers);
        m_site->SetChurn(0);
        Config().Write("/Site/mainhost", wxString(m_site->GetHostPort()));
        m_frame = new MainFrame;
        // The site's list is in before the favourites are asked for.
        ASSERT_TRUE(TestSupport::WaitFor([] { return Site::GetInstance()->GetUserList().GetCount() == 3; }, 10000));
    }
    void TearDown() override
    {
        if ( m_frame )
            m_frame->Destroy();
        TestSupport::WaitFor([] { return !wxTheApp->GetTopWindow(); });
        m_site->Stop();
        ConfiguredTest::TearDown();
    }

    // Chooses "UpdateFavorite"; a dialog, if one comes, is answered by the expectations in force.
    void UpdateFavorites()
    {
        wxCommandEvent event(wxEVT_COMMAND_MENU_SELECTED, ID_UPDATE_FAVORITE);
        m_frame->GetEventHandler()->ProcessEvent(event);
    }
    size_t SignIns() const { return m_site->CountRequests(SIGN_IN); }
    // The polling thread asks for the list meanwhile: pick the last sign-in.
    sitesim::Request LastSignIn() const
    {
        const std::vector<sitesim::Request> requests = m_site->GetRequests();
        for ( auto it = requests.rbegin(); it != requests.rend(); ++it )
        {
            if ( it->path == SIGN_IN )
                return *it;
        }
        ADD_FAILURE() << "no sign-in request";
        return sitesim::Request();
    }
    bool WaitForSignIns(size_t count) { return TestSupport::WaitFor([&] { return SignIns() >= count; }); }
    wxString Stored(const wxString& key) { return Config().Read(key, "<absent>"); }

    std::unique_ptr<sitesim::SimulatedSite> m_site;
    MainFrame* m_frame = nullptr;
};

// Lets the sign-in dialog run its own modal loop, as on a screen, and does something to the
// frame from inside that loop; answers message boxes with OK. A dialog still open after a
// while is ended, and the test fails.
class InsideTheDialog : public wxModalDialogHook
{
public:
    explicit InsideTheDialog(const std::function<void()>& action)
        : m_action(action)
    {
        Register();
        m_safety.Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
            ADD_FAILURE() << "the sign-in dialog is still open";
            if ( m_dialog && m_dialog->IsModal() )
                m_dialog->EndModal(wxID_CANCEL);
        });
    }
    ~InsideTheDialog() override { Unregister(); }

    bool dialogShown = false;
    std::vector<wxString> boxes;
    std::vector<wxString> messages;

protected:
    int Enter(wxDialog* dialog) override
    {
        if ( !dynamic_cast<AuthenticationDialog*>(dialog) )
        {
            boxes.push_back(dialog->GetTitle());
            if ( wxMessageDialog* box = dynamic_cast<wxMessageDialog*>(dialog) )
                messages.push_back(box->GetMessage());
            return wxID_OK;
        }
        dialogShown = true;
        m_dialog = dialog;
        m_safety.StartOnce(40000);
        wxTheApp->CallAfter(m_action);
        return wxID_NONE;
    }
    void Exit(wxDialog*) override
    {
        m_safety.Stop();
        m_dialog = nullptr;
    }

private:
    std::function<void()> m_action;
    wxDialog* m_dialog = nullptr;
    wxTimer m_safety;
};
}

TEST_F(LoginTest, FirstTimeAsksThenRemembers)
{
    {
        // Cancel: nothing stored, nothing sent.
        SeenSignIn signIn;
        wxTEST_DIALOG(
            {
                UpdateFavorites();
                ASSERT_EQ(1, signIn.shown);
                EXPECT_EQ("Authentication", signIn.caption);
                EXPECT_EQ("", signIn.user);
                TestSupport::WaitFor([] { return false; }, 200);
            },
            AnswerSignIn::Cancel(&signIn));
        EXPECT_EQ(0u, SignIns());
        EXPECT_EQ("<absent>", Stored("/id"));
    }
    {
        // Wrong credentials: stored before the request, the failure is shown.
        SeenBox failure;
        wxTEST_DIALOG(
            {
                UpdateFavorites();
                EXPECT_EQ("viewer", Stored("/id"));
                EXPECT_EQ("wrong", Stored("/password"));
                ASSERT_TRUE(WaitForSignIns(1));
                ASSERT_TRUE(TestSupport::WaitFor([&] { return failure.shown == 1; }));
            },
            AnswerSignIn("viewer", "wrong"), AnswerBox(wxID_OK, failure));
        EXPECT_EQ("Could not login.", failure.message);
        EXPECT_EQ("Error", failure.caption);
        EXPECT_FALSE(m_frame->IsLoggedIn());
        EXPECT_FALSE(m_frame->GetFavoritePanel()->IsEnabled());
    }
    {
        // The dialog comes again, filled with what was stored; now it works, and no error
        // follows the success.
        SeenSignIn signIn;
        wxTEST_DIALOG(
            {
                UpdateFavorites();
                EXPECT_EQ("viewer", signIn.user);
                ASSERT_TRUE(WaitForSignIns(2));
                ASSERT_TRUE(TestSupport::WaitFor([&] { return m_frame->IsLoggedIn(); }));
            },
            AnswerSignIn("viewer", "secret", &signIn));
    }
    const sitesim::Request request = LastSignIn();
    EXPECT_EQ("username=viewer&password=secret", request.query);
    EXPECT_EQ("", request.Header("Authorization"));

    // Logged in: the favourites page and the filter item come on, and the page is chosen.
    EXPECT_TRUE(m_frame->GetFavoritePanel()->IsEnabled());
    EXPECT_TRUE(m_frame->GetMenuBar()->IsEnabled(ID_POPUP_ONLY_FAVORITE));
    EXPECT_EQ(1, m_frame->GetNotebook()->GetSelection());
    // The site sends one name per line and ends its answer with an empty line.
    const wxString favorites = Stored("/favorites");
    EXPECT_EQ("Anna,Nobody_here,Bea,", favorites);

    // Statuses come from the site's current list; names it lacks are offline.
    FavoriteTreeCtrl* tree = m_frame->GetFavoriteTree();
    ASSERT_TRUE(TestSupport::WaitFor([&] { return tree->GetCount() >= 4; }));
    const wxTreeItemId anna = tree->FindItem(User("Anna", 0), tree->GetRootItem(), true);
    const wxTreeItemId nobody = tree->FindItem(User("Nobody_here", 0), tree->GetRootItem(), true);
    ASSERT_TRUE(anna.IsOk());
    ASSERT_TRUE(nobody.IsOk());
    EXPECT_EQ(FREE, tree->GetUserData(anna)->GetUser().GetStatus());
    EXPECT_EQ(OFFLINE, tree->GetUserData(nobody)->GetUser().GetStatus());

    // Later: the stored values go out at once, failures are silent, the page stays put.
    m_frame->GetNotebook()->SetSelection(0);
    {
        NoDialogExpected silent;
        UpdateFavorites();
        ASSERT_TRUE(WaitForSignIns(3));
        m_site->SetAccount("viewer", "changed");
        UpdateFavorites();
        ASSERT_TRUE(WaitForSignIns(4));
        TestSupport::WaitFor([] { return false; }, 300);
    }
    EXPECT_EQ(0, m_frame->GetNotebook()->GetSelection());
    EXPECT_EQ(favorites, Stored("/favorites")) << "a failure keeps the last favourites";
}

TEST_F(LoginTest, CredentialsReachTheSiteAsTyped)
{
    const wxString user = wxString::FromUTF8("us er&#+%\xC3\xA9");
    const wxString password = "p&ss word#1+2%3\nnext";
    m_site->SetAccount(std::string(user.utf8_str()), std::string(password.utf8_str()));
    wxTEST_DIALOG(
        {
            UpdateFavorites();
            ASSERT_TRUE(WaitForSignIns(1));
            EXPECT_TRUE(TestSupport::WaitFor([&] { return m_frame->IsLoggedIn(); }));
        },
        AnswerSignIn(user, password));
    const sitesim::Request request = LastSignIn();
    ASSERT_EQ(1u, request.params.count("username")) << request.query;
    ASSERT_EQ(1u, request.params.count("password")) << request.query;
    EXPECT_EQ(std::string(user.utf8_str()), request.params.at("username"));
    EXPECT_EQ(std::string(password.utf8_str()), request.params.at("password"));
    EXPECT_EQ(2u, request.params.size()) << request.query;
}

TEST_F(LoginTest, LeavingWhileTheDialogIsOpenEndsItFirst)
{
    m_frame->Destroy();
    ASSERT_TRUE(TestSupport::WaitFor([] { return !wxTheApp->GetTopWindow(); }));
    m_frame = nullptr;
    Config().Write("/System/syncinterval", 1);

    enum Way
    {
        TEN_FAILURES, // the exit command the site module sends once the user has seen the error
        TRAY_EXIT,
        STOP_SIGNAL   // what the host does on SIGTERM: every window is closed
    };
    for ( Way way : { TEN_FAILURES, TRAY_EXIT, STOP_SIGNAL } )
    {
        SCOPED_TRACE(way);
        // A success starts the count of failures afresh.
        Config().Write("/Site/mainhost", wxString(m_site->GetHostPort()));
        ASSERT_NE(0, Site::GetInstance()->UpdateUserList());
        if ( way == TEN_FAILURES )
        {
            // Nine failures before the frame polls: its first is the tenth.
            Config().Write("/Site/mainhost", wxString::Format("127.0.0.1:%d", sitesim::SimulatedSite::UnusedPort()));
            for ( int i = 0; i < 9; ++i )
                ASSERT_EQ(0, Site::GetInstance()->UpdateUserList());
        }
        MainFrame* frame = new MainFrame;
        InsideTheDialog inside([frame, way] {
            if ( way == TRAY_EXIT )
            {
                wxCommandEvent exit(wxEVT_COMMAND_MENU_SELECTED, wxID_EXIT);
                frame->GetNotifyIcon()->AddPendingEvent(exit);
            }
            else if ( way == STOP_SIGNAL )
            {
                for ( wxWindow* window : wxTopLevelWindows )
                    window->Close(true);
            }
        });
        wxCommandEvent update(wxEVT_COMMAND_MENU_SELECTED, ID_UPDATE_FAVORITE);
        frame->GetEventHandler()->ProcessEvent(update);

        EXPECT_TRUE(inside.dialogShown);
        EXPECT_TRUE(TestSupport::WaitFor([] { return wxTopLevelWindows.empty(); }, 10000));
        if ( way == TEN_FAILURES )
            EXPECT_EQ(std::vector<wxString>{ "Error" }, inside.boxes) << ::testing::PrintToString(inside.messages);
        else
            EXPECT_TRUE(inside.boxes.empty()) << ::testing::PrintToString(inside.messages);
        EXPECT_EQ(0u, m_site->CountRequests(SIGN_IN)) << "the dialog was not answered";
    }
}

TEST_F(LoginTest, LeavingWhileTheServerKeepsSilentIsQuick)
{
    // The site takes the sign-in request and never answers it.
    m_site->SetFault(SIGN_IN, sitesim::Fault::Delay(120000));
    Config().Write("/id", "viewer");
    Config().Write("/password", "secret");
    wxTEST_DIALOG(
        {
            // The dialog comes filled with the stored values.
            UpdateFavorites();
            ASSERT_TRUE(WaitForSignIns(1));

            wxStopWatch watch;
            wxCommandEvent exit(wxEVT_COMMAND_MENU_SELECTED, wxID_EXIT);
            m_frame->GetEventHandler()->ProcessEvent(exit);
            ASSERT_TRUE(TestSupport::WaitFor([] { return !wxTheApp->GetTopWindow(); }, 20000));
            m_frame = nullptr;
            // What the module does before the plug-in goes.
            DownloadThread::WaitForAll();
            EXPECT_LT(watch.Time(), 5000);
        },
        wxExpectDismissableModal<AuthenticationDialog>(wxID_OK).Describe("the sign-in dialog"));
}
