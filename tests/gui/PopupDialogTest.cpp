#include "common/TempConfig.h"
#include "common/TestSupport.h"
#include "gui/DialogRecorder.h"

#include "model/User.h"
#include "net/DownloadFinishedEvent.h"
#include "net/DownloadThread.h"
#include "sitesim/SimulatedSite.h"
#include "skin/Skin.h"
#include "ui/PopupDialog.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/display.h>
#include <wx/ffile.h>
#include <wx/filefn.h>
#include <wx/fileconf.h>
#include <wx/filesys.h>
#include <wx/frame.h>
#include <wx/mimetype.h>
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

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

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

// A two-colour GIF whose header and frames declare the given sizes; each frame is a clear code,
// one pixel and the end code, which the decoder takes as a whole (if mostly blank) frame.
std::string Gif(int screenWidth, int screenHeight, int frames, int frameWidth, int frameHeight)
{
    auto put16 = [](std::string& out, int value) {
        out += static_cast<char>(value & 0xFF);
        out += static_cast<char>((value >> 8) & 0xFF);
    };
    std::string gif = "GIF89a";
    put16(gif, screenWidth);
    put16(gif, screenHeight);
    gif += std::string("\x80\x00\x00", 3);
    gif += std::string("\x00\x00\x00\xFF\xFF\xFF", 6);
    for ( int i = 0; i < frames; ++i )
    {
        gif += '\x2C';
        put16(gif, 0);
        put16(gif, 0);
        put16(gif, frameWidth);
        put16(gif, frameHeight);
        gif += '\x00';
        gif += std::string("\x02\x02\x44\x01\x00", 5);
    }
    gif += '\x3B';
    return gif;
}

// Every handler the toolkit has, as a process starts with them (the BMP one comes by default).
void AddAllImageHandlers()
{
    wxInitAllImageHandlers();
    if ( !wxImage::FindHandler(wxBITMAP_TYPE_BMP) )
        wxImage::AddHandler(new wxBMPHandler);
}

wxImage Decode(const std::string& bytes)
{
    return PopupDialog::DecodeThumbnail(bytes.data(), bytes.size());
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
    std::vector<PopupDialog*> found;
    for ( wxWindow* window : wxTopLevelWindows )
    {
        if ( PopupDialog* popup = dynamic_cast<PopupDialog*>(window) )
            found.push_back(popup);
    }
    return found;
}

// Points the skin store at the archive the build makes, and puts everything back afterwards.
class BuiltSkin
{
public:
    explicit BuiltSkin(const wxString& program = TestSupport::BuildDir() + "/Parlo")
    {
        m_savedArgs = wxTheApp->argv.GetArguments();
        SetProgram({ program });
        delete Skin::GetInstance();
        Skin::GetInstance();
    }

    ~BuiltSkin()
    {
        delete Skin::GetInstance();
        std::vector<wxString> saved(m_savedArgs.begin(), m_savedArgs.end());
        SetProgram(saved);
        // The store takes every handler of the process with it; other tests need them.
        AddAllImageHandlers();
        if ( !wxFileSystem::HasHandlerForPath("/") )
            wxFileSystem::AddHandler(new wxLocalFSHandler);
    }

private:
    static void SetProgram(const std::vector<wxString>& args)
    {
        std::vector<const wchar_t*> pointers;
        for ( const wxString& arg : args )
            pointers.push_back(arg.wc_str());
        wxTheApp->argv.Init(static_cast<int>(pointers.size()), pointers.data());
        wxTheApp->argc = static_cast<int>(pointers.size());
    }

    wxArrayString m_savedArgs;
};

// Records what the "browser" is asked to open.
class RecordingBrowser
{
public:
    RecordingBrowser()
        : m_dir(TestSupport::MakeTempDir())
        , m_record(m_dir + "/opened.txt")
    {
        const wxString script = m_dir + "/browser.sh";
        wxFFile(script, "w").Write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" + m_record + "\"\n");
        // Not through a synchronous child process, which would disable every window meanwhile.
        chmod(script.fn_str(), 0700);
        delete wxTheMimeTypesManager->GetFileTypeFromExtension("txt");
        wxTheMimeTypesManager->ClearData();
        delete wxTheMimeTypesManager->Associate(
            wxFileTypeInfo("text/html", script + " %s", "", "HTML", "html", nullptr));
    }

    ~RecordingBrowser()
    {
        wxTheMimeTypesManager->ClearData();
        TestSupport::RemoveDir(m_dir);
    }

    wxArrayString Opened() const
    {
        wxString text;
        if ( wxFileExists(m_record) )
            wxFFile(m_record).ReadAll(&text);
        return wxSplit(text.Trim(), '\n', '\0');
    }

private:
    wxString m_dir;
    wxString m_record;
};

class PopupDialogTest : public ConfiguredTest
{
protected:
    void SetUp() override
    {
        ConfiguredTest::SetUp();
        m_skin = new BuiltSkin;
        ASSERT_TRUE(m_site.Start(0));
        Config().Write("/Site/imagehost", wxString(m_site.GetHostPort()));
        Config().Write("/Site/mainhost", MAIN_HOST);
        Config().Write("/Site/previewhost", PREVIEW_HOST);
        Config().Write("/PopupDialog/duration", 60);
        m_area = wxGetClientDisplayRect();
    }

    void TearDown() override
    {
        EXPECT_TRUE(WaitIdle([] {
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
        delete m_skin;
        ConfiguredTest::TearDown();
    }

    // Waits, letting the toolkit run its idle work too (which deletes destroyed windows).
    static bool WaitIdle(const std::function<bool()>& done, int timeoutMs = 10000)
    {
        return TestSupport::WaitFor(
            [&] {
                wxTheApp->ProcessIdle();
                return done();
            },
            timeoutMs);
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
        return WaitIdle([&] { return ref && ref->IsShown(); });
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

    DialogRecorder m_dialogs;
    sitesim::SimulatedSite m_site;
    BuiltSkin* m_skin = nullptr;
    wxRect m_area;
};
}

TEST(PopupDialogThumbnail, DecodesEachFormatUpToTheSizeLimitAndRefusesLarger)
{
    const int LIMIT = PopupDialog::MAX_IMAGE_SIDE;
    ASSERT_EQ(4096, LIMIT);
    AddAllImageHandlers();
    const std::string jpeg = Encode(Gradient(LIMIT, 8), wxBITMAP_TYPE_JPEG);
    const std::string png = Encode(Gradient(8, LIMIT), wxBITMAP_TYPE_PNG);
    const std::string bmp = Encode(Gradient(LIMIT, 2), wxBITMAP_TYPE_BMP);
    const std::string wideJpeg = Encode(Gradient(LIMIT + 1, 8), wxBITMAP_TYPE_JPEG);
    const std::string tallPng = Encode(Gradient(8, LIMIT + 1), wxBITMAP_TYPE_PNG);
    const std::string wideBmp = Encode(Gradient(LIMIT + 1, 2), wxBITMAP_TYPE_BMP);

    // A process whose skin brought no handler for these formats still decodes them.
    wxImage::CleanUpHandlers();
    EXPECT_EQ(wxSize(LIMIT, 8), Decode(jpeg).GetSize());
    EXPECT_EQ(wxSize(8, LIMIT), Decode(png).GetSize());
    EXPECT_EQ(wxSize(LIMIT, 2), Decode(bmp).GetSize());
    EXPECT_EQ(wxSize(LIMIT, 8), Decode(Gif(LIMIT, 8, 1, LIMIT, 8)).GetSize());

    // One pixel more, and the picture is refused although it would decode.
    EXPECT_FALSE(Decode(wideJpeg).IsOk());
    EXPECT_FALSE(Decode(tallPng).IsOk());
    EXPECT_FALSE(Decode(wideBmp).IsOk());
    EXPECT_FALSE(Decode(Gif(LIMIT + 1, 8, 1, LIMIT + 1, 8)).IsOk());
    EXPECT_FALSE(Decode(Gif(8, LIMIT + 1, 1, 8, LIMIT + 1)).IsOk());
    AddAllImageHandlers();
}

TEST(PopupDialogThumbnail, RefusesWhatCouldMakeTheDecoderAllocateTooMuch)
{
    AddAllImageHandlers();
    // A few hundred bytes that declare 20000 x 20000: they would decode, into 1.2 GB.
    std::string huge = Encode(Gradient(8, 8), wxBITMAP_TYPE_JPEG);
    for ( size_t at = 2; at + 8 < huge.size(); ++at )
    {
        const unsigned char marker = static_cast<unsigned char>(huge[at + 1]);
        if ( static_cast<unsigned char>(huge[at]) == 0xFF && (marker == 0xC0 || marker == 0xC2) )
        {
            huge[at + 5] = huge[at + 7] = '\x4E';
            huge[at + 6] = huge[at + 8] = '\x20';
            break;
        }
    }
    EXPECT_FALSE(Decode(huge).IsOk());

    // Each frame of a GIF is decoded and kept: 100 frames of 1000 x 1000 are too many, one is not.
    EXPECT_EQ(wxSize(1000, 1000), Decode(Gif(1000, 1000, 1, 1000, 1000)).GetSize());
    EXPECT_FALSE(Decode(Gif(1000, 1000, 100, 1000, 1000)).IsOk());

    // Formats whose size we do not read first, damaged and cut pictures are refused quietly.
    EXPECT_FALSE(Decode(Encode(Gradient(8, 8), wxBITMAP_TYPE_TIF)).IsOk());
    EXPECT_FALSE(Decode(Encode(Gradient(8, 8), wxBITMAP_TYPE_PNM)).IsOk());
    EXPECT_FALSE(Decode("").IsOk());
    EXPECT_FALSE(Decode("\xFF\xD8\xFF").IsOk());
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
    EXPECT_EQ(wxSize(144, 12), popup->GetStyleBar()->GetSize());
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
    AddAllImageHandlers();
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
    ASSERT_TRUE(WaitIdle([] { return PopupDialog::GetOpenCount() == 1; }));
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
    AddAllImageHandlers();
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

    // The lowest closes: the next one takes the third place, whatever is still there.
    first->Destroy();
    ASSERT_TRUE(WaitIdle([] { return PopupDialog::GetOpenCount() == 2; }));
    PopupDialog* fourth = OpenShown("Four");
    EXPECT_EQ(wxPoint(right - w, bottom - 3 * h), fourth->GetPosition());

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
    ASSERT_TRUE(WaitIdle([&] { return !popup; }, 8000));
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
    ASSERT_TRUE(WaitIdle([&] { return browser.Opened().size() == 1; }));
    EXPECT_EQ("http://preview.example:8124/preview.shtml?Anna_01", browser.Opened()[0]);

    click(popup->GetNameLabel());
    ASSERT_TRUE(WaitIdle([&] { return browser.Opened().size() == 2; }));
    EXPECT_EQ("http://preview.example:8124/preview.shtml?Anna_01", browser.Opened()[1]);
    EXPECT_TRUE(popup->IsShown());
    EXPECT_EQ(1u, AllPopups().size());

    // The bars are not links.
    click(popup->GetStyleBar());
    WaitIdle([] { return false; }, 300);
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
    ASSERT_TRUE(WaitIdle([&] { return gtk_widget_get_mapped(frame->GetHandle()); }, 5000));
#endif
    frame->Raise();
    text->SetFocus();
    ASSERT_TRUE(WaitIdle([&] { return wxWindow::FindFocus() == text; }, 5000));

#ifdef __WXGTK__
    // The keyboard focus as the display server reports it to each window.
    GtkWindow* workingWindow = GTK_WINDOW(frame->GetHandle());
    ASSERT_TRUE(WaitIdle([&] { return gtk_window_has_toplevel_focus(workingWindow); }, 5000));
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
    WaitIdle([] { return false; }, 500);
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
    EXPECT_TRUE(WaitIdle([&] { return browser.Opened().size() == 1; }, 2000));
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
        BuiltSkin none(dir + "/Nowhere");
        ASSERT_FALSE(Skin::GetInstance()->GetBitmap("PopupDialog_titleBar").IsOk());
        m_site.SetFault(ThumbnailPath("Faceless"), sitesim::Fault::HttpError(404));
        PopupDialog* withPicture = OpenShown("Anna");
        PopupDialog* without = OpenShown("Faceless");
        withPicture->Refresh();
        without->Refresh();
        withPicture->Update();
        without->Update();
        WaitIdle([] { return false; }, 200);
        EXPECT_EQ(wxSize(107, 82), Shown(withPicture).GetSize());
        EXPECT_FALSE(without->GetProfileImage()->GetBitmap().IsOk());
        EXPECT_EQ(wxSize(150, 150), without->GetSize());
        for ( PopupDialog* popup : AllPopups() )
            popup->Destroy();
        EXPECT_TRUE(WaitIdle([] { return AllPopups().empty(); }));
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
    ASSERT_TRUE(stalled.WaitForRequests(ThumbnailPath("Stalled"), 10, 5000));
    for ( auto& popup : waiting )
        EXPECT_FALSE(popup->IsShown());

    for ( auto& popup : waiting )
        popup->Destroy();
    ASSERT_TRUE(WaitIdle([] { return AllPopups().empty(); }));
    // Never shown, never counted.
    EXPECT_EQ(0, PopupDialog::GetOpenCount());

    // The late thumbnails arrive with nobody left to take them; stopping the other server ends
    // its downloads. Nothing may leak or be touched after its end.
    WaitIdle([] { return false; }, 1500);
    stalled.Stop();
    DownloadThread::WaitForAll();
    WaitIdle([] { return false; }, 200);
    EXPECT_TRUE(AllPopups().empty());
    EXPECT_EQ(0, PopupDialog::GetOpenCount());

    // The next pop-up still takes the lowest place.
    Config().Write("/Site/imagehost", wxString(m_site.GetHostPort()));
    PopupDialog* next = OpenShown("Next");
    EXPECT_EQ(m_area.GetBottom() + 1 - 150, next->GetPosition().y);
}
