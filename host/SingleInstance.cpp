#include "SingleInstance.h"

#include "DesktopSession.h"

#include <wx/app.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/snglinst.h>
#include <wx/toplevel.h>
#include <wx/utils.h>

#include <gio/gio.h>

#include <cinttypes>
#include <cstdio>

namespace
{
// The same file, however it was named, gives the same text.
wxString Identity(const wxString& path)
{
    wxFileName name(path);
    name.Normalize(wxPATH_NORM_DOTS | wxPATH_NORM_TILDE | wxPATH_NORM_ABSOLUTE);
    wxFileName folder(name.GetPath(), wxEmptyString);
    // A link to the folder leads to the same file.
    char* real = realpath(folder.GetPath().fn_str(), nullptr);
    if ( real )
    {
        name.SetPath(wxString::FromUTF8(real));
        free(real);
    }
    uint64_t hash = 14695981039346656037ULL; // FNV-1a
    for ( const char c : std::string(name.GetFullPath().utf8_str()) )
    {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, hash);
    return text;
}

// Connecting where no bus is known would have GLib start one of its own through X11.
bool SessionBusThere()
{
    if ( g_getenv("DBUS_SESSION_BUS_ADDRESS") )
        return true;
    const char* runtime = g_getenv("XDG_RUNTIME_DIR");
    return runtime && wxFileName::Exists(wxString::FromUTF8(runtime) + "/bus");
}
}

SingleInstance::SingleInstance() = default;

SingleInstance::~SingleInstance()
{
    if ( m_application )
        g_object_unref(m_application);
}

SingleInstance::Claim SingleInstance::ClaimFor(const wxString& path)
{
    const wxString identity = Identity(path);
    // Among the files that go with the session, or at the latest with the machine's next start.
    wxString runtime;
    const wxString folder = wxGetEnv("XDG_RUNTIME_DIR", &runtime) && wxFileName::DirExists(runtime)
                                ? runtime
                                : wxFileName::GetTempDir();
    m_checker.reset(new wxSingleInstanceChecker);
    bool held = false;
    {
        wxLogNull quiet;
        held = m_checker->Create(".parlo-" + identity + ".lock", folder) && m_checker->IsAnotherRunning();
    }

    if ( SessionBusThere() )
    {
        // The bus name of an application id: the desktop entry's, then the file's own part.
        const wxString id = wxString(DesktopSession::DESKTOP_ID) + ".Config" + identity;
        m_application = g_application_new(id.utf8_str(), G_APPLICATION_DEFAULT_FLAGS);
        GError* error = nullptr;
        if ( !g_application_register(m_application, nullptr, &error) )
        {
            wxLogTrace("lumora", "one copy: %s is not on the bus: %s", id, error->message);
            g_error_free(error);
        }
        else if ( g_application_get_is_remote(m_application) )
        {
            wxLogTrace("lumora", "one copy: %s runs already: asking it to show itself", id);
            g_application_activate(m_application);
            // Sent before this process goes.
            g_dbus_connection_flush_sync(g_application_get_dbus_connection(m_application), nullptr, nullptr);
            return OTHER_SHOWN;
        }
        else
        {
            g_signal_connect(m_application, "activate", G_CALLBACK(&SingleInstance::OnActivate), nullptr);
            wxLogTrace("lumora", "one copy: %s is ours", id);
        }
    }
    return held ? OTHER_UNREACHABLE : FIRST;
}

void SingleInstance::OnActivate(GApplication*, void*)
{
    wxTopLevelWindow* window = wxTheApp ? wxDynamicCast(wxTheApp->GetTopWindow(), wxTopLevelWindow) : nullptr;
    wxLogTrace("lumora", "one copy: started again, showing the window");
    if ( !window )
        return;
    // Hidden in the tray, iconized, or both; de-iconized first, so that it is mapped as a window.
    window->Iconize(false);
    window->Show(true);
    window->Raise();
}
