#include "shell/SessionBus.h"

#include <wx/filename.h>
#include <wx/utils.h>

bool SessionBus::IsThere()
{
    if ( wxGetEnv("DBUS_SESSION_BUS_ADDRESS", nullptr) )
        return true;
    wxString runtime;
    return wxGetEnv("XDG_RUNTIME_DIR", &runtime) && wxFileName::Exists(runtime + "/bus");
}
