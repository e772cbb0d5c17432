#pragma once

// What the desktop session needs to know before the window toolkit starts: the name the
// compositor matches the windows to the menu entry by, and which of GDK's backends to take.
class DesktopSession
{
public:
    DesktopSession() = delete;

    // The menu entry's ID, which is also the Wayland app_id of the windows.
    static const char* const DESKTOP_ID;

    // Call before the toolkit opens the display.
    static void Prepare();
};
