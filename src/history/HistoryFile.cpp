#include "history/HistoryFile.h"

#include <wx/datetime.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/utils.h>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const int FOLDER_MODE = 0700;
const int FILE_MODE = 0600;
// What SQLite keeps beside the file while it is in use.
const char* const COMPANIONS[] = { "-wal", "-shm", "-journal" };
// How many damaged files of one second get a name of their own before moving aside gives up.
const int MAX_ASIDE_COPIES = 100;

// Takes from path what anyone but its owner may do.
bool OwnerOnly(const wxString& path, int mode)
{
    struct stat info;
    if ( ::stat(path.fn_str(), &info) != 0 )
        return false;
    if ( (info.st_mode & 077) == 0 )
        return true;
    return ::chmod(path.fn_str(), static_cast<mode_t>(mode)) == 0;
}
}

wxString HistoryFile::GetDefaultPath()
{
    wxString base;
    if ( !wxGetEnv("XDG_DATA_HOME", &base) || !wxIsAbsolutePath(base) )
        base = wxGetHomeDir() + "/.local/share";
    return base + "/Lumora/history.sqlite";
}

bool HistoryFile::Prepare(const wxString& path)
{
    const wxFileName file(path);
    const wxString folder = file.GetPath();
    if ( !wxFileName::DirExists(folder) && !wxFileName::Mkdir(folder, FOLDER_MODE, wxPATH_MKDIR_FULL) )
        return false;
    if ( !OwnerOnly(folder, FOLDER_MODE) )
        return false;
    // Made by us before SQLite opens it, which gives its journal files the same mode.
    const int fd = ::open(path.fn_str(), O_WRONLY | O_CREAT | O_CLOEXEC, FILE_MODE);
    if ( fd < 0 )
        return false;
    ::close(fd);
    return OwnerOnly(path, FILE_MODE);
}

wxString HistoryFile::MoveAside(const wxString& path, std::int64_t now)
{
    const wxString stamp =
        path + ".damaged-" + wxDateTime(static_cast<time_t>(now)).Format("%Y%m%d-%H%M%S");
    // Two files moved aside within a second must not share a name: the second would replace
    // the first, which is the user's too.
    wxString aside;
    for ( int copy = 1; aside.empty(); ++copy )
    {
        if ( copy > MAX_ASIDE_COPIES )
            return wxString();
        const wxString name = copy == 1 ? stamp : wxString::Format("%s-%d", stamp, copy);
        if ( ::renameat2(AT_FDCWD, path.fn_str(), AT_FDCWD, name.fn_str(), RENAME_NOREPLACE) == 0 )
            aside = name;
        else if ( errno == EINVAL && !wxFileName::Exists(name) )
        {
            // A file system that cannot refuse to replace: checked first instead.
            if ( ::rename(path.fn_str(), name.fn_str()) != 0 )
                return wxString();
            aside = name;
        }
        else if ( errno != EEXIST )
            return wxString();
    }
    for ( const char* companion : COMPANIONS )
    {
        const wxString from = path + companion;
        if ( wxFileName::FileExists(from) && ::rename(from.fn_str(), (aside + companion).fn_str()) != 0 )
            ::unlink(from.fn_str());
    }
    return aside;
}
