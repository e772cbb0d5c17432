#include "ui/PopupDialog.h"

#include "net/DownloadFinishedEvent.h"
#include "shell/DurationSetting.h"
#include "shell/SiteHosts.h"
#include "shell/Util.h"
#include "skin/Skin.h"
#include "ui/Thumbnail.h"

#include <wx/config.h>
#include <wx/dcclient.h>
#include <wx/display.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/timer.h>

#include <algorithm>
#include <set>

#ifdef __WXMSW__
#include <wx/msw/wrapwin.h>
#endif
#ifdef __WXGTK__
#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif
#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#endif
#endif

int PopupDialog::ms_openCount = 0;
std::set<int> PopupDialog::ms_takenSlots;

namespace
{
const long DEFAULT_DURATION_SECONDS = 8;

// No caption and no frame controls, as the creator asks; on GTK also said outright, so that the
// toolkit neither reserves room for a frame that a window manager would draw around a dialog nor
// gives it a title bar of its own on Wayland.
long FrameStyle(long style)
{
#ifdef __WXGTK__
    return style | wxBORDER_NONE;
#else
    return style;
#endif
}

#if defined(__WXGTK__) && defined(GDK_WINDOWING_X11)
// On X11 the pop-up is a window that no window manager places, sizes, frames or focuses: it
// stands exactly in its corner, whatever the desktop, and still answers clicks. It must be so
// before it is first shown.
void Unmanage(GtkWidget* widget, gpointer)
{
    GdkWindow* window = gtk_widget_get_window(widget);
    if ( window && GDK_IS_X11_WINDOW(window) )
        gdk_window_set_override_redirect(window, TRUE);
}
#endif
}

wxBEGIN_EVENT_TABLE(PopupDialog, wxDialog)
    EVT_DOWNLOAD_FINISHED(PopupDialog::OnDownloadFinished)
    EVT_TIMER(wxID_ANY, PopupDialog::OnDestroyTimer)
wxEND_EVENT_TABLE()

PopupDialog::PopupDialog(const User& user, int kind, wxWindow* parent, wxWindowID id,
                         const wxString& title, const wxPoint& pos, const wxSize& size, long style)
    : wxDialog(parent, id, title, pos, size, FrameStyle(style))
    , m_user(user)
    , m_kind(kind)
{
    KeepWholeSize();
    Skin* skin = Skin::GetInstance();
    m_mainPanel = new wxPanel(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                              wxBORDER_STATIC | wxTAB_TRAVERSAL);
    m_contentPanel = new wxPanel(m_mainPanel, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                 wxBORDER_NONE | wxTAB_TRAVERSAL);
    m_titleBar = new wxStaticBitmap(m_mainPanel, wxID_ANY, skin->GetBitmapBundle("PopupDialog_titleBar"));
    m_styleBar = new wxStaticBitmap(m_mainPanel, wxID_ANY, skin->GetBitmapBundle("PopupDialog_styleBar_ONLINE"),
                                    wxDefaultPosition, wxDefaultSize, wxBORDER_STATIC);
    m_profileImage = new wxStaticBitmap(m_contentPanel, wxID_ANY,
                                        skin->GetBitmapBundle("PopupDialog_profileImage"));
    m_nameLabel = new wxStaticText(m_contentPanel, wxID_ANY, _("New Face"), wxDefaultPosition,
                                   wxDefaultSize, wxALIGN_CENTRE | wxST_NO_AUTORESIZE);

    SetProperties();
    DoLayout();

    m_profileImage->SetCursor(wxCursor(wxCURSOR_HAND));
    m_profileImage->Bind(wxEVT_LEFT_DOWN, &PopupDialog::OnLeftDownForControl, this);

    m_titleBar->SetBitmap(skin->GetBitmapBundle("PopupDialog_titleBar"));
    if ( kind == POPUP_KIND_FREE )
        m_styleBar->SetBitmap(skin->GetBitmapBundle("PopupDialog_styleBar_FREE"));
    else if ( kind == POPUP_KIND_ONLINE )
        m_styleBar->SetBitmap(skin->GetBitmapBundle("PopupDialog_styleBar_ONLINE"));

    // A name is shown as it is, never read for mnemonics.
    m_nameLabel->SetLabelText(m_user.GetName());
    m_nameLabel->Bind(wxEVT_LEFT_DOWN, &PopupDialog::OnLeftDownForControl, this);

    // Neither appearing nor a click may take the focus from the window the user works in.
#ifdef __WXMSW__
    HWND hwnd = static_cast<HWND>(GetHandle());
    ::SetWindowLongA(hwnd, GWL_EXSTYLE, ::GetWindowLongA(hwnd, GWL_EXSTYLE) | WS_EX_NOACTIVATE);
#endif
#ifdef __WXGTK__
    GtkWindow* window = GTK_WINDOW(GetHandle());
    gtk_window_set_accept_focus(window, FALSE);
    gtk_window_set_focus_on_map(window, FALSE);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_NOTIFICATION);
    gtk_window_set_skip_taskbar_hint(window, TRUE);
    gtk_window_set_skip_pager_hint(window, TRUE);
#ifdef GDK_WINDOWING_X11
    if ( gtk_widget_get_realized(GTK_WIDGET(window)) )
        Unmanage(GTK_WIDGET(window), nullptr);
    else
        g_signal_connect_after(window, "realize", G_CALLBACK(Unmanage), nullptr);
#endif
#endif

    m_contentPanel->Bind(wxEVT_PAINT, &PopupDialog::OnPaintContentPanel, this);

    DescribeToScreenReaders();
    StartDownload();
}

PopupDialog::~PopupDialog()
{
    // Released here rather than in its own handler, which the toolkit does not allow everywhere.
    delete m_destroyTimer;
    if ( m_slot >= 0 )
    {
        --ms_openCount;
        ms_takenSlots.erase(m_slot);
    }
}

void PopupDialog::KeepWholeSize()
{
#if defined(__WXGTK__) && defined(GDK_WINDOWING_X11)
    // Before its first show the toolkit asks the window manager how large a frame it would draw
    // and takes that off the window, since it takes sizes with the frame; some (xfwm4) answer
    // with their usual frame even for a window they never frame. A pop-up has none: it asks
    // nothing, and forgets what another frameless window may have been told.
    g_signal_handlers_disconnect_matched(m_widget, GSignalMatchType(G_SIGNAL_MATCH_ID | G_SIGNAL_MATCH_DATA),
                                         g_signal_lookup("property_notify_event", GTK_TYPE_WIDGET), 0,
                                         nullptr, nullptr, static_cast<wxTopLevelWindowGTK*>(this));
    m_decorSize = DecorSize();
#endif
}

wxString PopupDialog::GetNews(int kind)
{
    return kind == POPUP_KIND_FREE ? _("is free now") : _("is online");
}

void PopupDialog::DescribeToScreenReaders()
{
#ifdef __WXGTK__
    // Screen readers announce a notification that appears by its name; the pictures say who it
    // is from and what happened only to the eye.
    const wxString news = GetNews(m_kind);
    AtkObject* popup = gtk_widget_get_accessible(GetHandle());
    atk_object_set_role(popup, ATK_ROLE_NOTIFICATION);
    atk_object_set_name(popup, (m_user.GetName() + " " + news).utf8_str());
    atk_object_set_name(gtk_widget_get_accessible(m_titleBar->GetHandle()), _("Parlo Tovrik").utf8_str());
    atk_object_set_name(gtk_widget_get_accessible(m_styleBar->GetHandle()), news.utf8_str());
    atk_object_set_name(gtk_widget_get_accessible(m_profileImage->GetHandle()), _("Profile").utf8_str());
#endif
}

void PopupDialog::SetProperties()
{
    SetTitle(_("Popup"));
    SetSize(wxSize(150, 150));
    // Fixed sizes: the sizers take them as they are, whatever the pictures hold. The bars are as
    // wide as the pop-up, so that no strip of plain background shows beside them.
    m_titleBar->SetMinSize(wxSize(150, 18));
    m_titleBar->SetSize(wxSize(150, 18));
    m_styleBar->SetMinSize(wxSize(150, 12));
    m_styleBar->SetSize(wxSize(150, 12));
    m_profileImage->SetMinSize(Thumbnail::SIZE);
    m_profileImage->SetSize(Thumbnail::SIZE);
    m_nameLabel->SetMinSize(wxSize(108, 18));
    m_nameLabel->SetSize(wxSize(108, 18));
    m_nameLabel->SetBackgroundColour(wxColour(90, 146, 239));
    m_nameLabel->SetForegroundColour(wxColour(255, 255, 255));
    m_nameLabel->SetFont(wxFont(10, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL,
                                false, wxEmptyString));
    m_contentPanel->SetBackgroundColour(wxColour(99, 150, 255));
}

void PopupDialog::DoLayout()
{
    wxBoxSizer* dialogSizer = new wxBoxSizer(wxVERTICAL);
    wxBoxSizer* mainSizer = new wxBoxSizer(wxVERTICAL);
    wxBoxSizer* contentSizer = new wxBoxSizer(wxVERTICAL);

    contentSizer->Add(0, 8, 0, wxEXPAND | wxALL, 0);
    contentSizer->Add(m_profileImage, 0, wxALIGN_CENTER_HORIZONTAL | wxBOTTOM, 3);
    // Stretched to the panel's width, which also centres it.
    contentSizer->Add(m_nameLabel, 0, wxEXPAND | wxBOTTOM, 5);
    m_contentPanel->SetAutoLayout(true);
    m_contentPanel->SetSizer(contentSizer);
    contentSizer->Fit(m_contentPanel);
    contentSizer->SetSizeHints(m_contentPanel);

    // Across the panel, whatever its border leaves of it.
    mainSizer->Add(m_titleBar, 0, wxEXPAND, 0);
    mainSizer->Add(m_styleBar, 0, wxEXPAND, 0);
    mainSizer->Add(m_contentPanel, 1, wxEXPAND | wxALL, 0);
    m_mainPanel->SetAutoLayout(true);
    m_mainPanel->SetSizer(mainSizer);
    mainSizer->Fit(m_mainPanel);
    mainSizer->SetSizeHints(m_mainPanel);

    dialogSizer->Add(m_mainPanel, 1, wxEXPAND | wxALL, 0);
    SetAutoLayout(true);
    SetSizer(dialogSizer);
    Layout();
}

void PopupDialog::StartDownload()
{
    // Without its download nothing would ever show or end this pop-up.
    if ( !Thumbnail::StartDownload(this, m_user) )
        Destroy();
}

void PopupDialog::OnDownloadFinished(DownloadFinishedEvent& event)
{
    const wxBitmap thumbnail = Thumbnail::FromDownload(event, GetContentScaleFactor());
    // One download per pop-up: anything else comes too late.
    if ( m_destroyTimer )
        return;
    if ( thumbnail.IsOk() )
        m_profileImage->SetBitmap(thumbnail);
    else
        m_profileImage->SetBitmap(Skin::GetInstance()->GetBitmapBundle("PopupDialog_profileImage"));

    m_destroyTimer = new wxTimer(this, wxID_ANY);
    m_destroyTimer->Start(static_cast<int>(GetDurationSeconds() * 1000), wxTIMER_ONE_SHOT);

    PlaceAboveOpenPopups();
    ShowWithoutActivating();
}

long PopupDialog::GetDurationSeconds()
{
    const long seconds =
        DurationSetting::ReadSeconds(*Skin::GetConfig(), "/PopupDialog/duration", DEFAULT_DURATION_SECONDS, 0);
    // 0 asks for the shortest stay: a pop-up gone before it is drawn would still cost its download
    // and its place.
    return std::max(1L, seconds);
}

void PopupDialog::PlaceAboveOpenPopups()
{
#if defined(__WXGTK__) && defined(GDK_WINDOWING_WAYLAND)
    static bool s_told = false;
    if ( !s_told && GDK_IS_WAYLAND_DISPLAY(gdk_display_get_default()) )
    {
        s_told = true;
        wxLogTrace("lumora", "PopupDialog: a Wayland client cannot place its windows, so the "
                             "compositor places the pop-ups (with XWayland they stand in their corner)");
    }
#endif
    int areaX = 0;
    int areaY = 0;
    int areaWidth = 0;
    int areaHeight = 0;
    wxClientDisplayRect(&areaX, &areaY, &areaWidth, &areaHeight);
    const wxSize size = GetSize();
    // The lowest place that no open pop-up holds: counting the open ones instead would put a
    // new pop-up on one still open whenever an earlier one had closed first.
    int slot = 0;
    while ( ms_takenSlots.count(slot) )
        ++slot;
    ms_takenSlots.insert(slot);
    m_slot = slot;
    ++ms_openCount;

    // A stack taller than the work area goes on in a new column to its left rather than above
    // the screen, where nobody would see it; past the last column it starts over.
    const int rows = std::max(1, areaHeight / std::max(1, size.y));
    const int columns = std::max(1, areaWidth / std::max(1, size.x));
    const int row = slot % rows;
    const int column = (slot / rows) % columns;
    Move(areaX + areaWidth - (column + 1) * size.x, areaY + areaHeight - (row + 1) * size.y);
}

void PopupDialog::OnDestroyTimer(wxTimerEvent& WXUNUSED(event))
{
    Destroy();
}

void PopupDialog::OnLeftDownForControl(wxMouseEvent& WXUNUSED(event))
{
    // The name goes in as it is, as the preview page expects it.
    Util::LaunchBrowser(SiteHosts::MakeUrl(SiteHosts::PREVIEW, "/preview.shtml?" + m_user.GetName()));
}

void PopupDialog::OnPaintContentPanel(wxPaintEvent& WXUNUSED(event))
{
    wxPaintDC dc(m_contentPanel);
    // At the screen's own resolution: a bitmap with a scale factor is drawn at its logical size.
    if ( !m_contentBitmap.IsOk() )
        m_contentBitmap = Skin::GetInstance()->GetBitmapBundle("PopupDialog_contentPanel").GetBitmapFor(m_contentPanel);
    // Without the picture the panel's own colour is the background.
    if ( m_contentBitmap.IsOk() )
        dc.DrawBitmap(m_contentBitmap, 0, 0, true);
}
