#include "ui/DesktopNotification.h"

#include "net/DownloadFinishedEvent.h"
#include "shell/SiteHosts.h"
#include "shell/Util.h"
#include "skin/Skin.h"
#include "ui/PopupDialog.h"
#include "ui/Thumbnail.h"

#include <wx/icon.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/notifmsg.h>

#include <algorithm>
#include <climits>

std::set<DesktopNotification*> DesktopNotification::ms_live;

namespace
{
// How much longer than its time a notification may take to say it has gone.
const int GRACE_MS = 5000;
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
    if ( m_message && !m_closed )
        m_message->Close();
    delete m_message;
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
    if ( m_message )
        return;
    if ( !bitmap.IsOk() )
        bitmap = Skin::GetInstance()->GetBitmap("PopupDialog_profileImage");
    const long seconds =
        std::max(1L, std::min(PopupDialog::GetDurationSeconds(), static_cast<long>((INT_MAX - GRACE_MS) / 1000)));

    const wxString text = m_kind == PopupDialog::POPUP_KIND_FREE ? _("is free now") : _("is online");
    m_message = new wxNotificationMessage(m_user.GetName(), text);
    if ( bitmap.IsOk() )
    {
        wxIcon icon;
        icon.CopyFromBitmap(bitmap);
        m_message->SetIcon(icon);
    }
    m_message->AddAction(wxID_OPEN, _("Profile"));
    m_message->Bind(wxEVT_NOTIFICATION_MESSAGE_ACTION, &DesktopNotification::OnAction, this);
    m_message->Bind(wxEVT_NOTIFICATION_MESSAGE_CLICK, &DesktopNotification::OnAction, this);
    m_message->Bind(wxEVT_NOTIFICATION_MESSAGE_DISMISSED, &DesktopNotification::OnDismissed, this);
    if ( !m_message->Show(static_cast<int>(seconds)) )
    {
        // No notification server after all: the announcement comes as the pop-up window.
        wxLogTrace("lumora", "DesktopNotification: the desktop did not show %s, a pop-up does", m_user.GetName());
        m_closed = true;
        new PopupDialog(m_user, m_kind, nullptr, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                        wxSTAY_ON_TOP | wxDIALOG_NO_PARENT);
        CallAfter([this] { delete this; });
        return;
    }
    m_gone.StartOnce(static_cast<int>(seconds * 1000 + GRACE_MS));
}

void DesktopNotification::OnAction(wxCommandEvent&)
{
    // The name goes in as it is, as the preview page expects it.
    Util::LaunchBrowser(SiteHosts::MakeUrl(SiteHosts::PREVIEW, "/preview.shtml?" + m_user.GetName()));
}

void DesktopNotification::OnDismissed(wxCommandEvent&)
{
    m_closed = true;
    // Not from inside the notification's own handling: it goes with us.
    CallAfter([this] { delete this; });
}

void DesktopNotification::OnGone(wxTimerEvent&)
{
    delete this;
}
