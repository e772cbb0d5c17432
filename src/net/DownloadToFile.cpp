#include "net/DownloadToFile.h"

#include "net/HttpClient.h"

#include <wx/log.h>
#include <wx/uri.h>
#include <wx/wfstream.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace
{
const int TIMEOUT_SECONDS = 5;
const size_t CHUNK_SIZE = 64 * 1024;

// As atoi reads it: leading blanks, a sign, decimal digits; anything else gives 0.
long long DeclaredLength(const wxString& header)
{
    return std::strtoll(header.utf8_str().data(), nullptr, 10);
}

// Copies input into output, but stops once more than limit bytes came: the file is wrong
// anyway, and an endless body must not fill the disk.
bool CopyBody(wxInputStream& input, wxOutputStream& output, long long limit)
{
    std::vector<char> chunk(CHUNK_SIZE);
    long long copied = 0;
    for ( ;; )
    {
        input.Read(chunk.data(), chunk.size());
        const size_t got = input.LastRead();
        if ( got == 0 )
            return true;
        copied += static_cast<long long>(got);
        if ( !output.WriteAll(chunk.data(), got) )
            return false;
        if ( copied > limit )
            return true;
    }
}
}

bool DownloadToFile(const wxString& url, const wxString& path, long long maxBytes)
{
    const wxURI address(url);
    const wxString scheme = address.GetScheme().Lower();
    if ( (scheme != "http" && scheme != "https") || address.GetServer().empty() )
    {
        wxLogTrace("lumora", "DownloadToFile: not an http address: %s", url);
        return false;
    }
    HttpClient http;
    http.SetTimeout(TIMEOUT_SECONDS);
    // The file is checked against the length its server declares, which a compressed answer's
    // is not; and files are rare, and mostly compressed already.
    http.SetCompression(false);
    wxLogTrace("lumora", "DownloadToFile: %s -> %s", url, path);

    std::unique_ptr<wxInputStream> input(http.Open(address));
    if ( !input )
    {
        wxLogTrace("lumora", "DownloadToFile: no answer from %s", url);
        return false;
    }
    if ( input->GetLastError() != wxSTREAM_NO_ERROR )
    {
        wxLogTrace("lumora", "DownloadToFile: the answer from %s is in error", url);
        return false;
    }
    const wxString type = http.GetHeader("Content-Type");
    if ( type != "application/octet-stream" )
    {
        wxLogTrace("lumora", "DownloadToFile: %s is \"%s\", not a file", url, type);
        return false;
    }
    const long long declared = DeclaredLength(http.GetHeader("Content-Length"));
    if ( maxBytes >= 0 && declared > maxBytes )
    {
        wxLogTrace("lumora", "DownloadToFile: %s declares %lld bytes, more than the %lld it may have", url,
                   declared, maxBytes);
        return false;
    }

    bool stored = false;
    wxFileOffset length = -1;
    {
        // Failures are told by the result alone: no log window for a missing folder.
        wxLogNull quiet;
        // Written beside the target and moved over it only when complete: a half-written file
        // never stands at path. What is not committed goes with the stream.
        wxTempFileOutputStream output(path);
        if ( !output.IsOk() )
            return false;
        const bool copied = CopyBody(*input, output, declared);
        input.reset();
        length = output.GetLength();
        if ( copied && length == declared )
        {
            stored = output.Commit();
            // A failed move leaves the closed temporary file behind.
            if ( !stored )
                output.Discard();
        }
    }
    if ( !stored )
    {
        wxLogTrace("lumora", "DownloadToFile: %s has %lld bytes, %lld declared", path,
                   static_cast<long long>(length), declared);
        return false;
    }
    return true;
}
