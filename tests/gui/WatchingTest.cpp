// The whole program at work: sign in, see the favourites, get pop-ups as performers arrive.
#include "ExpectDialog.h"
#include "ScopedSkin.h"
#include "TopWindows.h"
#include "common/TempConfig.h"
#include "common/TestSupport.h"
#include "common/UserSupport.h"
#include "shell/Site.h"
#include "sitesim/SimulatedSite.h"
#include "ui/FavoriteTreeCtrl.h"
#include "ui/MainFrame.h"
#include "ui/PopupDialog.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/fileconf.h>
#include <wx/menu.h>
#include <wx/statbmp.h>
#include <wx/utils.h>

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

// With PARLO_SCREENSHOTS set to a folder, saves what a window shows there, for the README.
void Screenshot(wxWindow* window, const wxString& name)
{
    wxString dir;
    if ( !wxGetEnv("PARLO_SCREENSHOTS", &dir) || dir.empty() )
        return;
    window->Update();
    TestSupport::WaitFor([] { return false; }, 500);
    const wxRect rect = window->GetScreenRect();
    wxExecute(wxString::Format("import -window root -crop %dx%d+%d+%d %s/%s", rect.width, rect.height,
                               rect.x, rect.y, dir, name),
              wxEXEC_SYNC);
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
    Config().Write("/Site/mainhost", wxString(site.GetHostPort()));
    Config().Write("/Site/imagehost", wxString(site.GetHostPort()));
    Config().Write("/System/syncinterval", 1);
    Config().Write("/PopupDialog/duration", 2);

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
