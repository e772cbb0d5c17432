#include "update/PluginUpdater.h"

#include "net/DownloadToFile.h"
#include "shell/SiteHosts.h"
#include "shell/Util.h"
#include "shell/Version.h"

#include <wx/filefn.h>
#include <wx/log.h>

namespace
{
const char* const NEW_SUFFIX = ".new";

void InstallPending(const wxString& path)
{
    const wxString pending = path + NEW_SUFFIX;
    if ( !wxFileName::FileExists(pending) )
        return;
    wxLogNull quiet;
    if ( wxRenameFile(pending, path) )
        wxLogTrace("lumora", "PluginUpdater: installed %s", path);
}
}

PluginUpdater::PluginUpdater(const wxFileName& application, const wxFileName& plugin,
                             const wxString& updateUrl)
    : m_application(application)
    , m_plugin(plugin)
    , m_updateUrl(updateUrl)
{
}

PluginUpdater PluginUpdater::ForCurrentPlugin()
{
    const wxString url = SiteHosts::MakeUrl(
        SiteHosts::MAIN, "/cgi-bin/app/update.cgi?version=" + Version::GetCurrent().GetString());
    return PluginUpdater(Util::GetApplicationFileName(), Util::GetPluginFileName(), url);
}

wxString PluginUpdater::GetSkinPath() const
{
    wxFileName skin(m_application);
    skin.SetExt("skin");
    return skin.GetFullPath();
}

wxString PluginUpdater::GetCatalogPath() const
{
    const wxFileName catalog(m_application.GetPath(wxPATH_GET_VOLUME | wxPATH_GET_SEPARATOR)
                             + "ja/LC_MESSAGES/" + m_application.GetName() + ".mo");
    return catalog.GetFullPath();
}

wxString PluginUpdater::GetManifestPath() const
{
    return m_application.GetFullPath() + ".manifest";
}

wxString PluginUpdater::GetNewPluginPath() const
{
    return m_plugin.GetFullPath() + NEW_SUFFIX;
}

bool PluginUpdater::CanUpdateInPlace() const
{
    return wxFileName::IsDirWritable(m_plugin.GetPath());
}

void PluginUpdater::InstallPendingFiles() const
{
    InstallPending(GetSkinPath());
    InstallPending(GetCatalogPath());
    InstallPending(GetManifestPath());
}

bool PluginUpdater::DownloadPlugin() const
{
    return DownloadToFile(m_updateUrl, GetNewPluginPath());
}

void PluginUpdater::DiscardPlugin() const
{
    wxLogNull quiet;
    wxRemoveFile(GetNewPluginPath());
}

void PluginUpdater::DownloadCompanions() const
{
    DownloadToFile(m_updateUrl + "&type=skin", GetSkinPath() + NEW_SUFFIX);
    DownloadToFile(m_updateUrl + "&type=mo", GetCatalogPath() + NEW_SUFFIX);
    DownloadToFile(m_updateUrl + "&type=manifest", GetManifestPath() + NEW_SUFFIX);
}
