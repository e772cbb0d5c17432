#pragma once

#include "common/TestSupport.h"

#include <wx/filefn.h>
#include <wx/process.h>
#include <wx/taskbar.h>
#include <wx/utils.h>

// A system tray for the display, for as long as it lives; without one there is no tray to
// hide the frame in. A tray already there is used as it is.
class TrayHost
{
public:
    TrayHost()
    {
        if ( wxTaskBarIcon::IsAvailable() || !wxFileExists("/usr/bin/trayer") )
            return;
        m_process = new wxProcess;
        m_pid = wxExecute("/usr/bin/trayer --edge bottom --align right --widthtype pixel --width 120 --height 24",
                          wxEXEC_ASYNC, m_process);
        TestSupport::WaitFor([] { return wxTaskBarIcon::IsAvailable(); }, 5000);
    }
    ~TrayHost()
    {
        if ( m_pid > 0 )
        {
            wxProcess::Kill(m_pid, wxSIGTERM);
            TestSupport::WaitFor([] { return !wxTaskBarIcon::IsAvailable(); }, 5000);
        }
    }

    TrayHost(const TrayHost&) = delete;
    TrayHost& operator=(const TrayHost&) = delete;

private:
    wxProcess* m_process = nullptr;
    long m_pid = 0;
};
