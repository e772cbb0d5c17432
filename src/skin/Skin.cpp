#include "skin/Skin.h"

#include "shell/Util.h"

#include <wx/bitmap.h>
#include <wx/bmpbndl.h>
#include <wx/config.h>
#include <wx/filename.h>
#include <wx/filesys.h>
#include <wx/fs_zip.h>
#include <wx/display.h>
#include <wx/icon.h>
#include <wx/log.h>

#include <memory>

Skin* Skin::ms_instance = nullptr;

namespace
{
// The extension (case-sensitive) only decides which handler must be there; the image itself is
// decoded by its contents.
wxBitmapType TypeOfExtension(const wxString& ext)
{
    if ( ext == "bmp" )
        return wxBITMAP_TYPE_BMP;
    if ( ext == "ico" )
        return wxBITMAP_TYPE_ICO;
    if ( ext == "xpm" )
        return wxBITMAP_TYPE_XPM;
    if ( ext == "jpg" || ext == "jpeg" )
        return wxBITMAP_TYPE_JPEG;
    if ( ext == "png" )
        return wxBITMAP_TYPE_PNG;
    if ( ext == "gif" )
        return wxBITMAP_TYPE_GIF;
    return wxBITMAP_TYPE_INVALID;
}

wxImageHandler* NewHandler(wxBitmapType type)
{
    switch ( type )
    {
        case wxBITMAP_TYPE_BMP:
            return new wxBMPHandler;
        case wxBITMAP_TYPE_ICO:
            return new wxICOHandler;
        case wxBITMAP_TYPE_XPM:
            return new wxXPMHandler;
        case wxBITMAP_TYPE_JPEG:
            return new wxJPEGHandler;
        case wxBITMAP_TYPE_PNG:
            return new wxPNGHandler;
        case wxBITMAP_TYPE_GIF:
            return new wxGIFHandler;
        default:
            return nullptr;
    }
}
}

void Skin::EnsureImageHandler(wxBitmapType type)
{
    if ( !wxImage::FindHandler(type) )
    {
        if ( wxImageHandler* handler = NewHandler(type) )
            wxImage::AddHandler(handler);
    }
}

Skin* Skin::GetInstance()
{
    if ( !ms_instance )
        ms_instance = new Skin;
    return ms_instance;
}

wxConfigBase* Skin::GetConfig()
{
    wxConfigBase* config = wxConfigBase::Get(false);
    return config ? config : wxConfigBase::Create();
}

Skin::Skin()
{
    wxFileName name = Util::GetApplicationFileName();
    name.SetExt("skin");
    const wxString archive = name.GetFullPath();

    // A store destroyed earlier in this process took the handler for local files with it; the
    // archive could not even be opened without one.
    if ( !wxFileSystem::HasHandlerForPath(archive) )
        wxFileSystem::AddHandler(new wxLocalFSHandler);
    wxFileSystem::AddHandler(new wxZipFSHandler);

    Load(archive);
    wxLogTrace("lumora", "skin %s: %d images", archive, static_cast<int>(m_images.size()));
}

Skin::~Skin()
{
    wxFileSystem::CleanUpHandlers();
    wxImage::CleanUpHandlers();
    // A later GetInstance builds a fresh store rather than handing out this one.
    ms_instance = nullptr;
    wxLogTrace("lumora", "skin released");
}

void Skin::Load(const wxString& archive)
{
    // A missing or damaged archive, or a damaged entry, leaves images out; the user hears
    // nothing of it.
    wxLogNull quiet;

    wxFileSystem fs;
    for ( wxString location = fs.FindFirst(archive + "#zip:*", 0); !location.empty();
          location = fs.FindNext() )
    {
        // Entries in folders come back as the folder alone, which has no extension.
        wxString path = location;
        path.Replace("#zip:", "/", false);
        wxString imageName;
        wxString ext;
        wxFileName::SplitPath(path, nullptr, &imageName, &ext);

        const wxBitmapType type = TypeOfExtension(ext);
        if ( type == wxBITMAP_TYPE_INVALID )
            continue;
        EnsureImageHandler(type);

        // Decoding by contents peeks ahead, which a bare archive entry stream cannot do.
        std::unique_ptr<wxFSFile> file(fs.OpenFile(location, wxFS_READ | wxFS_SEEKABLE));
        if ( !file || !file->GetStream() )
            continue;
        wxImage image;
        image.LoadFile(*file->GetStream(), wxBITMAP_TYPE_ANY, -1);
        // Later entries of the same name replace earlier ones.
        m_images[imageName] = image;
    }
}

wxBitmap Skin::GetBitmap(const wxString& name)
{
    // An unknown name is remembered as an empty image.
    const wxImage& image = m_images[name];
    if ( !image.IsOk() )
        return wxBitmap();
    return wxBitmap(image, -1);
}

wxIcon Skin::GetIcon(const wxString& name)
{
    wxIcon icon;
    const wxBitmap bitmap = GetBitmap(name);
    if ( bitmap.IsOk() )
        icon.CopyFromBitmap(bitmap);
    return icon;
}

wxBitmapBundle Skin::GetBitmapBundle(const wxString& name)
{
    const wxBitmap bitmap = GetBitmap(name);
    if ( !bitmap.IsOk() )
        return wxBitmapBundle();
    // Looked up without remembering a miss: most skins of others have no larger pictures.
    const SkinImageMap::const_iterator larger = m_images.find(name + "@2x");
    // A larger picture of another shape would distort; the toolkit's enlargement does not.
    if ( larger == m_images.end() || !larger->second.IsOk()
         || larger->second.GetSize() != bitmap.GetSize() * 2 )
        return wxBitmapBundle::FromBitmap(bitmap);
    return wxBitmapBundle::FromBitmaps(bitmap, wxBitmap(larger->second, -1));
}

wxBitmap Skin::GetBitmapForDisplay(const wxString& name)
{
    const wxBitmapBundle bundle = GetBitmapBundle(name);
    if ( !bundle.IsOk() )
        return wxBitmap();
    const double scale = wxDisplay().GetScaleFactor();
    return bundle.GetBitmap(bundle.GetDefaultSize() * scale);
}
