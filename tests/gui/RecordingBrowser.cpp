#include "RecordingBrowser.h"

#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <wx/arrstr.h>
#include <wx/ffile.h>
#include <wx/filefn.h>

#ifdef __WXGTK__
#include <gio/gio.h>
#else
#include <wx/mimetype.h>
#endif

#include <sys/stat.h>
#include <unistd.h>

#ifdef __WXGTK__
namespace
{
// Where GIO looks for the user's applications and defaults: the run's own folders.
wxString ApplicationsDir()
{
    return wxString::FromUTF8(g_get_user_data_dir()) + "/applications";
}

wxString DefaultsFile()
{
    return wxString::FromUTF8(g_get_user_config_dir()) + "/mimeapps.list";
}

bool OwnFolders()
{
    // Never the user's own: a test run points these at a temporary folder.
    return ApplicationsDir().Contains("/parlo-test-") && DefaultsFile().Contains("/parlo-test-");
}

void WriteDefaults(const wxString& text)
{
    if ( text.empty() )
        wxRemoveFile(DefaultsFile());
    else
        wxFFile(DefaultsFile(), "w").Write(text);
}
}

wxString RecordingBrowser::GetDefaultBrowser()
{
    GAppInfo* app = g_app_info_get_default_for_uri_scheme("http");
    if ( !app )
        return wxString();
    const char* id = g_app_info_get_id(app);
    const wxString name = wxString::FromUTF8(id ? id : "");
    g_object_unref(app);
    return name;
}
#endif

RecordingBrowser::RecordingBrowser()
    : m_dir(TestSupport::MakeTempDir())
    , m_record(m_dir + "/opened.txt")
{
    const wxString script = m_dir + "/browser.sh";
    wxFFile(script, "w").Write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" + m_record + "\"\n");
    // Started as the browser, which the desktop runs as a program of its own.
    chmod(script.fn_str(), 0700);
#ifdef __WXGTK__
    // Registered as a browser registers itself: an entry among the user's applications for web
    // addresses, and the user's default for them. A name of its own, so that what GIO still
    // remembers of an earlier one is never taken for it.
    static int made = 0;
    m_entry = wxString::Format("parlo-recorder-%ld-%d.desktop", static_cast<long>(getpid()), ++made);
    if ( !OwnFolders() )
    {
        ADD_FAILURE() << "the tests' applications are not in a folder of their own";
        return;
    }
    wxFFile(ApplicationsDir() + "/" + m_entry, "w")
        .Write("[Desktop Entry]\nType=Application\nName=Recorder\nExec=\"" + script
               + "\" %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\n");
    WriteDefaults("[Default Applications]\nx-scheme-handler/http=" + m_entry + "\nx-scheme-handler/https="
                  + m_entry + "\n");
    // GIO learns of it from a watch on those folders, in a thread of its own.
    EXPECT_TRUE(TestSupport::WaitFor([&] { return GetDefaultBrowser() == m_entry; }, 20000))
        << "GIO does not take the stand-in for the browser";
#else
    // Start from a manager that knows nothing, whatever this machine has registered.
    delete wxTheMimeTypesManager->GetFileTypeFromExtension("txt");
    wxTheMimeTypesManager->ClearData();
    delete wxTheMimeTypesManager->Associate(
        wxFileTypeInfo("text/html", script + " %s", "", "HTML", "html", nullptr));
#endif
}

RecordingBrowser::~RecordingBrowser()
{
#ifdef __WXGTK__
    if ( OwnFolders() )
    {
        wxRemoveFile(ApplicationsDir() + "/" + m_entry);
        WriteDefaults(wxString());
        EXPECT_TRUE(TestSupport::WaitFor([&] { return GetDefaultBrowser() != m_entry; }, 20000))
            << "GIO still takes the stand-in for the browser";
    }
#else
    wxTheMimeTypesManager->ClearData();
#endif
    TestSupport::RemoveDir(m_dir);
}

std::vector<std::string> RecordingBrowser::Opened() const
{
    std::vector<std::string> lines;
    wxString text;
    if ( wxFileExists(m_record) )
        wxFFile(m_record).ReadAll(&text);
    for ( const wxString& line : wxSplit(text, '\n', '\0') )
    {
        if ( !line.empty() )
            lines.push_back(line.utf8_string());
    }
    return lines;
}

bool RecordingBrowser::WaitForOpened(size_t count, int timeoutMs) const
{
    return TestSupport::WaitFor([&] { return Opened().size() >= count; }, timeoutMs);
}
