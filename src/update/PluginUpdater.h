#pragma once

#include "update/UpdateStatement.h"

#include <wx/filename.h>
#include <wx/string.h>

// The window-free steps of the self-update: where the plug-in and its companion files (skin
// archive, catalogue, manifest) live beside the host program, fetching a newer set from the
// site's update script, checking each file against the publisher's signed statement, and moving
// waiting companions into place once they are no longer in use.
class PluginUpdater
{
public:
    // application: the host program; plugin: the loaded library; updateUrl: the update script's
    // address with the version asked about ("...update.cgi?version=1.3.0").
    PluginUpdater(const wxFileName& application, const wxFileName& plugin, const wxString& updateUrl);

    // For the running plug-in: names from the host's command line, the site's main host.
    static PluginUpdater ForCurrentPlugin();

    wxString GetSkinPath() const;
    wxString GetCatalogPath() const;
    wxString GetManifestPath() const;
    // Where a new plug-in library is downloaded to.
    wxString GetNewPluginPath() const;
    const wxString& GetUpdateUrl() const { return m_updateUrl; }

    // False where the plug-in's folder cannot be written, as in a system-wide install, which the
    // package manager updates: there is nothing to do then.
    bool CanUpdateInPlace() const;
    // Moves each waiting "<companion>.new" over its companion; a failed move is tried again next
    // time.
    void InstallPendingFiles() const;
    // True when a complete new plug-in library now waits at GetNewPluginPath().
    bool DownloadPlugin() const;
    // Fetches the update's statement and takes it when it is signed with key, is for a version
    // newer than this one, and vouches for the downloaded plug-in; says why not.
    bool CheckPlugin(const unsigned char* key, UpdateStatement& statement, wxString& why) const;
    void DiscardPlugin() const;
    // Fetches the three companions; each that statement vouches for waits at its ".new" name, and
    // any other is dropped, so that the current file stays in use.
    void DownloadCompanions(const UpdateStatement& statement) const;

private:
    wxFileName m_application;
    wxFileName m_plugin;
    wxString m_updateUrl;
};
