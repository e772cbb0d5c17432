#include "Screenshot.h"

#include "common/TestSupport.h"

#include <wx/utils.h>
#include <wx/window.h>

void Screenshot(wxWindow* window, const wxString& name)
{
    wxString dir;
    if ( !wxGetEnv("PARLO_SCREENSHOTS", &dir) || dir.empty() )
        return;
    window->Update();
    TestSupport::WaitFor([] { return false; }, 500);
    // In the screen's pixels, which at scale 2 are twice the window's.
    const double scale = window->GetContentScaleFactor();
    const wxRect rect = window->GetScreenRect();
    wxExecute(wxString::Format("import -window root -crop %dx%d+%d+%d %s/%s", wxRound(rect.width * scale),
                               wxRound(rect.height * scale), wxRound(rect.x * scale), wxRound(rect.y * scale), dir,
                               name),
              wxEXEC_SYNC);
}
