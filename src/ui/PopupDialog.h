#pragma once

#include "model/User.h"

#include <wx/bitmap.h>
#include <wx/dialog.h>
#include <wx/image.h>

#include <set>

class DownloadFinishedEvent;
class wxMouseEvent;
class wxPaintEvent;
class wxPanel;
class wxStaticBitmap;
class wxStaticText;
class wxTimer;
class wxTimerEvent;

// The small window that announces one performer. It fetches the performer's thumbnail in the
// background, then shows itself in the lower right corner of the work area above the pop-ups
// already open, and destroys itself when its time is up. It never takes the focus.
// Create it with new and forget it: it deletes itself.
class PopupDialog : public wxDialog
{
public:
    enum
    {
        POPUP_KIND_ONLINE = 1,
        POPUP_KIND_FREE = 2
    };

    PopupDialog(const User& user, int kind, wxWindow* parent, wxWindowID id, const wxString& title,
                const wxPoint& pos, const wxSize& size, long style);
    ~PopupDialog() override;

    // The pop-up must not take the focus from whatever the user is working in.
    bool AcceptsFocus() const override { return false; }
    bool AcceptsFocusFromKeyboard() const override { return false; }

    const User& GetUser() const { return m_user; }
    int GetKind() const { return m_kind; }
    wxStaticBitmap* GetStyleBar() const { return m_styleBar; }
    wxStaticBitmap* GetProfileImage() const { return m_profileImage; }
    wxStaticText* GetNameLabel() const { return m_nameLabel; }
    // Null until the thumbnail download has ended and the pop-up is shown.
    wxTimer* GetDestroyTimer() const { return m_destroyTimer; }

    // How many pop-ups are shown right now.
    static int GetOpenCount() { return ms_openCount; }
    // What a pop-up of kind says has happened to its performer ("is online").
    static wxString GetNews(int kind);
    // How long a pop-up stays, as configured: from a second to a day.
    static long GetDurationSeconds();

private:
    void KeepWholeSize();
    void SetProperties();
    void DoLayout();
    void DescribeToScreenReaders();
    void StartDownload();
    void PlaceAboveOpenPopups();

    void OnDownloadFinished(DownloadFinishedEvent& event);
    void OnDestroyTimer(wxTimerEvent& event);
    void OnLeftDownForControl(wxMouseEvent& event);
    void OnPaintContentPanel(wxPaintEvent& event);

    wxStaticBitmap* m_titleBar = nullptr;
    wxStaticBitmap* m_styleBar = nullptr;
    wxStaticBitmap* m_profileImage = nullptr;
    wxStaticText* m_nameLabel = nullptr;
    wxPanel* m_contentPanel = nullptr;
    wxPanel* m_mainPanel = nullptr;
    User m_user;
    int m_kind;
    wxTimer* m_destroyTimer = nullptr;
    // The content panel's background picture, taken from the skin at the first paint.
    wxBitmap m_contentBitmap;
    // Its place in the corner's stack, from the corner up and then leftwards; only a pop-up
    // that was shown holds one.
    int m_slot = -1;

    static int ms_openCount;
    static std::set<int> ms_takenSlots;

    wxDECLARE_EVENT_TABLE();
};
