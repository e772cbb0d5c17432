#pragma once

#include <wx/taskbar.h>

class wxFrame;
class wxMenu;

// The icon in the system tray: a double click shows or hides the main frame, its menu offers
// "Exit". Every command goes to the frame through its pending-event queue, so the frame never
// runs inside the handling of a tray notification.
class NotifyIcon : public wxTaskBarIcon
{
public:
    NotifyIcon(wxFrame* frame, const wxIcon& icon, const wxString& tooltip);
    ~NotifyIcon() override;

    // The menu the right button shows; the icon keeps it.
    wxMenu* GetPopupMenu() const { return m_menu; }
    const wxString& GetTooltip() const { return m_tooltip; }

private:
    void OnMenu(wxCommandEvent& event);
    void OnRButtonUp(wxTaskBarIconEvent& event);
    void OnLButtonDClick(wxTaskBarIconEvent& event);

    wxFrame* m_frame;
    wxMenu* m_menu;
    wxString m_tooltip;

    wxDECLARE_EVENT_TABLE();
};
