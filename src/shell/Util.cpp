#include "shell/Util.h"

#include <wx/app.h>
#include <wx/apptrait.h>
#include <wx/dynlib.h>
#include <wx/stdpaths.h>

wxFileName Util::GetApplicationFileName()
{
    // The real file, links resolved: the first argument is only what the caller typed (a bare
    // name found through PATH, a link somewhere else). Asked through whatever traits there are,
    // as the skin may be let go after the application object.
    return wxFileName(wxAppConsole::GetValidTraits().GetStandardPaths().GetExecutablePath());
}

wxFileName Util::GetPluginFileName()
{
    wxFileName name = GetApplicationFileName();
    name.SetExt(wxDynamicLibrary::GetDllExt(wxDL_MODULE).Mid(1));
    return name;
}
