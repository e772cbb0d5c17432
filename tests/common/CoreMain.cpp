#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <wx/init.h>
#include <wx/socket.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    wxInitializer initializer(argc, argv);
    if ( !initializer.IsOk() )
        return 2;
    wxSocketBase::Initialize();
    TestSupport::InstallAssertHandler();
    const int result = RUN_ALL_TESTS();
    wxSocketBase::Shutdown();
    return result;
}
