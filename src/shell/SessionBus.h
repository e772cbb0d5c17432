#pragma once

// The desktop session's message bus, where the panels, the keyring and the notification server
// are found.
class SessionBus
{
public:
    SessionBus() = delete;

    // A bus to connect to is known. Without one, GLib would start a bus of its own through X11
    // (dbus-launch) at the first connection: nothing is to connect then.
    static bool IsThere();
};
