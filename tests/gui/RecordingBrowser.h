#pragma once

#include <wx/string.h>

#include <string>
#include <vector>

// Stands in for the web browser while it lives: a script that notes every address it is started
// with, one line each, so that a test sees what the program asked the desktop to open. On GTK it
// is the user's default for web addresses, found by GIO as any browser is.
class RecordingBrowser
{
public:
    RecordingBrowser();
    ~RecordingBrowser();

    RecordingBrowser(const RecordingBrowser&) = delete;
    RecordingBrowser& operator=(const RecordingBrowser&) = delete;

    // The addresses opened so far, in order.
    std::vector<std::string> Opened() const;

    // Waits until at least count addresses were opened.
    bool WaitForOpened(size_t count, int timeoutMs = 5000) const;

#ifdef __WXGTK__
    // The desktop entry GIO opens web addresses with now, or "" when none.
    static wxString GetDefaultBrowser();
#endif

private:
    wxString m_dir;
    wxString m_record;
    wxString m_entry;
};
