#pragma once

#include "shell/Site.h"

#include <wx/module.h>

class wxStopWatch;
class wxThread;

// The Lumora site, and at the same time the toolkit module through which the host's module
// mechanism creates it when the plug-in is loaded.
class LumoraSite : public Site, public wxModule
{
public:
    LumoraSite();

    int UpdateUserList() override;
    bool OnInit() override;
    void OnExit() override;

    // After this many failed downloads in a row every further failure is shown to the user.
    static constexpr int MAX_FAILURES = 10;
    static constexpr int TIMEOUT_SECONDS = 3;
    static constexpr int PAUSE_PER_PERFORMER_MS = 10;

private:
    // On the polling thread: lets a failed attempt last the time-out; false when asked to stop.
    static bool WaitOutFailedAttempt(wxThread& thread, const wxStopWatch& attempt);
    void OnDownloadFailed();

    // Consecutive failed downloads; touched only by the thread that polls.
    int m_failures = 0;

    wxDECLARE_DYNAMIC_CLASS(LumoraSite);
};
