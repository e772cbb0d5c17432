#pragma once

#include "shell/Site.h"

#include <wx/module.h>

// The Lumora site, and at the same time the toolkit module through which the host's module
// mechanism creates it when the plug-in is loaded.
class LumoraSite : public Site, public wxModule
{
public:
    LumoraSite();

    int UpdateUserList() override;
    bool OnInit() override;
    void OnExit() override;

private:
    wxDECLARE_DYNAMIC_CLASS(LumoraSite);
};
