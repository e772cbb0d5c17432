#pragma once

#include <wx/bmpbndl.h>
#include <wx/stopwatch.h>
#include <wx/taskbar.h>

#include <memory>

class StatusNotifierItem;
class wxFrame;
class wxMenu;

// The icon in the system tray: a double click shows or hides the main frame, its menu offers
// "Quiet" and "Exit". Every command goes to the frame through its pending-event queue, so the frame never
// runs inside the handling of a tray notification.
//
// Outside Windows it chooses where the icon goes: into the panels of today's desktops, as a
// StatusNotifierItem, whenever a watcher is on the session bus, and their left click (the protocol
// has no double click) does what the double click does; else into an XEmbed tray of X11, as the
// toolkit's own icon; with neither, nowhere.
class NotifyIcon : public wxTaskBarIcon
{
public:
    NotifyIcon(wxFrame* frame, const wxBitmapBundle& icon, const wxString& tooltip);
    ~NotifyIcon() override;

    // The menu the right button shows; the icon keeps it.
    wxMenu* GetMenu() const { return m_menu; }
    // What the tooltip shows now.
    const wxString& GetTooltip() const { return m_shownTooltip; }
    // Ticks "Quiet" and says in the tooltip that no pop-ups come.
    void SetQuiet(bool quiet);
    // A panel or a tray shows the icon now, so that the frame can hide there.
    bool IsShownInTray() const;
    // The item on the session bus, while there is one.
    const StatusNotifierItem* GetStatusNotifierItem() const { return m_item.get(); }

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
#ifndef __WXMSW__
    // Puts the icon where it is seen: the panel's item, else the XEmbed tray when on X11.
    void PlaceIcon();
    // The panel came or went: a frame hidden in the icon must not be left with no way back.
    void OnShownChanged();
    void OnChosen(int id, bool checked);
#endif

    wxFrame* m_frame;
    wxMenu* m_menu;
    wxBitmapBundle m_icon;
    wxString m_tooltip;
    wxString m_shownTooltip;
#ifndef __WXMSW__
    // The first press of a possible double click, and how long ago it came.
    bool m_pressed = false;
    wxStopWatch m_sincePress;
    std::unique_ptr<StatusNotifierItem> m_item;
    // The frame was hidden in the icon when the icon went, and went to the task bar for it.
    bool m_frameOutOfTray = false;
#endif

    wxDECLARE_EVENT_TABLE();
};
