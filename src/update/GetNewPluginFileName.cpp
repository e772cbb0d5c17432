#include "update/GetNewPluginFileName.h"

#include "update/PluginUpdater.h"

#include <wx/filename.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/msgdlg.h>

namespace
{
// Through the current locale's catalogues; without a locale the text stays as written.
wxString Localized(const char* text)
{
    wxLocale* locale = wxGetLocale();
    return locale ? locale->GetString(text) : wxString(text);
}

bool UserAgrees()
{
    const wxString message = Localized(wxTRANSLATE("The new plugin will be installed."));
    const wxString caption = Localized(wxTRANSLATE("Confirm"));
    return wxMessageBox(message, caption, wxYES_NO | wxCENTRE | wxICON_INFORMATION, nullptr) == wxYES;
}
}

wxFileName* GetNewPluginFileName()
{
    static wxFileName result;
    const PluginUpdater updater = PluginUpdater::ForCurrentPlugin();
    if ( !updater.CanUpdateInPlace() )
    {
        wxLogTrace("lumora", "GetNewPluginFileName: %s cannot be written, no update", updater.GetNewPluginPath());
        return nullptr;
    }
    // Last time's companions are no longer in use: now they can take their places.
    updater.InstallPendingFiles();
    result.Assign(updater.GetNewPluginPath());

    if ( !updater.DownloadPlugin() )
        return nullptr;
    wxLogTrace("lumora", "GetNewPluginFileName: %s offers a new plug-in", updater.GetUpdateUrl());
    if ( !UserAgrees() )
    {
        updater.DiscardPlugin();
        return nullptr;
    }
    updater.DownloadCompanions();
    return &result;
}
