#include "DesktopSession.h"

#include <gdk/gdk.h>
#include <glib.h>

const char* const DesktopSession::DESKTOP_ID = "org.parlotovrik.Parlo";

void DesktopSession::Prepare()
{
    g_set_prgname(DESKTOP_ID);
    // A Wayland client cannot place a window, and the pop-ups must stand in their corner: with
    // XWayland there, GDK's X11 backend, unless the user has chosen one (GDK_BACKEND wins).
    if ( g_getenv("WAYLAND_DISPLAY") && g_getenv("DISPLAY") )
        gdk_set_allowed_backends("x11,*");
}
