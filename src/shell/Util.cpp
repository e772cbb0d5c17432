#include "shell/Util.h"

#include <wx/app.h>
#include <wx/apptrait.h>
#include <wx/dynlib.h>
#include <wx/log.h>
#include <wx/mimetype.h>
#include <wx/stdpaths.h>
#include <wx/utils.h>

#include <memory>

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
