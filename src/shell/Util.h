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
    // Opens url in the desktop's web browser (the handler of its scheme); false when there is none.
    // Built with the window code (LaunchBrowser.cpp): on GTK it asks the desktop through GIO.
    static bool LaunchBrowser(const wxString& url);
};
