#include "ui/PopupDialog.h"

#include "net/DownloadThread.h"
#include "net/HttpClient.h"
#include "shell/SiteHosts.h"
#include "shell/Util.h"
#include "skin/Skin.h"

#include <wx/config.h>
#include <wx/dcclient.h>
#include <wx/display.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/mstream.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/timer.h>
#include <wx/url.h>

#include <algorithm>
#include <climits>
#include <cstring>

#ifdef __WXMSW__
#include <wx/msw/wrapwin.h>
#endif
#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

int PopupDialog::ms_openCount = 0;

namespace
{
const int TIMEOUT_SECONDS = 10;
const long DEFAULT_DURATION_SECONDS = 8;
const wxSize THUMBNAIL_SIZE(107, 82);
// What one GIF may make the decoder allocate at worst: about what a picture of the largest
// accepted size takes.
const unsigned long long MAX_GIF_BYTES = 64ull * 1024 * 1024;
// The decoder's own bookkeeping for each frame of a GIF, besides its pixels.
const unsigned long long GIF_FRAME_OVERHEAD = 1024;

unsigned int BigEndian16(const unsigned char* p)
{
    return (static_cast<unsigned int>(p[0]) << 8) | p[1];
}

long long BigEndian32(const unsigned char* p)
{
    return (static_cast<long long>(p[0]) << 24) | (static_cast<long long>(p[1]) << 16)
           | (static_cast<long long>(p[2]) << 8) | p[3];
}

unsigned int LittleEndian16(const unsigned char* p)
{
    return p[0] | (static_cast<unsigned int>(p[1]) << 8);
}

long long LittleEndian32Signed(const unsigned char* p)
{
    const unsigned long long value = p[0] | (static_cast<unsigned long long>(p[1]) << 8)
                                     | (static_cast<unsigned long long>(p[2]) << 16)
                                     | (static_cast<unsigned long long>(p[3]) << 24);
    return value >= 0x80000000ull ? static_cast<long long>(value) - 0x100000000ll
                                  : static_cast<long long>(value);
}

bool SideFits(long long side)
{
    return side > 0 && side <= PopupDialog::MAX_IMAGE_SIDE;
}

// Walks the markers the way the JPEG library does (skipping stray bytes and fill bytes up to the
// next marker, and every segment by its length), so that both meet the same frame header.
bool JpegFits(const unsigned char* data, size_t size)
{
    if ( size < 4 || data[0] != 0xFF || data[1] != 0xD8 )
        return false;
    size_t at = 2;
    for ( ;; )
    {
        while ( at < size && data[at] != 0xFF )
            ++at;
        while ( at < size && data[at] == 0xFF )
            ++at;
        if ( at >= size )
            return false;
        const unsigned char marker = data[at++];
        if ( marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7) )
            continue;
        // A second start, the end, or image data before any frame header.
        if ( marker == 0xD8 || marker == 0xD9 || marker == 0xDA )
            return false;
        if ( at + 2 > size )
            return false;
        const size_t length = BigEndian16(data + at);
        if ( length < 2 )
            return false;
        const bool frameHeader = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4
                                 && marker != 0xC8 && marker != 0xCC;
        if ( frameHeader )
        {
            // length, precision, height, width
            if ( at + 7 > size )
                return false;
            return SideFits(BigEndian16(data + at + 3)) && SideFits(BigEndian16(data + at + 5));
        }
        at += length;
    }
}

bool PngFits(const unsigned char* data, size_t size)
{
    static const unsigned char SIGNATURE[8] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };
    if ( size < 24 || std::memcmp(data, SIGNATURE, sizeof SIGNATURE) != 0
         || std::memcmp(data + 12, "IHDR", 4) != 0 )
        return false;
    return SideFits(BigEndian32(data + 16)) && SideFits(BigEndian32(data + 20));
}

// The toolkit's GIF decoder reads every frame, each up to the screen size of the header, and may
// take any 0x2C byte for the start of one. So the worst case is bounded without following the
// compressed data: every such byte a frame of the whole screen.
bool GifFits(const unsigned char* data, size_t size)
{
    if ( size < 13 || std::memcmp(data, "GIF", 3) != 0 )
        return false;
    const unsigned int width = LittleEndian16(data + 6);
    const unsigned int height = LittleEndian16(data + 8);
    if ( !SideFits(width) || !SideFits(height) )
        return false;
    const unsigned long long frames = std::count(data + 13, data + size, 0x2C);
    return frames * (static_cast<unsigned long long>(width) * height + GIF_FRAME_OVERHEAD)
           <= MAX_GIF_BYTES;
}

bool BmpFits(const unsigned char* data, size_t size)
{
    if ( size < 26 || data[0] != 'B' || data[1] != 'M' )
        return false;
    const long long headerSize = LittleEndian32Signed(data + 14);
    if ( headerSize == 12 )
        return SideFits(LittleEndian16(data + 18)) && SideFits(LittleEndian16(data + 20));
    if ( headerSize < 40 )
        return false;
    const long long width = LittleEndian32Signed(data + 18);
    const long long height = LittleEndian32Signed(data + 22);
    // A negative height means rows stored top down.
    return SideFits(width) && SideFits(height < 0 ? -height : height);
}

// The format of data when it is one we can size up before decoding and its size is acceptable.
wxBitmapType AcceptedType(const void* data, size_t size)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    if ( JpegFits(bytes, size) )
        return wxBITMAP_TYPE_JPEG;
    if ( PngFits(bytes, size) )
        return wxBITMAP_TYPE_PNG;
    if ( GifFits(bytes, size) )
        return wxBITMAP_TYPE_GIF;
    if ( BmpFits(bytes, size) )
        return wxBITMAP_TYPE_BMP;
    return wxBITMAP_TYPE_INVALID;
}
}

wxBEGIN_EVENT_TABLE(PopupDialog, wxDialog)
    EVT_DOWNLOAD_FINISHED(PopupDialog::OnDownloadFinished)
    EVT_TIMER(wxID_ANY, PopupDialog::OnDestroyTimer)
wxEND_EVENT_TABLE()

PopupDialog::PopupDialog(const User& user, int kind, wxWindow* parent, wxWindowID id,
                         const wxString& title, const wxPoint& pos, const wxSize& size, long style)
    : wxDialog(parent, id, title, pos, size, style)
    , m_user(user)
    , m_kind(kind)
{
    Skin* skin = Skin::GetInstance();
    m_mainPanel = new wxPanel(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                              wxBORDER_STATIC | wxTAB_TRAVERSAL);
    m_contentPanel = new wxPanel(m_mainPanel, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                 wxBORDER_NONE | wxTAB_TRAVERSAL);
    m_titleBar = new wxStaticBitmap(m_mainPanel, wxID_ANY, skin->GetBitmap("PopupDialog_titleBar"));
    m_styleBar = new wxStaticBitmap(m_mainPanel, wxID_ANY, skin->GetBitmap("PopupDialog_styleBar_ONLINE"),
                                    wxDefaultPosition, wxDefaultSize, wxBORDER_STATIC);
    m_profileImage = new wxStaticBitmap(m_contentPanel, wxID_ANY,
                                        skin->GetBitmap("PopupDialog_profileImage"));
    m_nameLabel = new wxStaticText(m_contentPanel, wxID_ANY, _("New Face"), wxDefaultPosition,
                                   wxDefaultSize, wxALIGN_CENTRE | wxST_NO_AUTORESIZE);

    SetProperties();
    DoLayout();

    m_profileImage->SetCursor(wxCursor(wxCURSOR_HAND));
    m_profileImage->Bind(wxEVT_LEFT_DOWN, &PopupDialog::OnLeftDownForControl, this);

    m_titleBar->SetBitmap(skin->GetBitmap("PopupDialog_titleBar"));
    if ( kind == POPUP_KIND_FREE )
        m_styleBar->SetBitmap(skin->GetBitmap("PopupDialog_styleBar_FREE"));
    else if ( kind == POPUP_KIND_ONLINE )
        m_styleBar->SetBitmap(skin->GetBitmap("PopupDialog_styleBar_ONLINE"));

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
#endif

    m_contentPanel->Bind(wxEVT_PAINT, &PopupDialog::OnPaintContentPanel, this);

    StartDownload();
}

PopupDialog::~PopupDialog()
{
    // Released here rather than in its own handler, which the toolkit does not allow everywhere.
    delete m_destroyTimer;
    if ( m_counted )
        --ms_openCount;
}

void PopupDialog::SetProperties()
{
    SetTitle(_("Popup"));
    SetSize(wxSize(150, 150));
    // Fixed sizes: the sizers take them as they are, whatever the pictures hold.
    m_titleBar->SetMinSize(wxSize(144, 18));
    m_titleBar->SetSize(wxSize(144, 18));
    m_styleBar->SetMinSize(wxSize(144, 12));
    m_styleBar->SetSize(wxSize(144, 12));
    m_profileImage->SetMinSize(THUMBNAIL_SIZE);
    m_profileImage->SetSize(THUMBNAIL_SIZE);
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

    mainSizer->Add(m_titleBar, 0, 0, 0);
    mainSizer->Add(m_styleBar, 0, 0, 0);
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
    const wxString imageUrl =
        SiteHosts::MakeUrl(SiteHosts::IMAGE, "/WebArchive/" + m_user.GetName() + "/thumbs/LinkedImage.jpg");
    HttpClient* http = new HttpClient;
    // The picture comes from the image host but is asked for in the name of the main host.
    http->SetHostHeader(SiteHosts::GetHost(SiteHosts::MAIN));
    http->SetTimeout(TIMEOUT_SECONDS);
    DownloadThread* thread =
        new DownloadThread(this, wxID_ANY, new wxURL(imageUrl), http, 0, wxTHREAD_DETACHED);
    if ( thread->Run() != wxTHREAD_NO_ERROR )
    {
        wxLogTrace("lumora", "PopupDialog: the thumbnail download of %s did not start",
                   m_user.GetName());
        delete thread;
        // Without its download nothing would ever show or end this pop-up.
        Destroy();
    }
}

wxImage PopupDialog::DecodeThumbnail(const void* data, size_t size)
{
    const wxBitmapType type = AcceptedType(data, size);
    if ( type == wxBITMAP_TYPE_INVALID )
        return wxImage();
    // The skin brings only the handlers of its own formats.
    Skin::EnsureImageHandler(type);

    // A damaged picture gets the placeholder, not a message.
    wxLogNull quiet;
    wxMemoryInputStream stream(data, size);
    wxImage image;
    if ( !image.LoadFile(stream, type, -1) )
        return wxImage();
    return image;
}

void PopupDialog::OnDownloadFinished(DownloadFinishedEvent& event)
{
    void* buffer = event.GetClientData();
    event.SetClientData(nullptr);
    wxBitmap bitmap;
    if ( buffer )
    {
        const wxImage image = DecodeThumbnail(buffer, static_cast<size_t>(event.GetInt()));
        ::operator delete(buffer);
        if ( image.IsOk() )
            bitmap = wxBitmap(image.Scale(THUMBNAIL_SIZE.x, THUMBNAIL_SIZE.y), -1);
    }
    // One download per pop-up: anything else comes too late.
    if ( m_destroyTimer )
        return;
    if ( !bitmap.IsOk() )
        bitmap = Skin::GetInstance()->GetBitmap("PopupDialog_profileImage");
    m_profileImage->SetBitmap(bitmap);

    long seconds = DEFAULT_DURATION_SECONDS;
    Skin::GetConfig()->Read("/PopupDialog/duration", &seconds, DEFAULT_DURATION_SECONDS);
    if ( seconds < 0 )
        seconds = DEFAULT_DURATION_SECONDS;
    const long milliseconds = std::max(1L, std::min(seconds, static_cast<long>(INT_MAX / 1000)) * 1000);
    m_destroyTimer = new wxTimer(this, wxID_ANY);
    m_destroyTimer->Start(static_cast<int>(milliseconds), wxTIMER_ONE_SHOT);

    PlaceAboveOpenPopups();
    ShowWithoutActivating();
}

void PopupDialog::PlaceAboveOpenPopups()
{
    int areaX = 0;
    int areaY = 0;
    int areaWidth = 0;
    int areaHeight = 0;
    wxClientDisplayRect(&areaX, &areaY, &areaWidth, &areaHeight);
    const wxSize size = GetSize();
    const int slot = ms_openCount++;
    m_counted = true;

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
    if ( !m_contentBitmap.IsOk() )
        m_contentBitmap = Skin::GetInstance()->GetBitmap("PopupDialog_contentPanel");
    // Without the picture the panel's own colour is the background.
    if ( m_contentBitmap.IsOk() )
        dc.DrawBitmap(m_contentBitmap, 0, 0, true);
}
