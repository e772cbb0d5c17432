#pragma once

#include <wx/string.h>

class wxEvtHandler;

// Fetches pictures on one thread of its own that keeps its connections: the pictures of a server
// take turns on at most MAX_CONNECTIONS kept connections, their TLS sessions kept too, where a
// thread each would make a connection and a handshake each. Every fetch that started brings its receiver
// exactly one wxEVT_DOWNLOAD_FINISHED, as a DownloadThread does (the body, or null for a
// failure), unless the receiver is gone by then. The thread comes with the first fetch and ends
// when DownloadThread::WaitForAll stops every download, before the library goes.
class PictureFetcher
{
public:
    // Pictures of one server fetched at once, and connections kept.
    static constexpr int MAX_CONNECTIONS = 4;

    PictureFetcher() = delete;

    // On the main thread: fetches url (http or https), asked for in the name of hostHeader (empty:
    // the url's own host). Each wait on the server is bounded by timeoutSeconds, the whole fetch,
    // its turn included, by HttpClient::MAX_WAIT_SECONDS. False when it could not start: then
    // nothing comes.
    static bool Fetch(wxEvtHandler* receiver, int id, const wxString& url, const wxString& hostHeader,
                      int timeoutSeconds);
};
