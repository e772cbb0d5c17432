#include "shell/LumoraSite.h"

#include "shell/SystemProxy.h"

#include <wx/app.h>
#include <wx/log.h>

wxIMPLEMENT_DYNAMIC_CLASS(LumoraSite, wxModule);

LumoraSite::LumoraSite()
{
    wxLogTrace("lumora", "LumoraSite created");
    SystemProxy::Install();
}

bool LumoraSite::OnInit()
{
    // The identity fixes where the toolkit keeps the configuration.
    if ( wxTheApp )
    {
        wxTheApp->SetVendorName("Lumora");
        wxTheApp->SetAppName("Messenger");
        wxLogTrace("lumora", "LumoraSite::OnInit: vendor \"%s\", application \"%s\"",
                   wxTheApp->GetVendorName(), wxTheApp->GetAppName());
    }
    return true;
}

void LumoraSite::OnExit()
{
    wxLogTrace("lumora", "LumoraSite::OnExit");
}

int LumoraSite::UpdateUserList()
{
    return 0;
}
