// The whole program at work: sign in, see the favourites, get pop-ups as performers arrive.
#include "ExpectDialog.h"
#include "ScopedSkin.h"
#include "Screenshot.h"
#include "TopWindows.h"
#include "common/TempConfig.h"
#include "common/TestSupport.h"
#include "common/UserSupport.h"
#include "shell/Site.h"
#include "sitesim/SimulatedSite.h"
#include "ui/AllTreeCtrl.h"
#include "ui/FavoriteTreeCtrl.h"
#include "ui/MainFrame.h"
#include "ui/NotifyIcon.h"
#include "ui/PopupDialog.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/fileconf.h>
#include <wx/menu.h>
#include <wx/statbmp.h>
#include <wx/statusbr.h>
#include <wx/stopwatch.h>
#include <wx/treectrl.h>

#include <vector>

using namespace StatusWord;

namespace
{
std::vector<PopupDialog*> OpenPopups()
{
    return TopWindows<PopupDialog>();
}

PopupDialog* ShownPopupFor(const wxString& name)
{
    for ( PopupDialog* popup : OpenPopups() )
    {
        if ( popup->IsShown() && popup->GetUser().GetName() == name )
            return popup;
    }
    return nullptr;
}

// Points the program at the site, polling every second, pop-ups closing after two.
void WatchQuickly(wxConfigBase& config, const sitesim::SimulatedSite& site)
{
    config.Write("/Site/mainhost", wxString(site.GetHostPort()));
    config.Write("/Site/imagehost", wxString(site.GetHostPort()));
    config.Write("/System/syncinterval", 1);
    config.Write("/PopupDialog/duration", 2);
}

std::string ThumbnailPath(const std::string& name)
{
    return "/WebArchive/" + name + "/thumbs/LinkedImage.jpg";
}
}

TEST_F(ConfiguredTest, WatchingFavoritesAndPopups)
{
    // Runs as the built program, so that the real skin is used.
    ScopedSkin asBuilt;
    // The sign-in dialog, expected below, is the only one.
    NoDialogExpected otherwise;
    sitesim::SimulatedSite::Options options;
    options.user = "viewer";
    options.password = "secret";
    // One name per line, then the empty line that ends the answer, so "Last_line" is read too.
    options.favorites = { "Anna_23", "Bea", "Cleo", "LenaCat", "Last_line" };
    sitesim::SimulatedSite site(options);
    ASSERT_TRUE(site.Start(0));
    std::vector<sitesim::Performer> performers = { { "Anna_23", FREE }, { "Cleo", BUSY_PRIVATE }, { "Mia", FREE },
                                                   { "LenaCat", BUSY_PUBLIC }, { "Zoe_7", ONLINE_ONLY } };
    site.SetPerformers(performers);
    site.SetChurn(0);
    WatchQuickly(Config(), site);

    MainFrame* frame = new MainFrame;
    ASSERT_TRUE(TestSupport::WaitFor([] { return Site::GetInstance()->GetUserList().GetCount() == 5; }, 10000));
    // The first list announces nobody.
    TestSupport::WaitFor([] { return false; }, 300);
    EXPECT_TRUE(OpenPopups().empty());

    // Sign in.
    wxCommandEvent update(wxEVT_COMMAND_MENU_SELECTED, ID_UPDATE_FAVORITE);
    wxTEST_DIALOG(
        {
            frame->GetEventHandler()->ProcessEvent(update);
            ASSERT_TRUE(TestSupport::WaitFor([&] { return frame->IsLoggedIn(); }));
        },
        AnswerSignIn("viewer", "secret"));

    // The favourites, split into online and offline, with counts.
    FavoriteTreeCtrl* tree = frame->GetFavoriteTree();
    wxTreeItemIdValue cookie;
    const wxTreeItemId online = tree->GetFirstChild(tree->GetRootItem(), cookie);
    const wxTreeItemId offline = tree->GetNextChild(tree->GetRootItem(), cookie);
    ASSERT_TRUE(online.IsOk() && offline.IsOk());
    EXPECT_TRUE(TestSupport::WaitFor([&] { return tree->GetItemText(online) == "Online (3)"; }))
        << tree->GetItemText(online);
    EXPECT_EQ("Offline (2)", tree->GetItemText(offline));
    tree->ExpandAll();
    Screenshot(frame, "favorites.png");

    // Favourites only: a favourite comes online and gets a pop-up with its picture; someone
    // else does not.
    frame->GetMenuBar()->Check(ID_POPUP_ONLY_FAVORITE, true);
    wxCommandEvent only(wxEVT_COMMAND_MENU_SELECTED, ID_POPUP_ONLY_FAVORITE);
    only.SetInt(1);
    frame->GetEventHandler()->ProcessEvent(only);
    performers.push_back({ "Bea", FREE });
    performers.push_back({ "Stranger", FREE });
    site.SetPerformers(performers);
    ASSERT_TRUE(TestSupport::WaitFor([&] { return ShownPopupFor("Bea") != nullptr; }, 10000));
    PopupDialog* bea = ShownPopupFor("Bea");
    EXPECT_EQ(wxSize(107, 82), bea->GetProfileImage()->GetBitmap().GetSize());
    EXPECT_EQ(1u, site.CountRequests(ThumbnailPath("Bea")));
    EXPECT_EQ(0u, site.CountRequests(ThumbnailPath("Stranger")));
    EXPECT_TRUE(TestSupport::WaitFor([&] { return tree->GetItemText(online) == "Online (4)"; }));
    Screenshot(bea, "popup.png");
    EXPECT_TRUE(TestSupport::WaitFor([] { return OpenPopups().empty(); }, 10000)) << "it closes itself";

    // A site that comes back after an outage: fifty arrivals at once, fifty pop-ups, all gone
    // by themselves.
    frame->GetMenuBar()->Check(ID_POPUP_ONLY_FAVORITE, false);
    only.SetInt(0);
    frame->GetEventHandler()->ProcessEvent(only);
    for ( int i = 0; i < 50; ++i )
        performers.push_back({ "Burst_" + std::to_string(i), FREE });
    site.SetPerformers(performers);
    EXPECT_TRUE(TestSupport::WaitFor([&] {
        size_t asked = 0;
        for ( int i = 0; i < 50; ++i )
            asked += site.CountRequests(ThumbnailPath("Burst_" + std::to_string(i)));
        return asked == 50;
    }, 20000));
    EXPECT_TRUE(TestSupport::WaitFor([] { return OpenPopups().empty(); }, 30000));

    // Leaving while pictures are still on their way ends cleanly.
    for ( int i = 0; i < 5; ++i )
    {
        const std::string name = "Slow_" + std::to_string(i);
        site.SetFault(ThumbnailPath(name), sitesim::Fault::Delay(20000));
        performers.push_back({ name, FREE });
    }
    site.SetPerformers(performers);
    ASSERT_TRUE(TestSupport::WaitFor([&] { return site.CountRequests(ThumbnailPath("Slow_4")) == 1; }, 10000));
    frame->Destroy();
    EXPECT_TRUE(TestSupport::WaitFor([] { return wxTopLevelWindows.empty(); }, 2000))
        << OpenPopups().size() << " pop-ups left";
    site.Stop();
}

namespace
{
void Choose(MainFrame* frame, int id, bool checked)
{
    wxCommandEvent event(wxEVT_COMMAND_MENU_SELECTED, id);
    event.SetInt(checked ? 1 : 0);
    frame->GetEventHandler()->ProcessEvent(event);
}

wxString GroupText(wxTreeCtrl* tree)
{
    wxTreeItemIdValue cookie;
    const wxTreeItemId group = tree->GetFirstChild(tree->GetRootItem(), cookie);
    return group.IsOk() ? tree->GetItemText(group) : wxString();
}

bool GroupHolds(wxTreeCtrl* tree, const wxString& name)
{
    wxTreeItemIdValue cookie;
    const wxTreeItemId group = tree->GetFirstChild(tree->GetRootItem(), cookie);
    for ( wxTreeItemId item = tree->GetFirstChild(group, cookie); item.IsOk();
          item = tree->GetNextChild(group, cookie) )
    {
        if ( tree->GetItemText(item) == name )
            return true;
    }
    return false;
}
}

// Quiet mode, the status line, and an outage ridden out, in the running frame.
TEST_F(ConfiguredTest, QuietModeStatusLineAndAnOutageRiddenOut)
{
    ScopedSkin asBuilt;
    // Neither the failure box nor anything else may come up.
    NoDialogExpected none;
    sitesim::SimulatedSite site;
    ASSERT_TRUE(site.Start(0));
    std::vector<sitesim::Performer> performers = { { "Anna_23", FREE }, { "Bea", BUSY_PUBLIC } };
    site.SetPerformers(performers);
    site.SetChurn(0);
    WatchQuickly(Config(), site);

    MainFrame* frame = new MainFrame;
    const auto status = [&] { return frame->GetStatusBar()->GetStatusText(); };
    ASSERT_TRUE(TestSupport::WaitFor([&] { return status().StartsWith("2 online \u00B7 updated "); }, 10000))
        << status();
    EXPECT_TRUE(TestSupport::WaitFor([&] { return GroupText(frame->GetAllTree()) == "Online (2)"; }));

    // Quiet: a burst of arrivals opens nothing; the tray says so.
    Choose(frame, ID_QUIET, true);
    EXPECT_TRUE(Config().ReadBool("/PopupDialog/quiet", false));
    EXPECT_TRUE(frame->GetNotifyIcon()->GetMenu()->IsChecked(ID_QUIET));
    EXPECT_EQ("Messenger (quiet: no pop-ups)", frame->GetNotifyIcon()->GetTooltip());
    for ( int i = 0; i < 5; ++i )
        performers.push_back({ "Quiet_" + std::to_string(i), FREE });
    site.SetPerformers(performers);
    ASSERT_TRUE(TestSupport::WaitFor([&] { return status().StartsWith("7 online"); }, 10000)) << status();
    EXPECT_TRUE(TestSupport::WaitFor([&] { return GroupText(frame->GetAllTree()) == "Online (7)"; }));
    TestSupport::WaitFor([] { return false; }, 500);
    EXPECT_TRUE(OpenPopups().empty());

    // Off again: the next arrival opens one, and what was missed is not shown after all.
    Choose(frame, ID_QUIET, false);
    EXPECT_EQ("Messenger", frame->GetNotifyIcon()->GetTooltip());
    performers.push_back({ "Loud", FREE });
    site.SetPerformers(performers);
    ASSERT_TRUE(TestSupport::WaitFor([&] { return ShownPopupFor("Loud") != nullptr; }, 10000));
    EXPECT_EQ(1u, OpenPopups().size());

    // Keeping watching: the site stops answering; the attempts space out, the status line
    // tells, and no box comes. Meanwhile Bea leaves and Cleo arrives.
    Choose(frame, ID_KEEP_WATCHING, true);
    EXPECT_TRUE(Config().ReadBool("/System/keepWatching", false));
    const std::string list = "/include/js/online_performers.js";
    site.SetFault(list, sitesim::Fault::HttpError(503));
    const size_t before = site.CountRequests(list);
    std::vector<long> at;
    wxStopWatch clock;
    const auto attemptsAfterFault = [&](size_t count) {
        return TestSupport::WaitFor([&] {
            while ( site.CountRequests(list) > before + at.size() )
                at.push_back(clock.Time());
            return at.size() >= count;
        }, 30000);
    };
    ASSERT_TRUE(attemptsAfterFault(3));
    performers.erase(performers.begin() + 1);
    performers.push_back({ "Cleo", FREE });
    site.SetPerformers(performers);
    ASSERT_TRUE(TestSupport::WaitFor([&] { return status().Contains("(2 tries)"); }, 5000)) << status();
    EXPECT_TRUE(status().StartsWith("No answer from the site since ")) << status();
    // The third attempt still fails; the fourth, twelve seconds on, gets an answer.
    site.ClearFault(list);
    ASSERT_TRUE(attemptsAfterFault(4));
    // 3 s, then 6 s, then 12 s between attempts.
    EXPECT_GE(at[1] - at[0], 2500);
    EXPECT_GE(at[2] - at[1], 5500);
    EXPECT_GE(at[3] - at[2], 11500);
    EXPECT_LT(at[3] - at[2], 20000);

    // Back: the fresh list against the last good one, and the usual interval again.
    ASSERT_TRUE(TestSupport::WaitFor([&] { return status().StartsWith("8 online"); }, 10000)) << status();
    EXPECT_TRUE(TestSupport::WaitFor([&] { return GroupText(frame->GetAllTree()) == "Online (8)"; }));
    EXPECT_TRUE(GroupHolds(frame->GetAllTree(), "Cleo"));
    EXPECT_FALSE(GroupHolds(frame->GetAllTree(), "Bea"));
    EXPECT_TRUE(TestSupport::WaitFor([&] { return ShownPopupFor("Cleo") != nullptr; }, 10000));
    EXPECT_TRUE(TestSupport::WaitFor([&] { return site.CountRequests(list) >= before + 6; }, 5000));
    frame->Destroy();
    TestSupport::WaitFor([] { return wxTopLevelWindows.empty(); }, 5000);
    site.Stop();
}

// A list that breaks off before its announced end is a failed attempt, not a shorter list:
// nobody leaves, nobody comes, and the next whole list is compared with the last good one.
TEST_F(ConfiguredTest, AListCutShortIsAFailedAttempt)
{
    ScopedSkin asBuilt;
    NoDialogExpected none;
    sitesim::SimulatedSite site;
    ASSERT_TRUE(site.Start(0));
    std::vector<sitesim::Performer> performers;
    for ( int i = 0; i < 40; ++i )
        performers.push_back({ "Performer_" + std::to_string(i), FREE });
    site.SetPerformers(performers);
    site.SetChurn(0);
    WatchQuickly(Config(), site);

    MainFrame* frame = new MainFrame;
    AllTreeCtrl* all = frame->GetAllTree();
    const auto status = [&] { return frame->GetStatusBar()->GetStatusText(); };
    ASSERT_TRUE(TestSupport::WaitFor([&] { return status().StartsWith("40 online"); }, 10000)) << status();
    EXPECT_TRUE(TestSupport::WaitFor([&] { return GroupText(all) == "Online (40)"; }));

    // Twice, the whole length announced and half of it sent; meanwhile one performer has gone
    // and another has come.
    const std::string list = "/include/js/online_performers.js";
    site.SetFault(list, sitesim::Fault::Truncate(0), 2);
    performers.erase(performers.begin());
    performers.push_back({ "Newcomer", FREE });
    site.SetPerformers(performers);
    ASSERT_TRUE(TestSupport::WaitFor([&] { return status().Contains("(1 try)"); }, 10000)) << status();
    EXPECT_TRUE(status().StartsWith("No answer from the site since ")) << status();
    EXPECT_EQ("Online (40)", GroupText(all));
    EXPECT_TRUE(GroupHolds(all, "Performer_39"));
    EXPECT_TRUE(OpenPopups().empty());

    // The whole list: exactly what changed since the last good one.
    ASSERT_TRUE(TestSupport::WaitFor([&] { return status().StartsWith("40 online"); }, 20000)) << status();
    EXPECT_TRUE(TestSupport::WaitFor([&] { return ShownPopupFor("Newcomer") != nullptr; }, 10000));
    EXPECT_EQ(1u, OpenPopups().size());
    EXPECT_EQ("Online (40)", GroupText(all));
    EXPECT_TRUE(GroupHolds(all, "Newcomer"));
    EXPECT_FALSE(GroupHolds(all, "Performer_0"));
    EXPECT_TRUE(GroupHolds(all, "Performer_39"));
    size_t cut = 0;
    for ( const sitesim::Request& request : site.GetRequests() )
        cut += request.fault == sitesim::Fault::TRUNCATE;
    EXPECT_EQ(2u, cut);
    frame->Destroy();
    TestSupport::WaitFor([] { return wxTopLevelWindows.empty(); }, 5000);
    site.Stop();
}
