#pragma once

#include <wx/icon.h>
#include <wx/stopwatch.h>
#include <wx/taskbar.h>

class wxFrame;
class wxMenu;

// The icon in the system tray: a double click shows or hides the main frame, its menu offers
// "Quiet" and "Exit". Every command goes to the frame through its pending-event queue, so the frame never
// runs inside the handling of a tray notification.
class NotifyIcon : public wxTaskBarIcon
{
public:
    NotifyIcon(wxFrame* frame, const wxIcon& icon, const wxString& tooltip);
    ~NotifyIcon() override;

    // The menu the right button shows; the icon keeps it.
    wxMenu* GetMenu() const { return m_menu; }
    // What the tooltip shows now.
    const wxString& GetTooltip() const { return m_shownTooltip; }
    // Ticks "Quiet" and says in the tooltip that no pop-ups come.
    void SetQuiet(bool quiet);

#ifndef __WXMSW__
protected:
    // The toolkit shows this menu itself on a right press, and leaves it to us.
    wxMenu* GetPopupMenu() override;
#endif

private:
    void OnMenu(wxCommandEvent& event);
#ifdef __WXMSW__
    void OnRButtonUp(wxTaskBarIconEvent& event);
    void OnLButtonDClick(wxTaskBarIconEvent& event);
#else
    void OnLButtonDown(wxTaskBarIconEvent& event);
#endif
    void ToggleFrame();

    wxFrame* m_frame;
    wxMenu* m_menu;
    wxIcon m_icon;
    wxString m_tooltip;
    wxString m_shownTooltip;
#ifndef __WXMSW__
    // The first press of a possible double click, and how long ago it came.
    bool m_pressed = false;
    wxStopWatch m_sincePress;
#endif

    wxDECLARE_EVENT_TABLE();
};
