#pragma once

#include <wx/string.h>

// The system's web proxy, which every request of the plug-in goes through.
class SystemProxy
{
public:
    SystemProxy() = delete;

    // "host:port", or empty when no proxy is enabled.
    static wxString Detect();
    // Detects the proxy and makes it the one of every request (none when there is none).
    static void Install();
};
