#include "update/PluginUpdater.h"

#include "net/DownloadToFile.h"
#include "shell/SiteHosts.h"
#include "shell/Util.h"
#include "shell/Version.h"

#include <wx/ffile.h>
#include <wx/filefn.h>
#include <wx/log.h>

#include <string>

namespace
{
const char* const NEW_SUFFIX = ".new";

// Fetched under this name beside its target, and given the target's ".new" name only once it is
// found to be what the statement names.
const char* const UNCHECKED_SUFFIX = ".unchecked";

bool IsNewer(const Version& offered, const Version& current)
{
    if ( offered.GetMajor() != current.GetMajor() )
        return offered.GetMajor() > current.GetMajor();
    if ( offered.GetMinor() != current.GetMinor() )
        return offered.GetMinor() > current.GetMinor();
    return offered.GetRelease() > current.GetRelease();
}

bool ReadSmallFile(const wxString& path, std::string& contents)
{
    wxLogNull quiet;
    wxFFile file(path, "rb");
    const wxFileOffset length = file.IsOpened() ? file.Length() : -1;
    if ( length < 0 || length > static_cast<wxFileOffset>(UpdateStatement::MAX_SIZE) )
        return false;
    contents.resize(static_cast<size_t>(length));
    return file.Read(&contents[0], contents.size()) == contents.size();
}

void Remove(const wxString& path)
{
    wxLogNull quiet;
    if ( wxFileName::FileExists(path) )
        wxRemoveFile(path);
}

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

bool PluginUpdater::CheckPlugin(const unsigned char* key, UpdateStatement& statement, wxString& why) const
{
    const wxString path = GetNewPluginPath() + ".statement";
    std::string body;
    const bool fetched = DownloadToFile(m_updateUrl + "&type=statement", path, UpdateStatement::MAX_SIZE)
                         && ReadSmallFile(path, body);
    Remove(path);
    if ( !fetched )
    {
        why = "the site has no statement for it";
        return false;
    }
    UpdateStatement read;
    if ( !read.Read(body, key, why) || !read.Vouches(UpdateStatement::PLUGIN, GetNewPluginPath(), why) )
        return false;
    // An older update, however well signed, would take back what a newer one mended.
    if ( !IsNewer(Version(read.GetVersion()), Version::GetCurrent()) )
    {
        why = wxString::Format("it is version %s, not newer than %s", read.GetVersion(),
                               Version::GetCurrent().GetString());
        return false;
    }
    statement = read;
    return true;
}

void PluginUpdater::DiscardPlugin() const
{
    wxLogNull quiet;
    wxRemoveFile(GetNewPluginPath());
}

void PluginUpdater::DownloadCompanions(const UpdateStatement& statement) const
{
    const struct
    {
        const char* type;
        UpdateStatement::Role role;
        wxString path;
    } companions[] = {
        { "skin", UpdateStatement::SKIN, GetSkinPath() },
        { "mo", UpdateStatement::CATALOG, GetCatalogPath() },
        { "manifest", UpdateStatement::MANIFEST, GetManifestPath() },
    };
    for ( const auto& companion : companions )
    {
        const wxString unchecked = companion.path + UNCHECKED_SUFFIX;
        if ( !DownloadToFile(m_updateUrl + "&type=" + companion.type, unchecked) )
            continue;
        wxString why;
        bool stored = statement.Vouches(companion.role, unchecked, why);
        if ( stored )
        {
            wxLogNull quiet;
            stored = wxRenameFile(unchecked, companion.path + NEW_SUFFIX, true);
            why = "it cannot be put beside the current one";
        }
        if ( !stored )
        {
            wxLogTrace("lumora", "PluginUpdater: the %s is not taken: %s", companion.type, why);
            Remove(unchecked);
        }
    }
}
