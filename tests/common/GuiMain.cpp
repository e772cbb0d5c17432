#include "common/ProgramPaths.h"
#include "common/TestSupport.h"
#include "gui/LogFailsTheTest.h"
#include "gui/ScopedSkin.h"
#include "net/DownloadThread.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/apptrait.h>
#include <wx/init.h>
#include <wx/filename.h>
#include <wx/socket.h>

#include <cstdlib>

namespace
{
class TestTraits : public wxGUIAppTraits
{
public:
    wxStandardPaths& GetStandardPaths() override { return ProgramPaths::Get(); }
};

// The application the window tests run in; it never enters its own main loop, and a test can name
// the program file through its traits.
class TestApp : public wxApp
{
public:
    bool OnInit() override { return true; }

protected:
    wxAppTraits* CreateTraits() override { return new TestTraits; }
};
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // The window tests, and the programs they start, are on no session bus: a panel, a keyring
    // or a notification server of the user's is not theirs to use. The desktop tests bring buses
    // of their own.
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    if ( runtime && wxFileName::Exists(wxString::FromUTF8(runtime) + "/bus") )
        unsetenv("XDG_RUNTIME_DIR");
    // Nor are the user's applications and defaults (a real web browser): the run has folders of
    // its own for them, where a test registers its stand-ins. GLib reads their names only once.
    const wxString desktop = TestSupport::MakeTempDir();
    wxFileName::Mkdir(desktop + "/share/applications", wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL);
    wxFileName::Mkdir(desktop + "/config", wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL);
    setenv("XDG_DATA_HOME", (desktop + "/share").fn_str(), 1);
    setenv("XDG_CONFIG_HOME", (desktop + "/config").fn_str(), 1);
    wxApp::SetInstance(new TestApp);
    if ( !wxEntryStart(argc, argv) )
        return 2;
    if ( !wxTheApp->CallOnInit() )
        return 2;
    wxSocketBase::Initialize();
    TestSupport::InstallAssertHandler();
    // The handlers, once for all tests in whatever order they run; a test that releases a skin
    // store, which takes them all away, puts them back.
    AddAllHandlers();
    // In front of the toolkit's own log, which it makes on demand; it deletes both at the end.
    wxLog::GetActiveTarget();
    new LogFailsTheTest;
    const int result = RUN_ALL_TESTS();
    // As the host's unloading of the plug-in does: the picture fetcher's thread ends before the
    // toolkit's threads are taken down.
    DownloadThread::WaitForAll();
    wxTheApp->OnExit();
    wxEntryCleanup();
    TestSupport::RemoveDir(desktop);
    return result;
}
