#pragma once

#include "net/DownloadFinishedEvent.h"
#include "net/DownloadLifetimeGuard.h"
#include "net/StopSignal.h"

#include <wx/thread.h>

class wxHTTP;
class wxInputStream;
class wxURL;

// Fetches the body of one URL into memory on its own thread and hands it to a handler as one
// wxEVT_DOWNLOAD_FINISHED event. The handler may be destroyed meanwhile: the thread never
// touches it, and a body whose receiver is gone is freed. Construct on the main thread; then Run
// (or delete) it.
class DownloadThread : public wxThread
{
public:
    // Takes url (http or https) and http (which may be null: then a client of our own is used).
    DownloadThread(wxEvtHandler* handler, int id, wxURL* url, wxHTTP* http, unsigned int priority,
                   wxThreadKind kind);
    ~DownloadThread() override;

    // On the main thread, before the code of the download threads goes away (the library being
    // unloaded): asks every running download to stop, waits until each has ended (each is bounded
    // by its socket time-out), and hands over or frees what they left.
    static void WaitForAll() { DownloadLifetimeGuard::WaitForAll(); }

    // A longer body counts as a failed download.
    static const size_t MAX_BODY_SIZE;

protected:
    ExitCode Entry() override;
    void OnExit() override;
    void OnDelete() override;

private:
    wxInputStream* OpenBody();
    bool ShouldStop();

    wxURL* m_url;
    wxHTTP* m_http;
    // Raised when the download is to stop: it ends any wait of the request at once. Outlives the
    // guard, which raises it for WaitForAll.
    StopSignal m_stop;
    // Destroyed after the destructor's body has deleted the client: what the receiver is still
    // owed goes out once nothing else of the download is left.
    DownloadLifetimeGuard m_guard;
};
