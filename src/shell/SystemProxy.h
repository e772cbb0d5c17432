#pragma once

#include <wx/string.h>

// The system's web proxy, handed to the toolkit's URL class so that every request uses it.
class SystemProxy
{
public:
    SystemProxy() = delete;

    // "host:port", or empty when no proxy is enabled.
    static wxString Detect();
    // Detects the proxy and, when there is one, makes it the toolkit's default.
    static void Install();
};
