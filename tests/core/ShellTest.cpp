#include "common/ScopedProgramName.h"
#include "common/TempConfig.h"
#include "shell/SiteHosts.h"
#include "shell/SystemProxy.h"
#include "shell/Util.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/fileconf.h>
#include <wx/utils.h>

namespace
{
// Sets or clears an environment variable for one scope.
class ScopedEnv
{
public:
    ScopedEnv(const wxString& name, const wxString* value)
        : m_name(name)
    {
        m_had = wxGetEnv(name, &m_old);
        if ( value )
            wxSetEnv(name, *value);
        else
            wxUnsetEnv(name);
    }
    ~ScopedEnv()
    {
        if ( m_had )
            wxSetEnv(m_name, m_old);
        else
            wxUnsetEnv(m_name);
    }

private:
    wxString m_name;
    wxString m_old;
    bool m_had = false;
};

wxString Detect(const wxString* lower, const wxString* upper)
{
    ScopedEnv a("http_proxy", lower);
    ScopedEnv b("HTTP_PROXY", upper);
    return SystemProxy::Detect();
}
}

TEST(SystemProxy, DetectsTheEnvironmentsProxy)
{
    const wxString full = "http://proxy.example:3128/";
    const wxString bare = "proxy.example:3128";
    const wxString other = "http://other.example:8000";
    const wxString empty;
    EXPECT_EQ("proxy.example:3128", Detect(&full, nullptr));
    EXPECT_EQ("proxy.example:3128", Detect(&bare, nullptr));
    EXPECT_EQ("other.example:8000", Detect(nullptr, &other));
    EXPECT_EQ("proxy.example:3128", Detect(&full, &other)) << "the lower-case name comes first";
    EXPECT_EQ("other.example:8000", Detect(&empty, &other)) << "an empty one counts as unset";
    EXPECT_EQ("", Detect(nullptr, nullptr));
    EXPECT_EQ("", Detect(&empty, &empty));
}

class SiteHostsTest : public ConfiguredTest
{
};

TEST_F(SiteHostsTest, DefaultsAndConfiguredHosts)
{
    EXPECT_EQ("127.0.0.1:8080", SiteHosts::GetHost(SiteHosts::MAIN));
    EXPECT_EQ("http://127.0.0.1:8080/include/js/online_performers.js",
              SiteHosts::MakeUrl(SiteHosts::MAIN, "/include/js/online_performers.js"));

    Config().Write("/Site/mainhost", "main.test:81");
    Config().Write("/Site/imagehost", "images.test");
    Config().Write("/Site/previewhost", "");
    EXPECT_EQ("main.test:81", SiteHosts::GetHost(SiteHosts::MAIN));
    EXPECT_EQ("http://images.test/x.jpg", SiteHosts::MakeUrl(SiteHosts::IMAGE, "/x.jpg"));
    EXPECT_EQ("127.0.0.1:8080", SiteHosts::GetHost(SiteHosts::PREVIEW)) << "empty means default";
}

TEST(Util, FileNamesFollowTheProgramsFile)
{
    {
        ScopedProgramName program("/opt/apps/Viewer");
        EXPECT_EQ("/opt/apps/Viewer", Util::GetApplicationFileName().GetFullPath());
        EXPECT_EQ("/opt/apps/Viewer.so", Util::GetPluginFileName().GetFullPath());
    }
    {
        ScopedProgramName program("/opt/apps/Viewer.exe");
        EXPECT_EQ("/opt/apps/Viewer.so", Util::GetPluginFileName().GetFullPath());
    }
}
