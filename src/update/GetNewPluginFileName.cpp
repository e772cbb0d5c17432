#include "update/GetNewPluginFileName.h"

#include "shell/Util.h"
#include "update/PluginUpdater.h"
#include "update/UpdateKey.h"
#include "update/UpdateStatement.h"

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
    unsigned char key[UpdateStatement::KEY_SIZE];
    wxString why;
    if ( !UpdateKey::Get(Util::GetApplicationFileName(), key, why) )
    {
        static bool s_told = false;
        if ( !s_told )
            wxLogTrace("lumora", "GetNewPluginFileName: no self-update: %s", why);
        s_told = true;
        return nullptr;
    }
    // Last time's companions are no longer in use: now they can take their places.
    updater.InstallPendingFiles();
    result.Assign(updater.GetNewPluginPath());

    if ( !updater.DownloadPlugin() )
        return nullptr;
    // Only what the publisher signed is offered to the user, let alone loaded.
    UpdateStatement statement;
    if ( !updater.CheckPlugin(key, statement, why) )
    {
        wxLogTrace("lumora", "GetNewPluginFileName: %s offers a plug-in that is refused: %s", updater.GetUpdateUrl(),
                   why);
        updater.DiscardPlugin();
        return nullptr;
    }
    wxLogTrace("lumora", "GetNewPluginFileName: %s offers the new plug-in %s", updater.GetUpdateUrl(),
               statement.GetVersion());
    if ( !UserAgrees() )
    {
        updater.DiscardPlugin();
        return nullptr;
    }
    updater.DownloadCompanions(statement);
    return &result;
}
