#include "ExpectDialog.h"
#include "TopWindows.h"
#include "common/TempConfig.h"
#include "common/TestSupport.h"
#include "common/UserSupport.h"

#include "model/User.h"
#include "model/UserList.h"
#include "net/DownloadThread.h"
#include "sitesim/SimulatedSite.h"
#include "sync/UserEvent.h"
#include "ui/MainFrame.h"
#include "ui/PopupDialog.h"
#include "ui/PopupDialogManager.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/display.h>
#include <wx/fileconf.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/stopwatch.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace
{
struct Announcement
{
    wxString name;
    int kind;

    bool operator==(const Announcement& other) const { return name == other.name && kind == other.kind; }
};

std::ostream& operator<<(std::ostream& out, const Announcement& announcement)
{
    return out << announcement.name.utf8_str().data() << "/" << announcement.kind;
}

// What a pop-up announces.
const int ONLINE = PopupDialog::POPUP_KIND_ONLINE;
const int FREE = PopupDialog::POPUP_KIND_FREE;
// The status words, by a name of their own beside the kinds.
namespace Word = StatusWord;

// Every pop-up window that still exists, including those about to be deleted.
std::vector<PopupDialog*> AllPopups()
{
    return TopWindows<PopupDialog>();
}

// Those not yet closed.
std::vector<PopupDialog*> OpenPopups()
{
    std::vector<PopupDialog*> found;
    for ( PopupDialog* popup : AllPopups() )
    {
        if ( !wxTheApp->IsScheduledForDestruction(popup) )
            found.push_back(popup);
    }
    return found;
}

class PopupDialogManagerTest : public ConfiguredTest
{
protected:
    void SetUp() override
    {
        ConfiguredTest::SetUp();
        ASSERT_TRUE(m_site.Start(0));
        Config().Write("/Site/imagehost", wxString(m_site.GetHostPort()));
        Config().Write("/PopupDialog/duration", 60);

        // The main frame's "PopupOnlyFavorite" item, as the manager finds it.
        m_frame = new wxFrame(nullptr, wxID_ANY, "Main");
        wxMenuBar* menuBar = new wxMenuBar;
        m_frame->SetMenuBar(menuBar);
        wxMenu* tool = new wxMenu;
        tool->Append(ID_UPDATE_FAVORITE, "&UpdateFavorite");
        tool->AppendCheckItem(ID_POPUP_ONLY_FAVORITE, "&PopupOnlyFavorite");
        menuBar->Append(tool, "&Tool");
        wxTheApp->SetTopWindow(m_frame);
    }

    void TearDown() override
    {
        CloseAll();
        wxTheApp->SetTopWindow(nullptr);
        m_frame->Destroy();
        TestSupport::WaitIdle([] { return false; }, 50);
        m_site.Stop();
        DownloadThread::WaitForAll();
        ConfiguredTest::TearDown();
    }

    void SetOnlyFavorite(bool enabled, bool checked)
    {
        m_frame->GetMenuBar()->Enable(ID_POPUP_ONLY_FAVORITE, enabled);
        m_frame->GetMenuBar()->Check(ID_POPUP_ONLY_FAVORITE, checked);
    }

    // Delivered as the polling thread delivers: through the manager's queue.
    void Added(const wxString& name, int status)
    {
        m_manager.AddPendingEvent(UserEvent(User(name, status), wxEVT_USER_ADDED, -1));
        wxTheApp->ProcessPendingEvents();
    }

    void Changed(const wxString& name, int oldStatus, int status)
    {
        m_manager.AddPendingEvent(UserEvent(User(name, status), wxEVT_USER_CHANGED, oldStatus));
        wxTheApp->ProcessPendingEvents();
    }

    // The pop-ups opened since the last call, which are closed again.
    std::vector<Announcement> TakeAnnounced()
    {
        std::vector<Announcement> announced;
        for ( PopupDialog* popup : OpenPopups() )
        {
            announced.push_back({ popup->GetUser().GetName(), popup->GetKind() });
            popup->Destroy();
        }
        std::sort(announced.begin(), announced.end(),
                  [](const Announcement& a, const Announcement& b) { return a.name < b.name; });
        return announced;
    }

    // Also those whose announcement is still queued.
    void CloseAll()
    {
        EXPECT_TRUE(TestSupport::WaitIdle([] {
            for ( PopupDialog* popup : OpenPopups() )
                popup->Destroy();
            return AllPopups().empty();
        }));
    }

    // Pop-ups are not modal: no dialog belongs here.
    NoDialogExpected m_noDialog;
    sitesim::SimulatedSite m_site;
    PopupDialogManager m_manager;
    wxFrame* m_frame = nullptr;
};

typedef std::vector<Announcement> Announced;
}

TEST_F(PopupDialogManagerTest, AnnouncesPerformersWhoComeOnlineOrBecomeFree)
{
    // Whatever status an added performer has, it is a change from offline.
    Added("Anna", STATUS_ONLINE | STATUS_BUSY | STATUS_PUBLIC);
    EXPECT_EQ(Announced({ { "Anna", ONLINE } }), TakeAnnounced());
    Added("Bella", STATUS_ONLINE);
    Added("Cora", STATUS_ONLINE | STATUS_FREE);
    Added("Dana", STATUS_ONLINE | STATUS_BUSY | STATUS_PRIVATE);
    EXPECT_EQ(Announced({ { "Bella", ONLINE }, { "Cora", ONLINE }, { "Dana", ONLINE } }), TakeAnnounced());

    // From busy to free.
    Changed("Anna", Word::BUSY_PRIVATE, Word::FREE);
    Changed("Bella", Word::BUSY_PUBLIC, Word::FREE);
    EXPECT_EQ(Announced({ { "Anna", FREE }, { "Bella", FREE } }), TakeAnnounced());

    // Nothing else: free to busy, online only to free, between shows, back to online only.
    const int quiet[][2] = {
        { Word::FREE, Word::BUSY_PUBLIC },         { Word::FREE, Word::BUSY_PRIVATE },
        { Word::ONLINE_ONLY, Word::FREE },         { Word::BUSY_PUBLIC, Word::BUSY_PRIVATE },
        { Word::BUSY_PRIVATE, Word::BUSY_PUBLIC }, { Word::FREE, Word::ONLINE_ONLY },
        { Word::BUSY_PUBLIC, Word::ONLINE_ONLY },  { Word::ONLINE_ONLY, Word::BUSY_PUBLIC }
    };
    for ( const auto& change : quiet )
        Changed("Erin", change[0], change[1]);
    EXPECT_EQ(Announced(), TakeAnnounced());

    // A change from offline counts as coming online.
    Changed("Fay", STATUS_OFFLINE, Word::FREE);
    EXPECT_EQ(Announced({ { "Fay", ONLINE } }), TakeAnnounced());

    // Leaving, and the first whole list, say nothing.
    m_manager.AddPendingEvent(UserEvent(User("Anna", Word::FREE), wxEVT_USER_DELETED, -1));
    UserListEvent initialized(wxEVT_USER_LIST_INITIALIZED, -1);
    UserList list;
    list.AddUser(User("Gina", Word::FREE));
    initialized.SetUserList(list);
    m_manager.AddPendingEvent(initialized);
    wxTheApp->ProcessPendingEvents();
    EXPECT_EQ(Announced(), TakeAnnounced());

    // The pop-up gets the performer as announced.
    Added("Hana", Word::BUSY_PUBLIC);
    ASSERT_EQ(1u, OpenPopups().size());
    EXPECT_EQ(Word::BUSY_PUBLIC, OpenPopups()[0]->GetUser().GetStatus());
}

TEST_F(PopupDialogManagerTest, FavoritesOnlyLetsExactFavoriteNamesThrough)
{
    SetOnlyFavorite(true, true);
    Config().Write("/favorites", "alpha,beta,");
    Added("beta", Word::FREE);
    Added("Beta", Word::FREE);
    Added("bet", Word::FREE);
    Added("alpha,beta", Word::FREE);
    Added("", Word::FREE);
    Changed("alpha", Word::BUSY_PRIVATE, Word::FREE);
    Changed("gamma", Word::BUSY_PRIVATE, Word::FREE);
    EXPECT_EQ(Announced({ { "alpha", FREE }, { "beta", ONLINE } }), TakeAnnounced());

    // Read anew for every performer.
    Config().Write("/favorites", "gamma,");
    Added("gamma", Word::ONLINE_ONLY);
    Added("beta", Word::ONLINE_ONLY);
    EXPECT_EQ(Announced({ { "gamma", ONLINE } }), TakeAnnounced());

    // No favourites, no pop-ups.
    Config().Write("/favorites", "");
    Added("gamma", Word::ONLINE_ONLY);
    Config().DeleteEntry("/favorites");
    Added("gamma", Word::ONLINE_ONLY);
    Added("", Word::ONLINE_ONLY);
    EXPECT_EQ(Announced(), TakeAnnounced());
}

TEST_F(PopupDialogManagerTest, EveryoneIsAnnouncedUnlessFavoritesOnlyIsEnabledAndTicked)
{
    Config().Write("/favorites", "alpha,");

    // Ticked, but still disabled: the favourites have not been downloaded yet.
    SetOnlyFavorite(false, true);
    Added("gamma", Word::ONLINE_ONLY);
    EXPECT_EQ(Announced({ { "gamma", ONLINE } }), TakeAnnounced());

    SetOnlyFavorite(true, false);
    Added("gamma", Word::ONLINE_ONLY);
    EXPECT_EQ(Announced({ { "gamma", ONLINE } }), TakeAnnounced());

    SetOnlyFavorite(true, true);
    Added("gamma", Word::ONLINE_ONLY);
    EXPECT_EQ(Announced(), TakeAnnounced());

    // The item is looked for on the application's top window only, and only on a frame.
    wxFrame* other = new wxFrame(nullptr, wxID_ANY, "Other");
    wxTheApp->SetTopWindow(other);
    Added("gamma", Word::ONLINE_ONLY);
    EXPECT_EQ(Announced({ { "gamma", ONLINE } }), TakeAnnounced());
    wxDialog* dialog = new wxDialog(nullptr, wxID_ANY, "Dialog");
    wxTheApp->SetTopWindow(dialog);
    Added("gamma", Word::ONLINE_ONLY);
    EXPECT_EQ(Announced({ { "gamma", ONLINE } }), TakeAnnounced());
    wxTheApp->SetTopWindow(m_frame);
    Added("gamma", Word::ONLINE_ONLY);
    EXPECT_EQ(Announced(), TakeAnnounced());
    other->Destroy();
    dialog->Destroy();
}

TEST_F(PopupDialogManagerTest, ABurstOfFiftyOpensFiftyPopupsThatAllCloseByThemselves)
{
    Config().Write("/PopupDialog/duration", 2);
    const wxRect area = wxGetClientDisplayRect();
    const int BURST = 50;

    // The site is back after an outage: everyone comes online in one poll.
    wxStopWatch handling;
    for ( int i = 0; i < BURST; ++i )
        m_manager.AddPendingEvent(
            UserEvent(User(wxString::Format("Back%02d", i), Word::FREE), wxEVT_USER_ADDED, -1));
    wxTheApp->ProcessPendingEvents();
    EXPECT_LT(handling.Time(), 2000);
    EXPECT_EQ(static_cast<size_t>(BURST), OpenPopups().size());

    // Every one appears, inside the work area, while the program keeps running.
    std::set<wxString> seen;
    int mostOpen = 0;
    long longestPause = 0;
    wxStopWatch sinceLastTurn;
    const bool allClosed = TestSupport::WaitIdle(
        [&] {
            longestPause = std::max(longestPause, sinceLastTurn.Time());
            sinceLastTurn.Start();
            for ( PopupDialog* popup : AllPopups() )
            {
                if ( popup->IsShown() && seen.insert(popup->GetUser().GetName()).second )
                {
                    EXPECT_TRUE(area.Contains(popup->GetRect())) << popup->GetUser().GetName();
                }
            }
            mostOpen = std::max(mostOpen, PopupDialog::GetOpenCount());
            return seen.size() == static_cast<size_t>(BURST) && AllPopups().empty();
        },
        30000);
    EXPECT_TRUE(allClosed);
    EXPECT_EQ(static_cast<size_t>(BURST), seen.size());
    EXPECT_GT(mostOpen, area.height / 150);
    EXPECT_LT(longestPause, 1000);
    EXPECT_EQ(0, PopupDialog::GetOpenCount());
}
