// The entry point the host calls once, on its main thread, to bring up the user interface.
#include "shell/DurationSetting.h"
#include "skin/Skin.h"
#include "ui/MainFrame.h"

#include <wx/config.h>
#include <wx/log.h>
#include <wx/splash.h>

extern "C" bool SiteRun()
{
    Skin* skin = Skin::GetInstance();
    // 0 asks for no splash at all; a negative time is no time, and the default stands.
    const long seconds = DurationSetting::ReadSeconds(*Skin::GetConfig(), "/SplashScreen/duration", 3, 0);
    const wxBitmap bitmap = skin->GetBitmapForDisplay("SplashScreen_bitmap");
    // A splash needs a picture; without one the frame simply comes up on its own.
    if ( !bitmap.IsOk() )
    {
        wxLogTrace("lumora", "SiteRun: no splash picture in the skin");
    }
    else if ( seconds > 0 )
    {
        new wxSplashScreen(bitmap, wxSPLASH_CENTRE_ON_SCREEN | wxSPLASH_TIMEOUT, static_cast<int>(seconds * 1000),
                           nullptr, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxSTAY_ON_TOP | wxFRAME_NO_TASKBAR);
    }
    new MainFrame;
    return true;
}
