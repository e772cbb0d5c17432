// Util::LaunchBrowser, apart from the rest of Util: on GTK it asks the desktop through GIO, which
// only the window code links.
#include "shell/Util.h"

#include <wx/log.h>

#ifdef __WXGTK__
#include <gdk/gdk.h>
#include <gio/gio.h>
#else
#include <wx/mimetype.h>
#include <wx/utils.h>

#include <memory>
#endif

#ifdef __WXGTK__
bool Util::LaunchBrowser(const wxString& url)
{
    // The browser gets the address as it always has: one argument, with no "file://" in it.
    wxString address = url;
    address.Replace("file://", wxEmptyString);
    const wxScopedCharBuffer uri = address.utf8_str();

    // The desktop's handler of web addresses, with the command as its entry writes it (the
    // toolkit's MIME manager asks for the html files' one and lower-cases its command); inside a
    // sandbox, the desktop's portal. The display's context lets the browser's window come forward.
    GdkDisplay* display = gdk_display_get_default();
    GdkAppLaunchContext* context = display ? gdk_display_get_app_launch_context(display) : nullptr;
    GError* error = nullptr;
    const bool started = g_app_info_launch_default_for_uri(uri.data(), G_APP_LAUNCH_CONTEXT(context), &error);
    if ( context )
        g_object_unref(context);
    if ( started )
    {
        wxLogTrace("lumora", "LaunchBrowser: %s", address);
        return true;
    }
    wxLogTrace("lumora", "LaunchBrowser: %s: %s", address, error ? error->message : "");
    if ( error )
        g_error_free(error);

    char* scheme = g_uri_parse_scheme(uri.data());
    GAppInfo* handler = scheme ? g_app_info_get_default_for_uri_scheme(scheme) : nullptr;
    g_free(scheme);
    if ( !handler )
    {
        wxLogError("can not get filetype for html");
        return false;
    }
    // A browser that is there but does not start goes unnoticed, as a command that fails would.
    g_object_unref(handler);
    return true;
}
#else
bool Util::LaunchBrowser(const wxString& url)
{
    std::unique_ptr<wxFileType> type(wxTheMimeTypesManager->GetFileTypeFromExtension("html"));
    if ( !type )
    {
        wxLogError("can not get filetype for html");
        return false;
    }
    wxString command;
    if ( !type->GetOpenCommand(&command, wxFileType::MessageParameters(url, wxEmptyString))
         || command.empty() )
    {
        wxLogError("can not get command for html");
        return false;
    }
    // A template written for local files must pass the bare URL.
    command.Replace("file://", wxEmptyString);
    wxLogTrace("lumora", "LaunchBrowser: %s", command);
    wxExecute(command, wxEXEC_ASYNC);
    return true;
}
#endif
