#include "ui/DesktopNotification.h"

#include "net/DownloadFinishedEvent.h"
#include "shell/SiteHosts.h"
#include "shell/Util.h"
#include "skin/Skin.h"
#include "ui/PopupDialog.h"
#include "ui/Thumbnail.h"

#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/intl.h>
#include <wx/log.h>

#include <libnotify/notify.h>

#include <dlfcn.h>

#include <algorithm>
#include <climits>

std::set<DesktopNotification*> DesktopNotification::ms_live;

namespace
{
// How much longer than its time a notification may take to say it has gone.
const int GRACE_MS = 5000;
// Who we are to the desktop: the ID of our desktop entry, and the icon that entry names.
const char* const DESKTOP_ENTRY = "org.parlotovrik.Parlo";
const char* const APP_ICON = "parlo";

bool InitLibnotify()
{
    // Its object types stay registered with GLib for the life of the process, so its code must
    // too, whenever the plug-in that uses it is unloaded and loaded again.
    dlopen("libnotify.so.4", RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    // Its name is the process's, once: a plug-in loaded again finds it set.
    return notify_is_initted() || notify_init(wxTheApp->GetAppName().utf8_str());
}
}

wxBEGIN_EVENT_TABLE(DesktopNotification, wxEvtHandler)
    EVT_DOWNLOAD_FINISHED(DesktopNotification::OnDownloadFinished)
    EVT_TIMER(wxID_ANY, DesktopNotification::OnGone)
wxEND_EVENT_TABLE()

DesktopNotification::DesktopNotification(const User& user, int kind)
    : m_user(user)
    , m_kind(kind)
    , m_gone(this)
{
    ms_live.insert(this);
    // Without its download nothing would ever show or end this notification.
    if ( !Thumbnail::StartDownload(this, m_user) )
        CallAfter([this] { delete this; });
}

DesktopNotification::~DesktopNotification()
{
    ms_live.erase(this);
    if ( !m_notification )
        return;
    // The notification may outlive us in libnotify's hands: nothing of ours, nor of the plug-in's
    // code, may be called from it any more.
    g_signal_handlers_disconnect_by_data(m_notification, this);
    notify_notification_clear_actions(m_notification);
    if ( !m_closed )
        notify_notification_close(m_notification, nullptr);
    g_object_unref(m_notification);
}

void DesktopNotification::CloseAll()
{
    const std::set<DesktopNotification*> live = ms_live;
    for ( DesktopNotification* notification : live )
        delete notification;
}

void DesktopNotification::OnDownloadFinished(DownloadFinishedEvent& event)
{
    wxBitmap bitmap = Thumbnail::FromDownload(event);
    // One download per notification: anything else comes too late.
    if ( m_notification || m_closed )
        return;
    if ( !bitmap.IsOk() )
        bitmap = Skin::GetInstance()->GetBitmap("PopupDialog_profileImage");
    const long seconds =
        std::max(1L, std::min(PopupDialog::GetDurationSeconds(), static_cast<long>((INT_MAX - GRACE_MS) / 1000)));

    const wxString text = PopupDialog::GetNews(m_kind);
    GError* error = nullptr;
    if ( InitLibnotify() )
    {
        m_notification = notify_notification_new(m_user.GetName().utf8_str(), text.utf8_str(), APP_ICON);
        notify_notification_set_hint(m_notification, "desktop-entry", g_variant_new_string(DESKTOP_ENTRY));
        if ( bitmap.IsOk() )
            notify_notification_set_image_from_pixbuf(m_notification, bitmap.GetPixbufNoMask());
        // A click on the notification runs "default", for which desktops draw no button: "Profile"
        // stays as the button, and both open the page.
        const wxScopedCharBuffer profile = _("Profile").utf8_str();
        notify_notification_add_action(m_notification, "default", profile, &DesktopNotification::OnAction, this, nullptr);
        notify_notification_add_action(m_notification, "profile", profile, &DesktopNotification::OnAction, this, nullptr);
        g_signal_connect(m_notification, "closed", G_CALLBACK(&DesktopNotification::OnClosed), this);
        notify_notification_set_timeout(m_notification, static_cast<int>(seconds * 1000));
        // Desktops show no banner for low urgency, only a mark in their list; whom the user
        // does not want to hear of is never announced at all.
        notify_notification_set_urgency(m_notification, NOTIFY_URGENCY_NORMAL);
    }
    if ( !m_notification || !notify_notification_show(m_notification, &error) )
    {
        // No notification server after all: the announcement comes as the pop-up window.
        wxLogTrace("lumora", "DesktopNotification: the desktop did not show %s (%s), a pop-up does", m_user.GetName(),
                   error ? wxString::FromUTF8(error->message) : wxString("no libnotify"));
        g_clear_error(&error);
        m_closed = true;
        new PopupDialog(m_user, m_kind, nullptr, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                        wxSTAY_ON_TOP | wxDIALOG_NO_PARENT);
        CallAfter([this] { delete this; });
        return;
    }
    m_gone.StartOnce(static_cast<int>(seconds * 1000 + GRACE_MS));
}

void DesktopNotification::OnAction(NotifyNotification*, char*, void* self)
{
    const DesktopNotification* notification = static_cast<DesktopNotification*>(self);
    // The name goes in as it is, as the preview page expects it.
    Util::LaunchBrowser(SiteHosts::MakeUrl(SiteHosts::PREVIEW, "/preview.shtml?" + notification->m_user.GetName()));
}

void DesktopNotification::OnClosed(NotifyNotification*, void* self)
{
    DesktopNotification* notification = static_cast<DesktopNotification*>(self);
    if ( notification->m_closed )
        return;
    notification->m_closed = true;
    // Not from inside the notification's own signal: it goes with us.
    notification->CallAfter([notification] { delete notification; });
}

void DesktopNotification::OnGone(wxTimerEvent&)
{
    delete this;
}
