// The entry point the host calls once, on its main thread, to bring up the user interface.
#include "skin/Skin.h"
#include "ui/MainFrame.h"

#include <wx/config.h>
#include <wx/log.h>
#include <wx/splash.h>

extern "C" bool SiteRun()
{
    Skin* skin = Skin::GetInstance();
    long seconds = 3;
    Skin::GetConfig()->Read("/SplashScreen/duration", &seconds, 3);
    const wxBitmap bitmap = skin->GetBitmapForDisplay("SplashScreen_bitmap");
    // A splash needs a picture; without one the frame simply comes up on its own.
    if ( bitmap.IsOk() )
    {
        new wxSplashScreen(bitmap, wxSPLASH_CENTRE_ON_SCREEN | wxSPLASH_TIMEOUT,
                           static_cast<int>(seconds * 1000), nullptr, wxID_ANY, wxDefaultPosition,
                           wxDefaultSize, wxSTAY_ON_TOP | wxFRAME_NO_TASKBAR);
    }
    else
    {
        wxLogTrace("lumora", "SiteRun: no splash picture in the skin");
    }
    new MainFrame;
    return true;
}
