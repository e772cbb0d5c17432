#include "ui/NotifyIcon.h"

#include "ui/MainFrame.h"

#include <wx/artprov.h>
#include <wx/frame.h>
#include <wx/intl.h>
#include <wx/menu.h>
#include <wx/settings.h>

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

NotifyIcon::NotifyIcon(wxFrame* frame, const wxIcon& icon, const wxString& tooltip)
    : m_frame(frame)
    // The tray needs a picture to show anything at all; a skin without one gets a stock one.
    , m_icon(icon.IsOk() ? icon : wxArtProvider::GetIcon(wxART_INFORMATION, wxART_OTHER, wxSize(22, 22)))
    , m_tooltip(tooltip)
    , m_shownTooltip(tooltip)
{
    SetIcon(m_icon, tooltip);
    m_menu = new wxMenu(wxEmptyString, 0);
    m_menu->Append(ID_QUIET, _("&Quiet"), wxEmptyString, wxITEM_CHECK);
    m_menu->AppendSeparator();
    m_menu->Append(wxID_EXIT, _("E&xit"), _("Exit the application."), wxITEM_NORMAL);
}

void NotifyIcon::SetQuiet(bool quiet)
{
    m_menu->Check(ID_QUIET, quiet);
    m_shownTooltip = quiet ? wxString::Format(_("%s (quiet: no pop-ups)"), m_tooltip) : m_tooltip;
    SetIcon(m_icon, m_shownTooltip);
}

NotifyIcon::~NotifyIcon()
{
    RemoveIcon();
    delete m_menu;
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

void NotifyIcon::ToggleFrame()
{
    if ( !m_frame )
        return;
    // Through our own queue first, then on to the frame: two queue passes, as for the menu.
    const int id = m_frame->IsShown() ? wxID_CLOSE : wxID_OPEN;
    wxCommandEvent event(wxEVT_COMMAND_MENU_SELECTED, id);
    AddPendingEvent(event);
}
