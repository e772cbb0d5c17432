#pragma once

#include <wx/string.h>

// The user's autostart entry for this program ($XDG_CONFIG_HOME/autostart/parlo.desktop): while
// it exists, the desktop starts the program at login.
class Autostart
{
public:
    Autostart() = delete;

    static wxString GetEntryPath();
    static bool IsEnabled();
    // Writes the entry that starts program (a full path); false when it cannot be written.
    static bool Enable(const wxString& program);
    // False when an entry is left that cannot be removed.
    static bool Disable();
};
