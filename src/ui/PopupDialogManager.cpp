#include "ui/PopupDialogManager.h"

#include "model/User.h"
#include "shell/BoolSetting.h"
#include "shell/SessionBus.h"
#include "skin/Skin.h"
#include "sync/UserEvent.h"
#include "ui/DesktopNotification.h"
#include "ui/MainFrame.h"
#include "ui/PopupDialog.h"

#include <wx/app.h>
#include <wx/config.h>
#include <wx/frame.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/tokenzr.h>

wxBEGIN_EVENT_TABLE(PopupDialogManager, wxEvtHandler)
    EVT_USER_ADDED(PopupDialogManager::OnUserAdded)
    EVT_USER_CHANGED(PopupDialogManager::OnUserChanged)
wxEND_EVENT_TABLE()

PopupDialogManager::PopupDialogManager() = default;

PopupDialogManager::~PopupDialogManager() = default;

void PopupDialogManager::OnUserAdded(UserEvent& event)
{
    // Coming online is a change from offline.
    UserEvent changed(event);
    changed.SetEventType(wxEVT_USER_CHANGED);
    changed.SetOldStatus(STATUS_OFFLINE);
    ProcessEvent(changed);
}

void PopupDialogManager::OnUserChanged(UserEvent& event)
{
    // Read each time, like the favourites: what was missed meanwhile is not shown later.
    if ( IsQuiet() )
        return;
    const User& user = event.GetUser();
    if ( IsOnlyFavoriteOn() && !IsFavorite(user.GetName()) )
        return;

    const int oldStatus = event.GetOldStatus();
    const int newStatus = user.GetStatus();
    int kind;
    if ( oldStatus == STATUS_OFFLINE && (newStatus & STATUS_ONLINE) )
        kind = PopupDialog::POPUP_KIND_ONLINE;
    else if ( (oldStatus & STATUS_BUSY) && (newStatus & STATUS_FREE) )
        kind = PopupDialog::POPUP_KIND_FREE;
    else
        return;

    wxLogTrace("lumora", "PopupDialogManager: announcing %s", user.GetName());
    // Either shows and destroys itself.
    if ( CanUseDesktopNotifications() )
        new DesktopNotification(user, kind);
    else
        new PopupDialog(user, kind, nullptr, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                        wxSTAY_ON_TOP | wxDIALOG_NO_PARENT);
}

bool PopupDialogManager::IsQuiet()
{
    return BoolSetting::Read(*Skin::GetConfig(), "/PopupDialog/quiet", false);
}

bool PopupDialogManager::UsesDesktopNotifications()
{
    return BoolSetting::Read(*Skin::GetConfig(), "/PopupDialog/desktopNotifications", false);
}

bool PopupDialogManager::CanUseDesktopNotifications()
{
    // The notification server is on the session bus: without one the windows of our own.
    return UsesDesktopNotifications() && SessionBus::IsThere();
}

bool PopupDialogManager::IsOnlyFavoriteOn()
{
    wxWindow* top = wxTheApp ? wxTheApp->GetTopWindow() : nullptr;
    // Tested before the cast: the toolkit's checked cast converts the pointer first.
    wxFrame* frame = top && top->IsKindOf(wxCLASSINFO(wxFrame)) ? static_cast<wxFrame*>(top) : nullptr;
    wxMenuBar* menuBar = frame ? frame->GetMenuBar() : nullptr;
    wxMenuItem* item = menuBar ? menuBar->FindItem(ID_POPUP_ONLY_FAVORITE) : nullptr;
    // Until the favourites have been downloaded the item is disabled, and everyone is announced.
    return item && item->IsCheckable() && item->IsEnabled() && item->IsChecked();
}

bool PopupDialogManager::IsFavorite(const wxString& name)
{
    // Read each time: a new sign-in may have changed the list.
    wxString favorites;
    Skin::GetConfig()->Read("/favorites", &favorites, wxEmptyString);
    wxStringTokenizer tokens(favorites, ",");
    while ( tokens.HasMoreTokens() )
    {
        if ( tokens.GetNextToken() == name )
            return true;
    }
    return false;
}
