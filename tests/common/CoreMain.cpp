#include "common/ProgramPaths.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/apptrait.h>
#include <wx/init.h>
#include <wx/socket.h>

namespace
{
class TestTraits : public wxConsoleAppTraits
{
public:
    wxStandardPaths& GetStandardPaths() override { return ProgramPaths::Get(); }
};

// The application the core tests run in: only its traits differ, so that a test can name the
// program file.
class TestApp : public wxAppConsole
{
protected:
    wxAppTraits* CreateTraits() override { return new TestTraits; }
};
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    wxApp::SetInstance(new TestApp);
    wxInitializer initializer(argc, argv);
    if ( !initializer.IsOk() )
        return 2;
    wxSocketBase::Initialize();
    TestSupport::InstallAssertHandler();
    const int result = RUN_ALL_TESTS();
    wxSocketBase::Shutdown();
    return result;
}
