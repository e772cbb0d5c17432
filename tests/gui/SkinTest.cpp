#include "ScopedSkin.h"
#include "common/ScopedProgramName.h"
#include "common/TempConfig.h"
#include "common/TestSupport.h"

#include "shell/LumoraSite.h"
#include "skin/Skin.h"

#include <gtest/gtest.h>

#include <wx/bitmap.h>
#include <wx/bmpbndl.h>
#include <wx/config.h>
#include <wx/ffile.h>
#include <wx/filesys.h>
#include <wx/icon.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/mstream.h>
#include <wx/wfstream.h>
#include <wx/zipstrm.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace
{
struct Entry
{
    wxString name;
    wxMemoryBuffer data;
};

wxMemoryBuffer Encode(const wxImage& image, wxBitmapType type)
{
    AddAllHandlers();
    wxMemoryOutputStream out;
    bool saved = false;
    {
        // A failure here must not leave a message box pending for a later test.
        wxLogNull quiet;
        saved = image.SaveFile(out, type);
    }
    EXPECT_TRUE(saved) << "cannot encode a test image of type " << type;
    wxMemoryBuffer buffer;
    buffer.AppendData(out.GetOutputStreamBuffer()->GetBufferStart(), out.GetSize());
    return buffer;
}

wxMemoryBuffer Picture(int width, int height, wxBitmapType type = wxBITMAP_TYPE_PNG)
{
    wxImage image(width, height);
    image.SetRGB(wxRect(0, 0, width, height), 200, 40, 90);
    return Encode(image, type);
}

wxMemoryBuffer Bytes(const void* data, size_t length)
{
    wxMemoryBuffer buffer;
    buffer.AppendData(data, length);
    return buffer;
}

wxMemoryBuffer Bytes(const char* text)
{
    return Bytes(text, strlen(text));
}

// A 7 x 5 GIF made elsewhere: the toolkit writes GIF only from images with a palette.
const unsigned char GIF_7X5[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x07, 0x00, 0x05, 0x00, 0xf0, 0x00, 0x00, 0xc8, 0x28, 0x5a,
    0x00, 0x00, 0x00, 0x21, 0xf9, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00,
    0x07, 0x00, 0x05, 0x00, 0x00, 0x02, 0x05, 0x84, 0x8f, 0xa9, 0xbb, 0x05, 0x00, 0x3b
};

void WriteArchive(const wxString& path, const std::vector<Entry>& entries)
{
    wxFFileOutputStream file(path);
    wxZipOutputStream zip(file);
    for ( const Entry& entry : entries )
    {
        zip.PutNextEntry(entry.name);
        if ( entry.data.GetDataLen() > 0 )
            zip.Write(entry.data.GetData(), entry.data.GetDataLen());
    }
    ASSERT_TRUE(zip.Close());
}

wxSize SizeOf(const wxBitmap& bitmap)
{
    return bitmap.IsOk() ? bitmap.GetSize() : wxSize();
}

// Collects what would reach the user through the toolkit's log.
class LogCapture : public wxLog
{
public:
    LogCapture() : m_previous(wxLog::SetActiveTarget(this)) {}
    ~LogCapture() override { wxLog::SetActiveTarget(m_previous); }

    wxString Messages() const { return m_messages; }

protected:
    void DoLogRecord(wxLogLevel level, const wxString& msg, const wxLogRecordInfo&) override
    {
        if ( level <= wxLOG_Info )
            m_messages += msg + "\n";
    }

private:
    wxLog* m_previous;
    wxString m_messages;
};

// Each test points the store at an archive of its own, beside a made-up program file, and
// leaves the process with its handlers back in place.
class SkinTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = TestSupport::MakeTempDir();
        m_skin.reset(new ScopedSkin(m_dir + "/Parlo"));
    }

    void TearDown() override
    {
        m_skin.reset();
        TestSupport::RemoveDir(m_dir);
    }

    wxString Archive() const { return m_dir + "/Parlo.skin"; }

    // A store freshly read from Archive(), in a process that starts without image handlers,
    // so the store must bring the ones it needs.
    Skin& OpenStore()
    {
        delete Skin::GetInstance();
        wxImage::CleanUpHandlers();
        return *Skin::GetInstance();
    }

private:
    wxString m_dir;
    std::unique_ptr<ScopedSkin> m_skin;
};
}

TEST_F(SkinTest, ReadsTopLevelEntriesWithAKnownLowerCaseExtensionOnly)
{
    wxImage tiff(5, 5);
    WriteArchive(Archive(), {
        { "SplashScreen_bitmap.png", Picture(5, 4) },
        { "Bitmap.bmp", Picture(3, 2, wxBITMAP_TYPE_BMP) },
        { "Icon.ico", Picture(16, 16, wxBITMAP_TYPE_ICO) },
        { "Pixmap.xpm", Picture(4, 4, wxBITMAP_TYPE_XPM) },
        { "Photo.jpg", Picture(8, 8, wxBITMAP_TYPE_JPEG) },
        { "Photo2.jpeg", Picture(9, 9, wxBITMAP_TYPE_JPEG) },
        { "Anim.gif", Bytes(GIF_7X5, sizeof GIF_7X5) },
        { "pics/UserListTreeCtrl_freeIcon.png", Picture(6, 6) },
        { "Upper.PNG", Picture(6, 6) },
        { "Mixed.Png", Picture(6, 6) },
        { "Text.txt", Picture(6, 6) },
        { "NoExtension", Picture(6, 6) },
        { "Scan.tif", Encode(tiff, wxBITMAP_TYPE_TIF) },
    });
    Skin& skin = OpenStore();

    // Only the seven entries of the table were stored; decoding by contents would have
    // accepted every other one too.
    EXPECT_EQ(7u, skin.GetImageCount());
    EXPECT_EQ(wxSize(5, 4), SizeOf(skin.GetBitmap("SplashScreen_bitmap")));
    EXPECT_EQ(wxSize(3, 2), SizeOf(skin.GetBitmap("Bitmap")));
    EXPECT_EQ(wxSize(16, 16), SizeOf(skin.GetBitmap("Icon")));
    EXPECT_EQ(wxSize(4, 4), SizeOf(skin.GetBitmap("Pixmap")));
    EXPECT_EQ(wxSize(8, 8), SizeOf(skin.GetBitmap("Photo")));
    EXPECT_EQ(wxSize(9, 9), SizeOf(skin.GetBitmap("Photo2")));
    EXPECT_EQ(wxSize(7, 5), SizeOf(skin.GetBitmap("Anim")));
    for ( const char* skipped : { "UserListTreeCtrl_freeIcon", "pics", "Upper", "Mixed", "Text",
                                  "NoExtension", "Scan" } )
        EXPECT_FALSE(skin.GetBitmap(skipped).IsOk()) << skipped;

    // The very entry that loads at the top level is ignored inside a folder.
    WriteArchive(Archive(), { { "folder/SplashScreen_bitmap.png", Picture(5, 4) } });
    Skin& nested = OpenStore();
    EXPECT_EQ(0u, nested.GetImageCount());
    EXPECT_FALSE(nested.GetBitmap("SplashScreen_bitmap").IsOk());
}

TEST_F(SkinTest, LaterEntryOfTheSameNameWins)
{
    WriteArchive(Archive(), { { "Application_icon.ico", Picture(16, 16, wxBITMAP_TYPE_ICO) },
                              { "Application_icon.bmp", Picture(24, 24, wxBITMAP_TYPE_BMP) } });
    EXPECT_EQ(wxSize(24, 24), SizeOf(OpenStore().GetBitmap("Application_icon")));

    // The order in the archive decides, not the format.
    WriteArchive(Archive(), { { "Application_icon.bmp", Picture(24, 24, wxBITMAP_TYPE_BMP) },
                              { "Application_icon.ico", Picture(16, 16, wxBITMAP_TYPE_ICO) } });
    Skin& skin = OpenStore();
    EXPECT_EQ(wxSize(16, 16), SizeOf(skin.GetBitmap("Application_icon")));
    EXPECT_EQ(1u, skin.GetImageCount());
}

TEST_F(SkinTest, UnknownNameGivesInvalidImagesAndIsRemembered)
{
    WriteArchive(Archive(), { { "Known.png", Picture(12, 10) } });
    Skin& skin = OpenStore();
    ASSERT_EQ(1u, skin.GetImageCount());

    EXPECT_FALSE(skin.GetBitmap("Unknown").IsOk());
    EXPECT_EQ(2u, skin.GetImageCount());
    EXPECT_FALSE(skin.GetBitmap("Unknown").IsOk());
    EXPECT_FALSE(skin.GetIcon("Unknown").IsOk());
    EXPECT_EQ(2u, skin.GetImageCount());

    const wxIcon icon = skin.GetIcon("Known");
    ASSERT_TRUE(icon.IsOk());
    EXPECT_EQ(wxSize(12, 10), icon.GetSize());
    // Without a larger picture it is enlarged at scale 2.
    EXPECT_FALSE(skin.GetBitmapBundle("Unknown").IsOk());
    const wxBitmapBundle known = skin.GetBitmapBundle("Known");
    ASSERT_TRUE(known.IsOk());
    EXPECT_EQ(wxSize(12, 10), known.GetDefaultSize());
    EXPECT_EQ(wxSize(24, 20), known.GetBitmap(wxSize(24, 20)).GetSize());
    EXPECT_EQ(2u, skin.GetImageCount());
    // Every request makes a new bitmap from the kept image.
    EXPECT_TRUE(skin.GetBitmap("Known").IsOk());
    EXPECT_EQ(2u, skin.GetImageCount());
}

TEST_F(SkinTest, UndecodableEntryIsStoredInvalidWithoutTellingTheUser)
{
    WriteArchive(Archive(), { { "Broken.png", Bytes("\x89PNG but nothing like a picture") },
                              { "Empty.gif", wxMemoryBuffer() },
                              { "Good.png", Picture(2, 2) } });
    LogCapture log;
    Skin& skin = OpenStore();

    EXPECT_EQ(3u, skin.GetImageCount());
    EXPECT_FALSE(skin.GetBitmap("Broken").IsOk());
    EXPECT_FALSE(skin.GetIcon("Empty").IsOk());
    EXPECT_TRUE(skin.GetBitmap("Good").IsOk());
    // Asking for a broken name finds it already there.
    EXPECT_EQ(3u, skin.GetImageCount());
    EXPECT_TRUE(log.Messages().empty()) << log.Messages().utf8_str().data();
}

TEST_F(SkinTest, MissingOrUnreadableArchiveLeavesTheStoreEmptyWithoutAReport)
{
    LogCapture log;
    {
        Skin& skin = OpenStore();
        EXPECT_EQ(0u, skin.GetImageCount());
        EXPECT_FALSE(skin.GetBitmap("SplashScreen_bitmap").IsOk());
        EXPECT_FALSE(skin.GetIcon("Application_icon").IsOk());
    }

    wxFFile(Archive(), "wb").Write(wxString("this is not a zip archive at all"));
    EXPECT_EQ(0u, OpenStore().GetImageCount());

    // An archive cut off in the middle loses its central directory.
    WriteArchive(Archive(), { { "Good.png", Picture(40, 40) }, { "More.png", Picture(40, 40) } });
    wxFFile whole(Archive(), "rb");
    wxMemoryBuffer data;
    whole.Read(data.GetWriteBuf(whole.Length()), whole.Length());
    data.UngetWriteBuf(whole.Length() / 2);
    whole.Close();
    wxFFile(Archive(), "wb").Write(data.GetData(), data.GetDataLen());
    EXPECT_EQ(0u, OpenStore().GetImageCount());

    EXPECT_TRUE(log.Messages().empty()) << log.Messages().utf8_str().data();
}

TEST_F(SkinTest, DestroyingTheStoreRemovesEveryHandlerAndAFreshStoreFollows)
{
    WriteArchive(Archive(), { { "Known.png", Picture(3, 3) } });
    Skin& skin = OpenStore();
    skin.GetBitmap("Unknown");
    ASSERT_EQ(2u, skin.GetImageCount());
    // A handler the host registered goes as well.
    wxImage::AddHandler(new wxPNMHandler);
    ASSERT_TRUE(wxFileSystem::HasHandlerForPath(Archive()));

    delete Skin::GetInstance();
    EXPECT_EQ(0u, wxImage::GetHandlers().GetCount());
    EXPECT_FALSE(wxFileSystem::HasHandlerForPath(Archive()));
    EXPECT_FALSE(wxFileSystem::HasHandlerForPath(Archive() + "#zip:Known.png"));

    // The next store is a new one that reads the archive again, even with no handler left.
    Skin* fresh = Skin::GetInstance();
    EXPECT_EQ(1u, fresh->GetImageCount());
    EXPECT_EQ(wxSize(3, 3), SizeOf(fresh->GetBitmap("Known")));
}

TEST_F(SkinTest, SiteModuleExitReleasesTheStore)
{
    LumoraSite* site = dynamic_cast<LumoraSite*>(Site::GetInstance());
    ASSERT_NE(nullptr, site) << "the toolkit did not create the site module";
    WriteArchive(Archive(), { { "Known.png", Picture(3, 3) } });
    OpenStore().GetBitmap("Unknown");
    ASSERT_NE(0u, wxImage::GetHandlers().GetCount());

    site->OnExit();
    EXPECT_EQ(0u, wxImage::GetHandlers().GetCount());
    EXPECT_FALSE(wxFileSystem::HasHandlerForPath(Archive()));
    EXPECT_EQ(1u, Skin::GetInstance()->GetImageCount());
}

TEST_F(SkinTest, BuiltSkinHoldsEveryImageAtItsSize)
{
    const wxString built = TestSupport::BuildDir() + "/Parlo.skin";
    const std::map<wxString, wxSize> expected = {
        { "SplashScreen_bitmap", wxSize(400, 260) },
        { "Application_icon", wxSize(48, 48) },
        { "UserListTreeCtrl_onlineGroupIcon", wxSize(16, 16) },
        { "UserListTreeCtrl_offlineGroupIcon", wxSize(16, 16) },
        { "UserListTreeCtrl_freeIcon", wxSize(16, 16) },
        { "UserListTreeCtrl_busyIcon", wxSize(16, 16) },
        { "UserListTreeCtrl_offlineIcon", wxSize(16, 16) },
        { "PopupDialog_titleBar", wxSize(150, 18) },
        { "PopupDialog_styleBar_ONLINE", wxSize(150, 12) },
        { "PopupDialog_styleBar_FREE", wxSize(150, 12) },
        { "PopupDialog_profileImage", wxSize(107, 82) },
        { "PopupDialog_contentPanel", wxSize(148, 118) },
    };

    // Flat PNG entries, two per image: its own size, and twice that.
    std::map<wxString, wxImage> images;
    {
        wxFFileInputStream file(built);
        ASSERT_TRUE(file.IsOk()) << built << " was not built";
        wxZipInputStream zip(file);
        AddAllHandlers();
        for ( wxZipEntry* entry = zip.GetNextEntry(); entry; entry = zip.GetNextEntry() )
        {
            const wxString name = entry->GetName(wxPATH_UNIX);
            delete entry;
            EXPECT_TRUE(name.EndsWith(".png")) << name;
            EXPECT_EQ(wxString::npos, name.find('/')) << name;
            images[name.BeforeLast('.')].LoadFile(zip, wxBITMAP_TYPE_PNG);
        }
    }
    EXPECT_EQ(2 * expected.size(), images.size());

    ScopedProgramName asBuilt(TestSupport::BuildDir() + "/Parlo");
    Skin& skin = OpenStore();
    EXPECT_EQ(2 * expected.size(), skin.GetImageCount());
    for ( const auto& image : expected )
    {
        EXPECT_EQ(image.second, SizeOf(skin.GetBitmap(image.first))) << image.first;
        // A screen at scale 2 gets the larger picture itself, not the small one enlarged.
        const wxImage& larger = images[image.first + "@2x"];
        ASSERT_EQ(image.second * 2, larger.GetSize()) << image.first;
        const wxBitmapBundle bundle = skin.GetBitmapBundle(image.first);
        EXPECT_EQ(image.second, bundle.GetDefaultSize()) << image.first;
        const wxImage served = bundle.GetBitmap(image.second * 2).ConvertToImage();
        EXPECT_TRUE(served.IsOk() && served.GetSize() == larger.GetSize()
                    && memcmp(served.GetData(), larger.GetData(), larger.GetWidth() * larger.GetHeight() * 3) == 0)
            << image.first;
    }

    // Windows without a frame of their own show these as they are: no see-through pixels.
    for ( const char* name : { "SplashScreen_bitmap", "PopupDialog_titleBar",
                               "PopupDialog_styleBar_ONLINE", "PopupDialog_styleBar_FREE",
                               "PopupDialog_profileImage" } )
    {
        const wxImage& image = images[name];
        ASSERT_TRUE(image.IsOk()) << name;
        bool opaque = true;
        for ( int y = 0; image.HasAlpha() && y < image.GetHeight(); ++y )
            for ( int x = 0; x < image.GetWidth(); ++x )
                opaque = opaque && image.GetAlpha(x, y) == 255;
        EXPECT_TRUE(opaque) << name;
    }

    // The tree icons sit on any theme's background and tell the states apart by colour:
    // the average of their visible pixels is green for free, amber for busy, grey for offline.
    struct Tint
    {
        double r = 0, g = 0, b = 0;
    };
    auto tintOf = [](const wxImage& image) {
        Tint tint;
        double weight = 0;
        for ( int y = 0; y < image.GetHeight(); ++y )
            for ( int x = 0; x < image.GetWidth(); ++x )
            {
                const double a = image.HasAlpha() ? image.GetAlpha(x, y) / 255.0 : 1.0;
                tint.r += a * image.GetRed(x, y);
                tint.g += a * image.GetGreen(x, y);
                tint.b += a * image.GetBlue(x, y);
                weight += a;
            }
        if ( weight > 0 )
        {
            tint.r /= weight;
            tint.g /= weight;
            tint.b /= weight;
        }
        return tint;
    };
    for ( const auto& image : images )
    {
        if ( !image.first.StartsWith("UserListTreeCtrl_") )
            continue;
        const wxImage& icon = image.second;
        ASSERT_TRUE(icon.HasAlpha()) << image.first;
        EXPECT_EQ(0, icon.GetAlpha(0, 0)) << image.first << ": the corners must be see-through";
    }
    const Tint free = tintOf(images["UserListTreeCtrl_freeIcon"]);
    EXPECT_GT(free.g, free.r + 40);
    EXPECT_GT(free.g, free.b + 40);
    const Tint busy = tintOf(images["UserListTreeCtrl_busyIcon"]);
    EXPECT_GT(busy.r, busy.b + 80);
    EXPECT_GT(busy.g, busy.b + 30);
    const Tint offline = tintOf(images["UserListTreeCtrl_offlineIcon"]);
    EXPECT_LT(std::max({ offline.r, offline.g, offline.b }) - std::min({ offline.r, offline.g, offline.b }),
              20);
}

class SkinConfigTest : public ConfiguredTest
{
};

TEST_F(SkinConfigTest, GetConfigHandsOutTheGlobalConfiguration)
{
    EXPECT_EQ(&Config(), Skin::GetConfig());

    // With none installed, one is made and installed for everybody.
    wxConfigBase* previous = wxConfigBase::Set(nullptr);
    wxConfigBase* made = Skin::GetConfig();
    EXPECT_NE(nullptr, made);
    EXPECT_EQ(made, wxConfigBase::Get(false));
    EXPECT_EQ(made, Skin::GetConfig());
    delete wxConfigBase::Set(previous);
}
