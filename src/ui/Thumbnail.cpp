#include "ui/Thumbnail.h"

#include "model/User.h"
#include "net/DownloadFinishedEvent.h"
#include "net/PictureFetcher.h"
#include "net/PictureHeader.h"
#include "shell/SiteHosts.h"
#include "skin/Skin.h"

#include <wx/log.h>
#include <wx/math.h>
#include <wx/mstream.h>

const wxSize Thumbnail::SIZE(107, 82);

namespace
{
const int TIMEOUT_SECONDS = 10;

// The toolkit's name for each format the header check lets through.
wxBitmapType BitmapType(PictureHeader::Format format)
{
    switch ( format )
    {
        case PictureHeader::FORMAT_JPEG:
            return wxBITMAP_TYPE_JPEG;
        case PictureHeader::FORMAT_PNG:
            return wxBITMAP_TYPE_PNG;
        case PictureHeader::FORMAT_GIF:
            return wxBITMAP_TYPE_GIF;
        case PictureHeader::FORMAT_BMP:
            return wxBITMAP_TYPE_BMP;
        case PictureHeader::FORMAT_NONE:
            break;
    }
    return wxBITMAP_TYPE_INVALID;
}
}

bool Thumbnail::StartDownload(wxEvtHandler* receiver, const User& user)
{
    const wxString imageUrl =
        SiteHosts::MakeUrl(SiteHosts::IMAGE, "/WebArchive/" + user.GetName() + "/thumbs/LinkedImage.jpg");
    // The picture comes from the image host but is asked for in the name of the main host.
    if ( !PictureFetcher::Fetch(receiver, wxID_ANY, imageUrl, SiteHosts::GetAuthority(SiteHosts::MAIN), TIMEOUT_SECONDS) )
    {
        wxLogTrace("lumora", "Thumbnail: the download of %s did not start", user.GetName());
        return false;
    }
    return true;
}

wxImage Thumbnail::Decode(const void* data, size_t size)
{
    const wxBitmapType type = BitmapType(PictureHeader::AcceptedFormat(data, size));
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

wxBitmap Thumbnail::FromDownload(DownloadFinishedEvent& event, double scale)
{
    void* buffer = event.GetClientData();
    event.SetClientData(nullptr);
    if ( !buffer )
        return wxBitmap();
    const wxImage image = Decode(buffer, static_cast<size_t>(event.GetInt()));
    ::operator delete(buffer);
    if ( !image.IsOk() )
        return wxBitmap();
    if ( scale <= 1.0 )
        return wxBitmap(image.Scale(SIZE.x, SIZE.y), -1);
    // Straight from the site's picture to the screen's pixels, smoothly: a small one enlarged
    // afterwards would be blocky.
    const wxSize pixels(wxRound(SIZE.x * scale), wxRound(SIZE.y * scale));
    return wxBitmap(image.Scale(pixels.x, pixels.y, wxIMAGE_QUALITY_HIGH), -1, scale);
}
