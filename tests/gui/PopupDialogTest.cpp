#include "ExpectDialog.h"
#include "RecordingBrowser.h"
#include "ScopedSkin.h"
#include "TopWindows.h"
#include "common/TempConfig.h"
#include "common/TestSupport.h"
#include "core/PictureBytes.h"

#include "model/User.h"
#include "net/DownloadFinishedEvent.h"
#include "net/DownloadThread.h"
#include "net/PictureFetcher.h"
#include "net/PictureHeader.h"
#include "sitesim/SimulatedSite.h"
#include "skin/Skin.h"
#include "ui/PopupDialog.h"
#include "ui/Thumbnail.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/display.h>
#include <wx/fileconf.h>
#include <wx/frame.h>
#include <wx/mstream.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/stopwatch.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/uiaction.h>
#include <wx/utils.h>
#include <wx/weakref.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using PictureBytes::Gif;

namespace
{
const char* const MAIN_HOST = "main.example:8123";
const char* const PREVIEW_HOST = "preview.example:8124";

std::string ThumbnailPath(const std::string& name)
{
    return "/WebArchive/" + name + "/thumbs/LinkedImage.jpg";
}

std::string Encode(const wxImage& image, wxBitmapType type)
{
    wxMemoryOutputStream out;
    EXPECT_TRUE(image.SaveFile(out, type));
    std::string bytes(out.GetLength(), '\0');
    out.CopyTo(&bytes[0], bytes.size());
    return bytes;
}

wxImage Gradient(int width, int height)
{
    wxImage image(width, height);
    for ( int y = 0; y < height; ++y )
        for ( int x = 0; x < width; ++x )
            image.SetRGB(x, y, static_cast<unsigned char>(x * 255 / width),
                         static_cast<unsigned char>(y * 255 / height), 40);
    return image;
}

wxImage Decode(const std::string& bytes)
{
    return Thumbnail::Decode(bytes.data(), bytes.size());
}

wxImage ImageOf(const wxBitmap& bitmap)
{
    return bitmap.IsOk() ? bitmap.ConvertToImage() : wxImage();
}

bool SamePixels(const wxImage& a, const wxImage& b)
{
    return a.IsOk() && b.IsOk() && a.GetSize() == b.GetSize()
           && memcmp(a.GetData(), b.GetData(), static_cast<size_t>(a.GetWidth()) * a.GetHeight() * 3) == 0;
}

// Every pop-up window that still exists, including those about to be deleted.
std::vector<PopupDialog*> AllPopups()
{
    return TopWindows<PopupDialog>();
}

class PopupDialogTest : public ConfiguredTest
{
protected:
    void SetUp() override
    {
        ConfiguredTest::SetUp();
        m_skin.reset(new ScopedSkin);
        ASSERT_TRUE(m_site.Start(0));
        Config().Write("/Site/imagehost", wxString(m_site.GetHostPort()));
        Config().Write("/Site/mainhost", MAIN_HOST);
        Config().Write("/Site/previewhost", PREVIEW_HOST);
        Config().Write("/PopupDialog/duration", 60);
        m_area = wxGetClientDisplayRect();
    }

    void TearDown() override
    {
        EXPECT_TRUE(TestSupport::WaitIdle([] {
            for ( PopupDialog* popup : AllPopups() )
            {
                if ( !wxTheApp->IsScheduledForDestruction(popup) )
                    popup->Destroy();
            }
            return AllPopups().empty();
        }));
        EXPECT_EQ(0, PopupDialog::GetOpenCount());
        m_site.Stop();
        // No download may outlive the test, and nothing may be left for a pop-up that is gone.
        DownloadThread::WaitForAll();
        m_skin.reset();
        ConfiguredTest::TearDown();
    }

    static PopupDialog* Open(const wxString& name, int kind = PopupDialog::POPUP_KIND_ONLINE)
    {
        return new PopupDialog(User(name, STATUS_ONLINE | STATUS_FREE), kind, nullptr, wxID_ANY,
                               wxEmptyString, wxDefaultPosition, wxDefaultSize,
                               wxSTAY_ON_TOP | wxDIALOG_NO_PARENT);
    }

    static bool WaitShown(PopupDialog* popup)
    {
        wxWeakRef<PopupDialog> ref(popup);
        return TestSupport::WaitIdle([&] { return ref && ref->IsShown(); });
    }

    PopupDialog* OpenShown(const wxString& name, int kind = PopupDialog::POPUP_KIND_ONLINE)
    {
        PopupDialog* popup = Open(name, kind);
        EXPECT_TRUE(WaitShown(popup)) << name;
        return popup;
    }

    static wxImage Placeholder()
    {
        return ImageOf(Skin::GetInstance()->GetBitmap("PopupDialog_profileImage"));
    }

    static wxImage Shown(PopupDialog* popup) { return ImageOf(popup->GetProfileImage()->GetBitmap()); }

    // What the download thread hands over: a buffer of operator new that the pop-up frees.
    static void Deliver(PopupDialog* popup, const std::string& body)
    {
        void* buffer = ::operator new(body.size());
        memcpy(buffer, body.data(), body.size());
        DownloadFinishedEvent finished(wxEVT_DOWNLOAD_FINISHED, wxID_ANY);
        finished.SetClientData(buffer);
        finished.SetInt(static_cast<int>(body.size()));
        popup->GetEventHandler()->ProcessEvent(finished);
    }

    // Pop-ups are not modal: no dialog belongs here.
    NoDialogExpected m_noDialog;
    sitesim::SimulatedSite m_site;
    std::unique_ptr<ScopedSkin> m_skin;
    wxRect m_area;
};
}

// Which sizes are accepted is the header check's; these are what only decoding shows.
TEST(PopupDialogThumbnail, DecodesEachFormatItAccepts)
{
    const int LIMIT = PictureHeader::MAX_SIDE;
    AddAllHandlers();
    const std::string jpeg = Encode(Gradient(LIMIT, 8), wxBITMAP_TYPE_JPEG);
    const std::string png = Encode(Gradient(8, LIMIT), wxBITMAP_TYPE_PNG);
    const std::string bmp = Encode(Gradient(LIMIT, 2), wxBITMAP_TYPE_BMP);

    // A process whose skin brought no handler for these formats still decodes them.
    wxImage::CleanUpHandlers();
    EXPECT_EQ(wxSize(LIMIT, 8), Decode(jpeg).GetSize());
    EXPECT_EQ(wxSize(8, LIMIT), Decode(png).GetSize());
    EXPECT_EQ(wxSize(LIMIT, 2), Decode(bmp).GetSize());
    EXPECT_EQ(wxSize(LIMIT, 8), Decode(Gif(LIMIT, 8, 1, LIMIT, 8)).GetSize());
    // A GIF of one 1000 x 1000 frame, well within what a GIF may take.
    EXPECT_EQ(wxSize(1000, 1000), Decode(Gif(1000, 1000, 1, 1000, 1000)).GetSize());
    AddAllHandlers();
}

TEST(PopupDialogThumbnail, RefusesACutPictureQuietly)
{
    AddAllHandlers();
    // Its header is whole, the rest is missing.
    EXPECT_FALSE(Decode(Encode(Gradient(8, 8), wxBITMAP_TYPE_PNG).substr(0, 30)).IsOk());
}

TEST_F(PopupDialogTest, BuildsItsWindowsAndShowsTheThumbnailAt107x82)
{
    PopupDialog* popup = Open("Anna");
    EXPECT_FALSE(popup->IsShown());
    EXPECT_EQ(nullptr, popup->GetDestroyTimer());
    EXPECT_EQ(wxSize(150, 150), popup->GetSize());
    EXPECT_EQ("Popup", popup->GetTitle());
    EXPECT_EQ("Anna", popup->GetNameLabel()->GetLabel());
    // As high as set, as wide as the panel it stands in.
    EXPECT_EQ(18, popup->GetNameLabel()->GetSize().y);
    EXPECT_EQ(popup->GetNameLabel()->GetParent()->GetClientSize().x, popup->GetNameLabel()->GetSize().x);
    EXPECT_EQ(wxColour(90, 146, 239), popup->GetNameLabel()->GetBackgroundColour());
    EXPECT_EQ(wxColour(255, 255, 255), popup->GetNameLabel()->GetForegroundColour());
    EXPECT_EQ(10, popup->GetNameLabel()->GetFont().GetPointSize());
    EXPECT_EQ(wxSize(107, 82), popup->GetProfileImage()->GetSize());
    EXPECT_EQ(wxSize(150, 12), popup->GetStyleBar()->GetSize());
    EXPECT_TRUE(SamePixels(ImageOf(Skin::GetInstance()->GetBitmap("PopupDialog_styleBar_ONLINE")),
                           ImageOf(popup->GetStyleBar()->GetBitmap())));

    ASSERT_TRUE(WaitShown(popup));
    // The simulated site's thumbnails are 120 x 90.
    const wxImage shown = Shown(popup);
    EXPECT_EQ(wxSize(107, 82), shown.GetSize());
    EXPECT_FALSE(SamePixels(Placeholder(), shown));
    ASSERT_NE(nullptr, popup->GetDestroyTimer());
    EXPECT_TRUE(popup->GetDestroyTimer()->IsOneShot());
    EXPECT_EQ(60000, popup->GetDestroyTimer()->GetInterval());

    // Asked of the image host in the name of the main host.
    const std::vector<sitesim::Request> requests = m_site.GetRequests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ(ThumbnailPath("Anna"), requests[0].path);
    EXPECT_EQ(MAIN_HOST, requests[0].Header("Host"));

    // Free performers get the other style bar.
    PopupDialog* free = Open("Bella", PopupDialog::POPUP_KIND_FREE);
    EXPECT_TRUE(SamePixels(ImageOf(Skin::GetInstance()->GetBitmap("PopupDialog_styleBar_FREE")),
                           ImageOf(free->GetStyleBar()->GetBitmap())));
    ASSERT_TRUE(WaitShown(free));
}

TEST_F(PopupDialogTest, ShowsThumbnailsOfAnySizeAt107x82)
{
    // Pictures the simulated site does not make are handed over as its download would.
    sitesim::SimulatedSite stalled;
    ASSERT_TRUE(stalled.Start(0));
    stalled.SetFault(ThumbnailPath("Any"), sitesim::Fault::Delay(60000));
    Config().Write("/Site/imagehost", wxString(stalled.GetHostPort()));
    AddAllHandlers();
    const struct
    {
        wxSize size;
        wxBitmapType type;
    } cases[] = {
        { wxSize(3, 2), wxBITMAP_TYPE_PNG },
        { wxSize(640, 40), wxBITMAP_TYPE_JPEG },
        { wxSize(30, 900), wxBITMAP_TYPE_BMP },
        { wxSize(4096, 8), wxBITMAP_TYPE_JPEG },
    };
    for ( const auto& each : cases )
    {
        PopupDialog* popup = Open("Any");
        Deliver(popup, Encode(Gradient(each.size.x, each.size.y), each.type));
        EXPECT_TRUE(popup->IsShown());
        const wxImage shown = Shown(popup);
        EXPECT_EQ(wxSize(107, 82), shown.GetSize()) << each.size.x << "x" << each.size.y;
        EXPECT_FALSE(SamePixels(Placeholder(), shown)) << each.size.x << "x" << each.size.y;
        popup->Destroy();
    }

    // Only the first hand-over counts.
    PopupDialog* once = Open("Any");
    Deliver(once, Encode(Gradient(8, 8), wxBITMAP_TYPE_PNG));
    const wxImage first = Shown(once);
    ASSERT_TRUE(TestSupport::WaitIdle([] { return PopupDialog::GetOpenCount() == 1; }));
    Deliver(once, "");
    EXPECT_TRUE(SamePixels(first, Shown(once)));
    EXPECT_EQ(1, PopupDialog::GetOpenCount());
    stalled.Stop();
}

TEST_F(PopupDialogTest, ShowsThePlaceholderForFailedUndecodableAndOversizedThumbnails)
{
    ASSERT_TRUE(Placeholder().IsOk());
    ASSERT_EQ(wxSize(107, 82), Placeholder().GetSize());
    m_site.SetFault(ThumbnailPath("Missing"), sitesim::Fault::HttpError(404));
    m_site.SetFault(ThumbnailPath("Broken"), sitesim::Fault::HttpError(503));
    m_site.SetFault(ThumbnailPath("Garbage"), sitesim::Fault::Of(sitesim::Fault::GARBAGE));
    m_site.SetFault(ThumbnailPath("Cut"), sitesim::Fault::Truncate(40));
    m_site.SetFault(ThumbnailPath("Closed"), sitesim::Fault::Of(sitesim::Fault::CLOSE));
    for ( const char* name : { "Missing", "Broken", "Garbage", "Cut", "Closed" } )
    {
        PopupDialog* popup = OpenShown(name);
        EXPECT_TRUE(SamePixels(Placeholder(), Shown(popup))) << name;
        popup->Destroy();
    }

    // Pictures that would decode, but are too large.
    sitesim::SimulatedSite stalled;
    ASSERT_TRUE(stalled.Start(0));
    stalled.SetFault(ThumbnailPath("Large"), sitesim::Fault::Delay(60000));
    Config().Write("/Site/imagehost", wxString(stalled.GetHostPort()));
    AddAllHandlers();
    const std::string large[] = { Encode(Gradient(4097, 8), wxBITMAP_TYPE_JPEG),
                                  Encode(Gradient(8, 4097), wxBITMAP_TYPE_PNG),
                                  Gif(1000, 1000, 100, 1000, 1000) };
    for ( const std::string& picture : large )
    {
        PopupDialog* popup = Open("Large");
        Deliver(popup, picture);
        EXPECT_TRUE(SamePixels(Placeholder(), Shown(popup)));
        popup->Destroy();
    }
    stalled.Stop();

    // Nobody answering at all.
    Config().Write("/Site/imagehost", wxString::Format("127.0.0.1:%d", sitesim::SimulatedSite::UnusedPort()));
    PopupDialog* unreachable = OpenShown("Nobody");
    EXPECT_TRUE(SamePixels(Placeholder(), Shown(unreachable)));
}

TEST_F(PopupDialogTest, StacksAtTheBottomRightOfTheWorkArea)
{
    const int right = m_area.GetRight() + 1;
    const int bottom = m_area.GetBottom() + 1;
    const int h = 150;
    const int w = 150;
    PopupDialog* first = OpenShown("One");
    PopupDialog* second = OpenShown("Two");
    PopupDialog* third = OpenShown("Three");
    EXPECT_EQ(3, PopupDialog::GetOpenCount());
    EXPECT_EQ(wxPoint(right - w, bottom - h), first->GetPosition());
    EXPECT_EQ(wxPoint(right - w, bottom - 2 * h), second->GetPosition());
    EXPECT_EQ(wxPoint(right - w, bottom - 3 * h), third->GetPosition());
    EXPECT_EQ(wxSize(w, h), third->GetSize());

    // The lowest closes: the next one takes its place, not the third one, which is still held.
    first->Destroy();
    ASSERT_TRUE(TestSupport::WaitIdle([] { return PopupDialog::GetOpenCount() == 2; }));
    PopupDialog* fourth = OpenShown("Four");
    EXPECT_EQ(wxPoint(right - w, bottom - h), fourth->GetPosition());

    // A stack taller than the work area goes on in the next column to the left.
    const int rows = m_area.height / h;
    std::vector<PopupDialog*> more;
    for ( int i = PopupDialog::GetOpenCount(); i <= rows; ++i )
        more.push_back(OpenShown(wxString::Format("More%d", i)));
    EXPECT_EQ(rows + 1, PopupDialog::GetOpenCount());
    EXPECT_EQ(wxPoint(right - 2 * w, bottom - h), more.back()->GetPosition());
    for ( PopupDialog* popup : AllPopups() )
        EXPECT_TRUE(m_area.Contains(popup->GetRect())) << popup->GetUser().GetName();
}

TEST_F(PopupDialogTest, ClosesTheConfiguredTimeAfterItAppears)
{
    Config().Write("/PopupDialog/duration", 3);
    // The download takes a while; the time on screen counts from the moment it appears.
    m_site.SetFault(ThumbnailPath("Slow"), sitesim::Fault::Delay(1500));
    wxStopWatch sinceCreated;
    wxWeakRef<PopupDialog> popup(Open("Slow"));
    ASSERT_TRUE(WaitShown(popup.get()));
    EXPECT_GE(sinceCreated.Time(), 1400);
    EXPECT_EQ(1, PopupDialog::GetOpenCount());
    EXPECT_EQ(3000, popup->GetDestroyTimer()->GetInterval());

    wxStopWatch onScreen;
    ASSERT_TRUE(TestSupport::WaitIdle([&] { return !popup; }, 8000));
    EXPECT_GE(onScreen.Time(), 2900);
    EXPECT_LE(onScreen.Time(), 4500);
    EXPECT_EQ(0, PopupDialog::GetOpenCount());
    EXPECT_TRUE(AllPopups().empty());
}

TEST_F(PopupDialogTest, ClickOnPictureOrNameOpensThePreviewAndLeavesItOpen)
{
    RecordingBrowser browser;
    PopupDialog* popup = OpenShown("Anna_01");
    auto click = [](wxWindow* control) {
        wxMouseEvent down(wxEVT_LEFT_DOWN);
        down.SetEventObject(control);
        control->GetEventHandler()->ProcessEvent(down);
    };

    click(popup->GetProfileImage());
    ASSERT_TRUE(TestSupport::WaitIdle([&] { return browser.Opened().size() == 1; }));
    EXPECT_EQ("http://preview.example:8124/preview.shtml?Anna_01", browser.Opened()[0]);

    click(popup->GetNameLabel());
    ASSERT_TRUE(TestSupport::WaitIdle([&] { return browser.Opened().size() == 2; }));
    EXPECT_EQ("http://preview.example:8124/preview.shtml?Anna_01", browser.Opened()[1]);
    EXPECT_TRUE(popup->IsShown());
    EXPECT_EQ(1u, AllPopups().size());

    // The bars are not links.
    click(popup->GetStyleBar());
    TestSupport::WaitIdle([] { return false; }, 300);
    EXPECT_EQ(2u, browser.Opened().size());
    EXPECT_TRUE(popup->IsShown());
}

TEST_F(PopupDialogTest, NeverTakesTheFocus)
{
    wxFrame* frame = new wxFrame(nullptr, wxID_ANY, "Working");
    wxTextCtrl* text = new wxTextCtrl(frame, wxID_ANY);
    frame->SetSize(wxRect(20, 20, 300, 200));
    frame->Show();
#ifdef __WXGTK__
    // Without a window manager only a window already on the screen can be given the focus.
    ASSERT_TRUE(TestSupport::WaitIdle([&] { return gtk_widget_get_mapped(frame->GetHandle()); }, 5000));
#endif
    frame->Raise();
    text->SetFocus();
    ASSERT_TRUE(TestSupport::WaitIdle([&] { return wxWindow::FindFocus() == text; }, 5000));

#ifdef __WXGTK__
    // The keyboard focus as the display server reports it to each window.
    GtkWindow* workingWindow = GTK_WINDOW(frame->GetHandle());
    ASSERT_TRUE(TestSupport::WaitIdle([&] { return gtk_window_has_toplevel_focus(workingWindow); }, 5000));
#endif

    PopupDialog* popup = Open("Anna");
#ifdef __WXGTK__
    // What a window manager goes by: never give it the focus, not even when it appears.
    GtkWindow* window = GTK_WINDOW(popup->GetHandle());
    EXPECT_FALSE(gtk_window_get_accept_focus(window));
    EXPECT_FALSE(gtk_window_get_focus_on_map(window));
    EXPECT_TRUE(gtk_window_get_skip_taskbar_hint(window));
    EXPECT_EQ(GDK_WINDOW_TYPE_HINT_NOTIFICATION, gtk_window_get_type_hint(window));
#endif
    ASSERT_TRUE(WaitShown(popup));
    PopupDialog* second = OpenShown("Bella");
    TestSupport::WaitIdle([] { return false; }, 500);
    EXPECT_EQ(text, wxWindow::FindFocus());
    EXPECT_TRUE(frame->IsActive());
    EXPECT_FALSE(popup->IsActive());
    EXPECT_FALSE(second->IsActive());
#ifdef __WXGTK__
    EXPECT_TRUE(gtk_window_has_toplevel_focus(workingWindow));
    EXPECT_FALSE(gtk_window_has_toplevel_focus(window));
    EXPECT_FALSE(gtk_window_get_accept_focus(window));
#endif

    // A click on the picture leaves the focus where it was.
    RecordingBrowser browser;
    wxUIActionSimulator mouse;
    mouse.MouseMove(second->GetProfileImage()->GetScreenRect().GetPosition() + wxPoint(50, 40));
    mouse.MouseClick();
    EXPECT_TRUE(TestSupport::WaitIdle([&] { return browser.Opened().size() == 1; }, 2000));
    EXPECT_EQ(text, wxWindow::FindFocus());
    EXPECT_TRUE(frame->IsActive());
    EXPECT_FALSE(second->IsActive());
#ifdef __WXGTK__
    EXPECT_TRUE(gtk_window_has_toplevel_focus(workingWindow));
#endif
    frame->Destroy();
}

TEST_F(PopupDialogTest, WorksWithoutASkin)
{
    const wxString dir = TestSupport::MakeTempDir();
    {
        ScopedSkin none(dir + "/Nowhere");
        ASSERT_FALSE(Skin::GetInstance()->GetBitmap("PopupDialog_titleBar").IsOk());
        m_site.SetFault(ThumbnailPath("Faceless"), sitesim::Fault::HttpError(404));
        PopupDialog* withPicture = OpenShown("Anna");
        PopupDialog* without = OpenShown("Faceless");
        withPicture->Refresh();
        without->Refresh();
        withPicture->Update();
        without->Update();
        TestSupport::WaitIdle([] { return false; }, 200);
        EXPECT_EQ(wxSize(107, 82), Shown(withPicture).GetSize());
        EXPECT_FALSE(without->GetProfileImage()->GetBitmap().IsOk());
        EXPECT_EQ(wxSize(150, 150), without->GetSize());
        for ( PopupDialog* popup : AllPopups() )
            popup->Destroy();
        EXPECT_TRUE(TestSupport::WaitIdle([] { return AllPopups().empty(); }));
    }
    TestSupport::RemoveDir(dir);
}

TEST_F(PopupDialogTest, DestroyedWhileItsThumbnailIsStillOnTheWay)
{
    // One server answers late, the other never: either way the pop-ups wait, hidden.
    sitesim::SimulatedSite stalled;
    ASSERT_TRUE(stalled.Start(0));
    stalled.SetFault(ThumbnailPath("Stalled"), sitesim::Fault::Delay(60000));
    m_site.SetFault(ThumbnailPath("Late"), sitesim::Fault::Delay(1000));
    std::vector<wxWeakRef<PopupDialog>> waiting;
    for ( int i = 0; i < 10; ++i )
        waiting.emplace_back(Open("Late"));
    Config().Write("/Site/imagehost", wxString(stalled.GetHostPort()));
    for ( int i = 0; i < 10; ++i )
        waiting.emplace_back(Open("Stalled"));
    ASSERT_TRUE(m_site.WaitForRequests(ThumbnailPath("Late"), 10, 5000));
    // The stalled server holds all its turns; the rest wait for one.
    ASSERT_TRUE(stalled.WaitForRequests(ThumbnailPath("Stalled"), PictureFetcher::MAX_CONNECTIONS, 5000));
    for ( auto& popup : waiting )
        EXPECT_FALSE(popup->IsShown());

    for ( auto& popup : waiting )
        popup->Destroy();
    ASSERT_TRUE(TestSupport::WaitIdle([] { return AllPopups().empty(); }));
    // Never shown, never counted.
    EXPECT_EQ(0, PopupDialog::GetOpenCount());

    // The late thumbnails arrive with nobody left to take them; the stalled ones are ended by
    // the stop, at once rather than after their time-out. Nothing may leak or be touched after
    // its end.
    TestSupport::WaitIdle([] { return false; }, 1500);
    wxStopWatch stopping;
    DownloadThread::WaitForAll();
    EXPECT_LT(stopping.Time(), 5000) << "the time-out is 10 s";
    stalled.Stop();
    TestSupport::WaitIdle([] { return false; }, 200);
    EXPECT_TRUE(AllPopups().empty());
    EXPECT_EQ(0, PopupDialog::GetOpenCount());

    // The next pop-up still takes the lowest place.
    Config().Write("/Site/imagehost", wxString(m_site.GetHostPort()));
    PopupDialog* next = OpenShown("Next");
    EXPECT_EQ(m_area.GetBottom() + 1 - 150, next->GetPosition().y);
}
