#pragma once

#include <wx/bitmap.h>
#include <wx/image.h>

class DownloadFinishedEvent;
class User;
class wxEvtHandler;

// A performer's thumbnail from the site's image host, for whatever announces the performer.
class Thumbnail
{
public:
    Thumbnail() = delete;

    // Starts fetching user's thumbnail in the background; receiver gets it as one
    // wxEVT_DOWNLOAD_FINISHED. False when the download did not start: nothing will come.
    static bool StartDownload(wxEvtHandler* receiver, const User& user);

    // The picture in data (JPEG, PNG, GIF or BMP), or an invalid image when it cannot be decoded
    // or declares a size that could make decoding it take too much memory.
    static wxImage Decode(const void* data, size_t size);

    // What the download brought, at the size a pop-up shows it on a screen that draws at scale
    // (the bitmap has as many pixels as the screen, and that scale factor), or an invalid
    // bitmap; takes the event's body over and frees it.
    static wxBitmap FromDownload(DownloadFinishedEvent& event, double scale = 1.0);

    // The size a pop-up shows the picture at, whatever its own.
    static const wxSize SIZE;
};
