#include "ui/NotifyIcon.h"

#include "ui/MainFrame.h"
#include "ui/StatusNotifierItem.h"

#include <wx/artprov.h>
#include <wx/frame.h>
#include <wx/intl.h>
#include <wx/menu.h>
#include <wx/settings.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif
#endif

wxBEGIN_EVENT_TABLE(NotifyIcon, wxTaskBarIcon)
    EVT_MENU(wxID_ANY, NotifyIcon::OnMenu)
#ifdef __WXMSW__
    EVT_TASKBAR_LEFT_DCLICK(NotifyIcon::OnLButtonDClick)
    EVT_TASKBAR_RIGHT_UP(NotifyIcon::OnRButtonUp)
#else
    // GTK reports every left press alone and never a double click; handling the press also
    // stops the toolkit from turning each one into a double click of its own.
    EVT_TASKBAR_LEFT_DOWN(NotifyIcon::OnLButtonDown)
#endif
wxEND_EVENT_TABLE()

NotifyIcon::NotifyIcon(wxFrame* frame, const wxBitmapBundle& icon, const wxString& tooltip)
    : m_frame(frame)
    // The tray needs a picture to show anything at all; a skin without one gets a stock one.
    , m_icon(icon.IsOk() ? icon : wxArtProvider::GetBitmapBundle(wxART_INFORMATION, wxART_OTHER, wxSize(22, 22)))
    , m_tooltip(tooltip)
    , m_shownTooltip(tooltip)
{
    m_menu = new wxMenu(wxEmptyString, 0);
    m_menu->Append(ID_QUIET, _("&Quiet"), wxEmptyString, wxITEM_CHECK);
    m_menu->AppendSeparator();
    m_menu->Append(wxID_EXIT, _("E&xit"), _("Exit the application."), wxITEM_NORMAL);
#ifdef __WXMSW__
    SetIcon(m_icon, tooltip);
#else
    StatusNotifierItem::Handlers handlers;
    handlers.activated = [this] { ToggleFrame(); };
    handlers.chosen = [this](int id, bool checked) { OnChosen(id, checked); };
    handlers.shownChanged = [this](bool) { OnShownChanged(); };
    m_item = StatusNotifierItem::Create(tooltip, *m_menu, handlers);
    if ( m_item )
    {
        m_item->SetIcon(m_icon);
        m_item->SetToolTip(tooltip);
    }
    PlaceIcon();
#endif
}

void NotifyIcon::SetQuiet(bool quiet)
{
    m_menu->Check(ID_QUIET, quiet);
    m_shownTooltip = quiet ? wxString::Format(_("%s (quiet: no pop-ups)"), m_tooltip) : m_tooltip;
#ifdef __WXMSW__
    SetIcon(m_icon, m_shownTooltip);
#else
    if ( m_item )
    {
        m_item->SetToolTip(m_shownTooltip);
        m_item->UpdateMenu(*m_menu);
    }
    PlaceIcon();
#endif
}

NotifyIcon::~NotifyIcon()
{
#ifndef __WXMSW__
    m_item.reset();
#endif
    RemoveIcon();
    delete m_menu;
}

bool NotifyIcon::IsShownInTray() const
{
#ifndef __WXMSW__
    if ( m_item && m_item->IsShown() )
        return true;
#endif
    return IsIconInstalled() && wxTaskBarIcon::IsAvailable();
}

void NotifyIcon::OnMenu(wxCommandEvent& event)
{
    if ( m_frame )
        m_frame->GetEventHandler()->AddPendingEvent(event);
}

#ifdef __WXMSW__
void NotifyIcon::OnRButtonUp(wxTaskBarIconEvent&)
{
    PopupMenu(m_menu);
}

void NotifyIcon::OnLButtonDClick(wxTaskBarIconEvent&)
{
    ToggleFrame();
}
#else
wxMenu* NotifyIcon::GetPopupMenu()
{
    return m_menu;
}

void NotifyIcon::OnLButtonDown(wxTaskBarIconEvent&)
{
    int doubleClickMs = wxSystemSettings::GetMetric(wxSYS_DCLICK_MSEC);
    if ( doubleClickMs <= 0 )
        doubleClickMs = 400; // GTK's own default, for a desktop that does not say
    if ( m_pressed && m_sincePress.Time() <= doubleClickMs )
    {
        // Forgotten once used, so that a third quick press starts a new double click.
        m_pressed = false;
        ToggleFrame();
        return;
    }
    m_pressed = true;
    m_sincePress.Start();
}
#endif

#ifndef __WXMSW__
void NotifyIcon::PlaceIcon()
{
    if ( m_item && m_item->IsShown() )
    {
        // One icon only: the panel's.
        if ( IsIconInstalled() )
            RemoveIcon();
        return;
    }
#if defined(__WXGTK__) && defined(GDK_WINDOWING_X11)
    // XEmbed is an X11 protocol: a client of another display server has no such tray.
    if ( GDK_IS_X11_DISPLAY(gdk_display_get_default()) )
        SetIcon(m_icon, m_shownTooltip);
#endif
}

void NotifyIcon::OnShownChanged()
{
    PlaceIcon();
    if ( !m_frame )
        return;
    int id = wxID_NONE;
    if ( !IsShownInTray() && !m_frame->IsShown() )
    {
        // A panel that goes (it crashed, or the user took the tray away) would otherwise leave
        // the hidden frame out of reach: it waits iconized in the task bar instead.
        m_frameOutOfTray = true;
        id = wxID_ICONIZE_FRAME;
    }
    else if ( IsShownInTray() && m_frameOutOfTray )
    {
        // Back where it was, unless the user has opened it meanwhile.
        m_frameOutOfTray = false;
        if ( m_frame->IsIconized() )
            id = wxID_CLOSE;
    }
    if ( id == wxID_NONE )
        return;
    wxCommandEvent event(wxEVT_COMMAND_MENU_SELECTED, id);
    AddPendingEvent(event);
}

void NotifyIcon::OnChosen(int id, bool checked)
{
    // As the toolkit's own menu sends it, through our queue first.
    wxCommandEvent event(wxEVT_COMMAND_MENU_SELECTED, id);
    event.SetInt(checked ? 1 : 0);
    AddPendingEvent(event);
}
#endif

void NotifyIcon::ToggleFrame()
{
    if ( !m_frame )
        return;
    // Through our own queue first, then on to the frame: two queue passes, as for the menu.
    const int id = m_frame->IsShown() ? wxID_CLOSE : wxID_OPEN;
    wxCommandEvent event(wxEVT_COMMAND_MENU_SELECTED, id);
    AddPendingEvent(event);
}
