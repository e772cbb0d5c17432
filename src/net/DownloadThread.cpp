#include "net/DownloadThread.h"

#include "net/HttpClient.h"

#include <wx/log.h>
#include <wx/protocol/http.h>
#include <wx/url.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

const size_t DownloadThread::MAX_BODY_SIZE = 8 * 1024 * 1024;

namespace
{
const size_t CHUNK_SIZE = 64 * 1024;
}

DownloadThread::DownloadThread(wxEvtHandler* handler, int id, wxURL* url, wxHTTP* http,
                               unsigned int priority, wxThreadKind kind)
    : wxThread(kind)
    , m_url(url)
    , m_http(http)
{
    wxASSERT_MSG(wxThread::IsMain(), "a DownloadThread is made on the main thread");
    const wxThreadError error = Create(0);
    if ( error != wxTHREAD_NO_ERROR )
    {
        wxLogTrace("lumora", "DownloadThread: Create failed (%d)", static_cast<int>(error));
        return;
    }
    SetPriority(priority);
    m_guard.Enlist(handler, id, &m_stop);
}

DownloadThread::~DownloadThread()
{
    delete m_url;
    delete m_http;
}

void DownloadThread::OnExit()
{
    // A joinable thread is done here; its object may live on with its owner.
    if ( !IsDetached() )
        m_guard.Release();
}

void DownloadThread::OnDelete()
{
    m_stop.Raise();
}

bool DownloadThread::ShouldStop()
{
    return m_stop.IsRaised() || TestDestroy() || DownloadLifetimeGuard::IsStopping();
}

wxInputStream* DownloadThread::OpenBody()
{
    HttpClient* client = dynamic_cast<HttpClient*>(m_http);
    if ( !m_http )
    {
        // Ours, not the URL's own client, which would hand its socket to the main loop and knows
        // no https.
        const wxString scheme = m_url->GetScheme().Lower();
        if ( (scheme != "http" && scheme != "https") || m_url->GetServer().empty() )
            return nullptr;
        client = new HttpClient;
        if ( m_url->IsOk() )
            client->SetTimeout(m_url->GetProtocol().GetTimeout());
        m_http = client;
    }
    if ( client )
    {
        // Quitting must not wait for a slow server.
        client->SetStopTest([this] { return ShouldStop(); });
        client->SetStopSignal(&m_stop);
        return client->Open(*m_url);
    }

    // Another toolkit client speaks plain http only. The configured host may carry a port:
    // connect to both.
    unsigned long port = 0;
    if ( !m_url->GetPort().ToULong(&port) || port > 65535 )
        port = 0;
    m_http->Connect(m_url->GetServer(), static_cast<unsigned short>(port));
    wxString target = m_url->GetPath();
    if ( target.empty() )
        target = "/";
    if ( m_url->HasQuery() )
        target += "?" + m_url->GetQuery();
    return m_http->GetInputStream(target);
}

wxThread::ExitCode DownloadThread::Entry()
{
    DownloadLifetimeGuard::EnterThread();
    wxLogTrace("lumora", "DownloadThread started: %s", m_url->GetURL());

    std::unique_ptr<wxInputStream> input(OpenBody());
    if ( !input )
    {
        wxLogTrace("lumora", "DownloadThread stopped: no answer from %s", m_url->GetURL());
        m_guard.Deliver(nullptr, 0);
        return reinterpret_cast<ExitCode>(1);
    }

    // Read in chunks, so that a body past the limit is dropped before it is kept.
    std::vector<char> chunk(CHUNK_SIZE);
    std::vector<char> body;
    bool failed = false;
    for ( ;; )
    {
        if ( ShouldStop() )
        {
            failed = true;
            break;
        }
        input->Read(chunk.data(), chunk.size());
        const size_t got = input->LastRead();
        if ( got == 0 )
        {
            // A read cut short by a stop request is no end of the body.
            failed = ShouldStop();
            break;
        }
        if ( body.size() + got > MAX_BODY_SIZE )
        {
            wxLogTrace("lumora", "DownloadThread: body of %s exceeds %lu bytes", m_url->GetURL(),
                       static_cast<unsigned long>(MAX_BODY_SIZE));
            failed = true;
            break;
        }
        // Grow by doubling, but never past the limit.
        if ( body.size() + got > body.capacity() )
            body.reserve(std::min(std::max(body.capacity() * 2, body.size() + got), MAX_BODY_SIZE));
        body.insert(body.end(), chunk.data(), chunk.data() + got);
    }
    input.reset();
    if ( failed )
    {
        std::vector<char>().swap(body);
        m_guard.Deliver(nullptr, 0);
        wxLogTrace("lumora", "DownloadThread stopped: %s failed", m_url->GetURL());
        return reinterpret_cast<ExitCode>(1);
    }

    void* buffer = ::operator new(body.size());
    if ( !body.empty() )
        std::memcpy(buffer, body.data(), body.size());
    const size_t size = body.size();
    std::vector<char>().swap(body);
    m_guard.Deliver(buffer, size);
    wxLogTrace("lumora", "DownloadThread stopped: %lu bytes from %s", static_cast<unsigned long>(size),
               m_url->GetURL());
    return 0;
}
