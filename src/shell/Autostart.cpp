#include "shell/Autostart.h"

#include <wx/ffile.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/utils.h>

namespace
{
// A program path as one argument of a desktop entry's Exec line.
wxString Quoted(const wxString& program)
{
    wxString escaped;
    for ( const wxUniChar c : program )
    {
        if ( c == '"' || c == '`' || c == '$' || c == '\\' )
            escaped += '\\';
        escaped += c;
    }
    // The entry's own escape of a backslash comes on top of the quoting's.
    escaped.Replace("\\", "\\\\");
    return "\"" + escaped + "\"";
}
}

wxString Autostart::GetEntryPath()
{
    wxString base;
    if ( !wxGetEnv("XDG_CONFIG_HOME", &base) || !wxIsAbsolutePath(base) )
        base = wxGetHomeDir() + "/.config";
    return base + "/autostart/parlo.desktop";
}

bool Autostart::IsEnabled()
{
    return wxFileName::FileExists(GetEntryPath());
}

bool Autostart::Enable(const wxString& program)
{
    const wxFileName entry(GetEntryPath());
    wxLogNull quiet;
    if ( !entry.DirExists() && !wxFileName::Mkdir(entry.GetPath(), 0700, wxPATH_MKDIR_FULL) )
        return false;
    const wxString text = "[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Parlo Tovrik\n"
                          "Comment=See which performers are online on Lumora\n"
                          "Exec=" + Quoted(program) + "\n"
                          "Icon=parlo\n"
                          "Terminal=false\n";
    wxFFile file(entry.GetFullPath(), "w");
    const bool written = file.IsOpened() && file.Write(text, wxConvUTF8) && file.Close();
    wxLogTrace("lumora", "Autostart: %s %s", entry.GetFullPath(), written ? "written" : "not written");
    return written;
}

bool Autostart::Disable()
{
    const wxString path = GetEntryPath();
    if ( !wxFileName::FileExists(path) )
        return true;
    wxLogNull quiet;
    const bool removed = wxRemoveFile(path);
    wxLogTrace("lumora", "Autostart: %s %s", path, removed ? "removed" : "not removed");
    return removed;
}
