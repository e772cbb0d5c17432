#include "RecordingBrowser.h"

#include "common/TestSupport.h"
#include "shell/Util.h"

#include <gtest/gtest.h>

#include <wx/ffile.h>
#include <wx/filefn.h>
#include <wx/log.h>

#ifdef __WXGTK__
#include <gio/gio.h>
#endif

namespace
{
// Collects error messages instead of failing the test with them.
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

#ifdef __WXGTK__
// While it lives, the desktop has no web browser: the user's defaults take every handler of web
// addresses off them, whatever this machine has installed.
class NoBrowser
{
public:
    NoBrowser()
    {
        wxString handlers;
        GList* apps = g_app_info_get_all_for_type("x-scheme-handler/http");
        for ( GList* app = apps; app; app = app->next )
            handlers += wxString::FromUTF8(g_app_info_get_id(G_APP_INFO(app->data))) + ";";
        g_list_free_full(apps, g_object_unref);
        wxFFile(m_defaults, "w").Write("[Removed Associations]\nx-scheme-handler/http=" + handlers + "\n");
        EXPECT_TRUE(TestSupport::WaitFor([] { return RecordingBrowser::GetDefaultBrowser().empty(); }, 20000))
            << "GIO still has a browser: " << RecordingBrowser::GetDefaultBrowser();
    }
    ~NoBrowser() { wxRemoveFile(m_defaults); }

private:
    const wxString m_defaults = wxString::FromUTF8(g_get_user_config_dir()) + "/mimeapps.list";
};
#endif
}

TEST(Util, LaunchBrowserStartsTheDesktopsWebBrowser)
{
#ifdef __WXGTK__
    {
        // Nothing opens web addresses: the error, and nothing started.
        NoBrowser none;
        CapturedLog log;
        EXPECT_FALSE(Util::LaunchBrowser("http://127.0.0.1:8080/preview.shtml?Anna"));
        ASSERT_EQ(1u, log.errors.size());
        EXPECT_EQ("can not get filetype for html", log.errors[0]);
    }
#endif
    RecordingBrowser browser;
    CapturedLog log;
    EXPECT_TRUE(Util::LaunchBrowser("http://127.0.0.1:8080/preview.shtml?Anna_01"));
    EXPECT_TRUE(log.errors.empty());
    ASSERT_TRUE(browser.WaitForOpened(1));
    EXPECT_EQ("http://127.0.0.1:8080/preview.shtml?Anna_01", browser.Opened()[0]);

    // Every "file://" goes, even one inside the address itself.
    EXPECT_TRUE(Util::LaunchBrowser("http://host/file://x"));
    ASSERT_TRUE(browser.WaitForOpened(2));
    EXPECT_EQ("http://host/x", browser.Opened()[1]);
}
