#include "common/ScopedProgramName.h"
#include "common/TempConfig.h"
#include "common/TestSupport.h"
#include "shell/SiteHosts.h"
#include "shell/SystemProxy.h"
#include "shell/Util.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/fileconf.h>
#include <wx/ffile.h>
#include <wx/log.h>
#include <wx/mimetype.h>
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

// Collects error messages instead of showing them.
class CapturedLog : public wxLog
{
public:
    CapturedLog() { m_previous = wxLog::SetActiveTarget(this); }
    ~CapturedLog() override { wxLog::SetActiveTarget(m_previous); }
    wxArrayString errors;

protected:
    void DoLogRecord(wxLogLevel level, const wxString& text, const wxLogRecordInfo&) override
    {
        if ( level == wxLOG_Error )
            errors.push_back(text);
    }

private:
    wxLog* m_previous = nullptr;
};

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

TEST(Util, LaunchBrowserRunsTheHtmlOpenCommand)
{
    // Start from a manager that knows nothing, whatever this machine has registered.
    delete wxTheMimeTypesManager->GetFileTypeFromExtension("txt");
    wxTheMimeTypesManager->ClearData();
    const wxString dir = TestSupport::MakeTempDir();
    {
        CapturedLog log;
        EXPECT_FALSE(Util::LaunchBrowser("http://127.0.0.1:8080/preview.shtml?Anna"));
        ASSERT_EQ(1u, log.errors.size());
        EXPECT_EQ("can not get filetype for html", log.errors[0]);
    }
    {
        wxTheMimeTypesManager->AddFallback(
            wxFileTypeInfo("text/html", "", "", "HTML without a command", "html", nullptr));
        CapturedLog log;
        EXPECT_FALSE(Util::LaunchBrowser("http://127.0.0.1:8080/preview.shtml?Anna"));
        ASSERT_EQ(1u, log.errors.size());
        EXPECT_EQ("can not get command for html", log.errors[0]);
    }
    {
        // A recording "browser" whose template was written for local files.
        const wxString script = dir + "/browser.sh";
        const wxString record = dir + "/opened.txt";
        wxFFile(script, "w").Write("#!/bin/sh\nprintf '%s' \"$1\" > \"" + record + ".tmp\" && mv \""
                                   + record + ".tmp\" \"" + record + "\"\n");
        wxExecute("chmod +x " + script, wxEXEC_SYNC);
        delete wxTheMimeTypesManager->Associate(
            wxFileTypeInfo("text/html", script + " file://%s", "", "HTML", "html", nullptr));
        CapturedLog log;
        EXPECT_TRUE(Util::LaunchBrowser("http://127.0.0.1:8080/preview.shtml?Anna_01"));
        EXPECT_TRUE(log.errors.empty());
        ASSERT_TRUE(TestSupport::WaitFor([&] { return wxFileExists(record); }));
        wxString opened;
        wxFFile(record).ReadAll(&opened);
        EXPECT_EQ("http://127.0.0.1:8080/preview.shtml?Anna_01", opened);

        // Every "file://" goes, even one inside the address itself.
        wxRemoveFile(record);
        EXPECT_TRUE(Util::LaunchBrowser("http://host/file://x"));
        ASSERT_TRUE(TestSupport::WaitFor([&] { return wxFileExists(record); }));
        wxFFile(record).ReadAll(&opened);
        EXPECT_EQ("http://host/x", opened);
    }
    wxTheMimeTypesManager->ClearData();
    TestSupport::RemoveDir(dir);
}
