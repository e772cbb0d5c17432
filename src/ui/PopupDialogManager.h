#pragma once

#include <wx/event.h>

class UserEvent;

// Decides which changes of the site deserve a pop-up: a performer who comes online, and one who
// goes from busy to free; with "PopupOnlyFavorite" in force, favourites only. Register it with
// the daemon thread; it keeps nothing of the pop-ups it opens, which end by themselves.
class PopupDialogManager : public wxEvtHandler
{
public:
    PopupDialogManager();
    ~PopupDialogManager() override;

    // "Quiet" is on: no pop-up opens at all.
    static bool IsQuiet();
    // The pop-ups come as the desktop's notifications rather than as windows of ours.
    static bool UsesDesktopNotifications();

private:
    void OnUserAdded(UserEvent& event);
    void OnUserChanged(UserEvent& event);

    // The user chose the desktop's notifications, and there is a bus to reach them on.
    static bool CanUseDesktopNotifications();
    // The main frame's "PopupOnlyFavorite" item is enabled and ticked.
    static bool IsOnlyFavoriteOn();
    // The name is one of the favourites stored by the last sign-in.
    static bool IsFavorite(const wxString& name);

    wxDECLARE_EVENT_TABLE();
};
