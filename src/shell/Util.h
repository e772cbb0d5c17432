#pragma once

#include <wx/filename.h>

// Ties the plug-in to its surroundings: the files named after the host program, and the browser.
class Util
{
public:
    Util() = delete;

    // The host program's real file, links resolved, however it was started.
    static wxFileName GetApplicationFileName();
    // The host's name with the platform's library extension: the plug-in itself.
    static wxFileName GetPluginFileName();
    // Opens url with the program registered for html files; false when there is none.
    static bool LaunchBrowser(const wxString& url);
};
