#include "ChildProgram.h"
#include "TrayHost.h"
#include "common/TempConfig.h"
#include "common/TestSupport.h"
#include "sitesim/SimulatedSite.h"

#include <gtest/gtest.h>

#include <wx/arrstr.h>
#include <wx/fileconf.h>
#include <wx/ffile.h>
#include <wx/filefn.h>
#include <wx/gdicmn.h>
#include <wx/taskbar.h>
#include <wx/utils.h>

#include <functional>

namespace
{
// What an X tool prints, a line each; nothing when it fails or finds nothing.
wxArrayString Ask(const wxString& command)
{
    wxArrayString output;
    wxArrayString errors;
    wxExecute(command, output, errors, wxEXEC_SYNC | wxEXEC_NODISABLE);
    return output;
}

wxRect ScreenRect(const wxString& window)
{
    wxRect rect;
    for ( const wxString& line : Ask("xdotool getwindowgeometry --shell " + window) )
    {
        long value = 0;
        if ( !line.AfterFirst('=').ToLong(&value) )
            continue;
        const wxString key = line.BeforeFirst('=');
        if ( key == "X" )
            rect.x = value;
        else if ( key == "Y" )
            rect.y = value;
        else if ( key == "WIDTH" )
            rect.width = value;
        else if ( key == "HEIGHT" )
            rect.height = value;
    }
    return rect;
}

// A window that another program's window holds, as the tray holds its icons.
bool IsEmbedded(const wxString& window)
{
    wxString root;
    wxString parent;
    for ( wxString line : Ask("xwininfo -tree -id " + window) )
    {
        wxString rest;
        if ( line.Trim(false).StartsWith("Root window id: ", &rest) )
            root = rest.BeforeFirst(' ');
        else if ( line.StartsWith("Parent window id: ", &rest) )
            parent = rest.BeforeFirst(' ');
    }
    return !parent.empty() && parent != root;
}

bool IsPopupMenu(const wxString& window)
{
    for ( const wxString& line : Ask("xprop -id " + window + " _NET_WM_WINDOW_TYPE") )
    {
        if ( line.Contains("_NET_WM_WINDOW_TYPE_POPUP_MENU") )
            return true;
    }
    return false;
}

// The first window of the program that the X server shows and that passes the check.
wxString FindVisible(long pid, const std::function<bool(const wxString&)>& check)
{
    for ( const wxString& window : Ask(wxString::Format("xdotool search --onlyvisible --pid %ld", pid)) )
    {
        if ( check(window) )
            return window;
    }
    return wxString();
}

void Pointer(const wxString& actions)
{
    Ask("xdotool " + actions);
}

wxString At(const wxRect& rect)
{
    const wxPoint centre = rect.GetPosition() + rect.GetSize() / 2;
    return wxString::Format("mousemove %d %d", centre.x, centre.y);
}

// True when the condition holds all along; to see that something does not happen, we can
// only watch for a while.
bool Holds(const std::function<bool()>& condition, int ms)
{
    return !TestSupport::WaitFor([&] { return !condition(); }, ms);
}

// The program under test has a configuration of its own, in the test's temporary folder.
class TrayIconTest : public ConfiguredTest
{
};
}

TEST_F(TrayIconTest, ClicksShowHideAndExit)
{
    for ( const char* tool : { "/usr/bin/xdotool", "/usr/bin/xwininfo", "/usr/bin/xprop" } )
    {
        if ( !wxFileExists(tool) )
            GTEST_SKIP() << tool << " is needed to find and click the tray icon (scripts/deps.sh)";
    }
    TrayHost tray;
    if ( !wxTaskBarIcon::IsAvailable() )
        GTEST_SKIP() << "no system tray on this display and /usr/bin/trayer did not start one";

    // A still site: performers coming online would bring pop-ups over the tray.
    sitesim::SimulatedSite::Options still;
    still.performers = 20;
    still.churn = 0;
    sitesim::SimulatedSite site(still);
    ASSERT_TRUE(site.Start(0));
    const wxString config = TempDir() + "/Parlo.conf";
    const wxString hostPort(site.GetHostPort());
    wxFFile(config, "w").Write("[Site]\nmainhost=" + hostPort + "\nimagehost=" + hostPort + "\npreviewhost=" + hostPort
                               + "\n[SplashScreen]\nduration=0\n");
    ChildProgramPtr host = MakeChildProgram();
    ASSERT_TRUE(host->Start({ TestSupport::BuildDir() + "/Parlo", "--no-update", "--config", config }));
    const long pid = host->GetPid();

    auto frameShown = [&] {
        return !Ask(wxString::Format("xdotool search --all --onlyvisible --pid %ld --name \"^Parlo Tovrik$\"", pid))
                    .empty();
    };
    auto menuShown = [&] { return !FindVisible(pid, IsPopupMenu).empty(); };
    wxString icon;
    ASSERT_TRUE(TestSupport::WaitFor([&] {
        icon = FindVisible(pid, IsEmbedded);
        return host->Ended() || (!icon.empty() && frameShown());
    }, 30000));
    ASSERT_FALSE(host->Ended()) << "status " << host->Status();
    const wxString onIcon = At(ScreenRect(icon));

    // Single clicks change nothing, nor do two of them further apart than a double click's
    // presses; each watch outlasts the double-click time.
    for ( int click = 0; click < 2; ++click )
    {
        Pointer(onIcon + " click 1");
        EXPECT_TRUE(Holds(frameShown, 1500)) << "a single click hid the window";
    }

    // Each double click changes the window once: hidden, then shown again. A third quick press
    // starts a new double click instead of completing another.
    Pointer(onIcon + " click --repeat 2 --delay 80 1");
    EXPECT_TRUE(TestSupport::WaitFor([&] { return !frameShown(); }, 10000)) << "a double click left the window shown";
    EXPECT_TRUE(Holds([&] { return !frameShown(); }, 1000)) << "one double click, two changes";
    Pointer(onIcon + " click --repeat 2 --delay 80 1");
    EXPECT_TRUE(TestSupport::WaitFor(frameShown, 10000)) << "a double click left the window hidden";
    EXPECT_TRUE(Holds(frameShown, 1000)) << "one double click, two changes";
    Pointer(onIcon + " click --repeat 3 --delay 80 1");
    EXPECT_TRUE(TestSupport::WaitFor([&] { return !frameShown(); }, 10000)) << "a triple click left the window shown";
    EXPECT_TRUE(Holds([&] { return !frameShown(); }, 1000)) << "a triple click counted as two double clicks";

    // The right button opens the menu; leaving it without a choice does nothing.
    Pointer(onIcon + " click 3");
    ASSERT_TRUE(TestSupport::WaitFor(menuShown, 10000)) << "no menu on a right click";
    Pointer("key Escape");
    ASSERT_TRUE(TestSupport::WaitFor([&] { return !menuShown(); }, 10000));
    EXPECT_TRUE(Holds([&] { return !frameShown() && !host->Ended(); }, 1000));

    // "Quiet", its first item, is stored; "Exit", its last, ends the program cleanly.
    const auto choose = [&](double height) {
        Pointer(onIcon + " click 3");
        wxString menu;
        ASSERT_TRUE(TestSupport::WaitFor([&] { return !(menu = FindVisible(pid, IsPopupMenu)).empty(); }, 10000));
        const wxRect rect = ScreenRect(menu);
        Pointer(wxString::Format("mousemove %d %d click 1", rect.x + rect.width / 2,
                                 rect.y + static_cast<int>(rect.height * height)));
        ASSERT_TRUE(TestSupport::WaitFor([&] { return !menuShown(); }, 10000));
    };
    choose(0.2);
    choose(0.85);
    ASSERT_TRUE(TestSupport::WaitFor([&] { return host->Ended(); }, 20000)) << "still running after \"Exit\"";
    EXPECT_EQ(0, host->Status());
    wxFileConfig stored(wxEmptyString, wxEmptyString, config);
    EXPECT_TRUE(stored.ReadBool("/PopupDialog/quiet", false)) << "\"Quiet\" was not stored";
}
