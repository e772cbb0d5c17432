#include "ExpectDialog.h"
#include "ScopedSkin.h"
#include "TopWindows.h"
#include "common/TempConfig.h"
#include "common/TestSupport.h"
#include "ui/MainFrame.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/fileconf.h>
#include <wx/splash.h>

#include <memory>

extern "C" bool SiteRun();

namespace
{
// Runs SiteRun as if the host were the given program, with a fresh skin store, and cleans
// up the windows and the store afterwards.
class SiteRunTest : public ConfiguredTest
{
protected:
    void StartAs(const wxString& program)
    {
        m_skin.reset(new ScopedSkin(program));
        Config().Write("/Site/mainhost", "127.0.0.1:1");
        EXPECT_TRUE(SiteRun());
    }
    void TearDown() override
    {
        for ( wxWindowList::const_iterator it = wxTopLevelWindows.begin(); it != wxTopLevelWindows.end(); ++it )
            (*it)->Destroy();
        TestSupport::WaitFor([] { return wxTopLevelWindows.empty(); });
        m_skin.reset();
        ConfiguredTest::TearDown();
    }
    static wxSplashScreen* Splash()
    {
        const std::vector<wxSplashScreen*> splashes = TopWindows<wxSplashScreen>();
        return splashes.empty() ? nullptr : splashes.front();
    }
    static MainFrame* Frame() { return dynamic_cast<MainFrame*>(wxTheApp->GetTopWindow()); }

    std::unique_ptr<ScopedSkin> m_skin;
    // Nothing listens on the site's port, but a failed poll counts only once its time-out has
    // passed, which none of these short tests reaches: no error box belongs here.
    NoDialogExpected m_noDialog;
};
}

TEST_F(SiteRunTest, SplashForTheConfiguredTimeThenTheFrame)
{
    StartAs(TestSupport::BuildDir() + "/Parlo");
    wxSplashScreen* splash = Splash();
    ASSERT_NE(nullptr, splash) << "the built skin has the splash picture";
    EXPECT_EQ(3000, splash->GetTimeout());
    EXPECT_EQ(wxSPLASH_CENTRE_ON_SCREEN | wxSPLASH_TIMEOUT, splash->GetSplashStyle());
    ASSERT_NE(nullptr, Frame());
    EXPECT_TRUE(Frame()->IsShown());
}

TEST_F(SiteRunTest, ConfiguredSplashDuration)
{
    Config().Write("/SplashScreen/duration", 5);
    StartAs(TestSupport::BuildDir() + "/Parlo");
    ASSERT_NE(nullptr, Splash());
    EXPECT_EQ(5000, Splash()->GetTimeout());
}

TEST_F(SiteRunTest, WithoutASkinTheFrameStillComes)
{
    const wxString dir = TestSupport::MakeTempDir();
    StartAs(dir + "/Parlo");
    EXPECT_EQ(nullptr, Splash());
    ASSERT_NE(nullptr, Frame());
    EXPECT_TRUE(Frame()->IsShown());
    TestSupport::RemoveDir(dir);
}
