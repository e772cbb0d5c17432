#include "net/DownloadThread.h"

#include "net/HttpClient.h"

#include <wx/app.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/protocol/http.h>
#include <wx/stopwatch.h>
#include <wx/url.h>
#include <wx/utils.h>
#include <wx/weakref.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#ifdef __LINUX__
#include <sys/syscall.h>
#include <unistd.h>
#endif

const size_t DownloadThread::MAX_BODY_SIZE = 8 * 1024 * 1024;

namespace
{
const wxEventType DOWNLOAD_RESULT = wxNewEventType();
const size_t CHUNK_SIZE = 64 * 1024;

struct OperatorDelete
{
    void operator()(void* buffer) const { ::operator delete(buffer); }
};
typedef std::unique_ptr<void, OperatorDelete> BodyBuffer;

// The download threads that have not yet ended, and what the main thread needs to wait for them.
struct Registry
{
    wxMutex lock;
    wxCondition ended{ lock };
    int running = 0;
    bool stopping = false;
    // System ids of threads whose objects are gone but whose last instructions may still run.
    std::vector<long> exiting;
    wxEvtHandler* dispatcher = nullptr;
};
Registry gs_registry;

long CurrentSystemThreadId()
{
#ifdef __LINUX__
    return static_cast<long>(syscall(SYS_gettid));
#else
    return 0;
#endif
}

bool SystemThreadGone(long id)
{
#ifdef __LINUX__
    return !wxFileName::DirExists(wxString::Format("/proc/self/task/%ld", id));
#else
    wxUnusedVar(id);
    return true;
#endif
}

// A thread's object is deleted by the thread itself, which then still returns through our code:
// the library may only go once the system thread has ended too. Bounded, since an id may have
// been taken over by another thread meanwhile.
void WaitUntilGone(const std::vector<long>& ids)
{
    const long LIMIT_MS = 2000;
    wxStopWatch watch;
    for ( long id : ids )
    {
        while ( !SystemThreadGone(id) && watch.Time() < LIMIT_MS )
            wxMilliSleep(1);
    }
}
}

// Who gets a result. Holds a weak reference, so it is made, read and destroyed only on the main
// thread; the download thread only carries the pointer.
class DownloadThread::Delivery
{
public:
    Delivery(wxEvtHandler* receiver, int id)
        : m_receiver(receiver)
        , m_id(id)
    {
    }

    wxEvtHandler* GetReceiver() const { return m_receiver.get(); }
    int GetId() const { return m_id; }

private:
    wxWeakRef<wxEvtHandler> m_receiver;
    int m_id;
};

// A body on its way to the main thread; whatever is not handed over dies with the event there.
class DownloadThread::ResultEvent : public wxEvent
{
public:
    ResultEvent(Delivery* delivery, BodyBuffer body, size_t size)
        : wxEvent(wxID_ANY, DOWNLOAD_RESULT)
        , m_delivery(delivery)
        , m_body(std::move(body))
        , m_size(size)
    {
    }

    // Never posted by copy: a copy carries nothing.
    wxEvent* Clone() const override { return new ResultEvent(nullptr, BodyBuffer(), 0); }

    Delivery* GetDelivery() const { return m_delivery.get(); }
    bool HasBody() const { return m_body != nullptr; }
    size_t GetSize() const { return m_size; }
    void* ReleaseBody() { return m_body.release(); }

private:
    std::unique_ptr<Delivery> m_delivery;
    BodyBuffer m_body;
    size_t m_size;
};

// Lives on the main thread and passes each result to its receiver if the receiver still exists.
class DownloadThread::Dispatcher : public wxEvtHandler
{
public:
    // Hands over everything queued so far.
    void Flush()
    {
        for ( ;; )
        {
            {
                wxCriticalSectionLocker lock(m_pendingEventsLock);
                if ( !m_pendingEvents || m_pendingEvents->IsEmpty() )
                    return;
            }
            ProcessPendingEvents();
        }
    }

private:
    void OnResult(wxEvent& event);

    wxDECLARE_EVENT_TABLE();
};

wxBEGIN_EVENT_TABLE(DownloadThread::Dispatcher, wxEvtHandler)
    EVT_CUSTOM(DOWNLOAD_RESULT, wxID_ANY, DownloadThread::Dispatcher::OnResult)
wxEND_EVENT_TABLE()

void DownloadThread::Dispatcher::OnResult(wxEvent& event)
{
    ResultEvent& result = static_cast<ResultEvent&>(event);
    Delivery* delivery = result.GetDelivery();
    if ( !delivery )
        return;
    wxEvtHandler* receiver = delivery->GetReceiver();
    // A window whose destruction is already under way must not get it either.
    if ( !receiver || (wxTheApp && wxTheApp->IsScheduledForDestruction(receiver)) )
    {
        wxLogTrace("lumora", "DownloadThread: the receiver is gone, the body is dropped");
        return;
    }
    DownloadFinishedEvent finished(wxEVT_DOWNLOAD_FINISHED, delivery->GetId());
    if ( result.HasBody() )
    {
        finished.SetInt(static_cast<int>(result.GetSize()));
        finished.SetClientData(result.ReleaseBody());
    }
    receiver->ProcessEvent(finished);
}

DownloadThread::DownloadThread(wxEvtHandler* handler, int id, wxURL* url, wxHTTP* http,
                               unsigned int priority, wxThreadKind kind)
    : wxThread(kind)
    , m_handler(handler)
    , m_id(id)
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

    wxMutexLocker lock(gs_registry.lock);
    if ( !gs_registry.dispatcher )
        gs_registry.dispatcher = new Dispatcher;
    m_dispatcher = static_cast<Dispatcher*>(gs_registry.dispatcher);
    if ( m_handler )
        m_delivery = new Delivery(m_handler, m_id);
    ++gs_registry.running;
    m_counted = true;
    // Forget threads that have long ended, so that the list stays short.
    if ( gs_registry.exiting.size() > 64 )
    {
        std::vector<long>& exiting = gs_registry.exiting;
        exiting.erase(std::remove_if(exiting.begin(), exiting.end(), SystemThreadGone), exiting.end());
    }
}

DownloadThread::~DownloadThread()
{
    delete m_url;
    delete m_http;
    if ( m_delivery )
    {
        // Never ran: on the main thread nobody waits for an event; elsewhere the receiver gets
        // its one (failed) event, and the delivery is destroyed on the main thread.
        if ( wxThread::IsMain() || !m_dispatcher )
            delete m_delivery;
        else
            m_dispatcher->QueueEvent(new ResultEvent(m_delivery, BodyBuffer(), 0));
        m_delivery = nullptr;
    }
    Unregister();
}

void DownloadThread::OnExit()
{
    // A joinable thread is done here; its object may live on with its owner.
    if ( !IsDetached() )
        Unregister();
}

void DownloadThread::Unregister()
{
    if ( !m_counted )
        return;
    m_counted = false;
    wxMutexLocker lock(gs_registry.lock);
    if ( m_systemThreadId != 0 )
        gs_registry.exiting.push_back(m_systemThreadId);
    --gs_registry.running;
    gs_registry.ended.Broadcast();
}

void DownloadThread::WaitForAll()
{
    wxASSERT_MSG(wxThread::IsMain(), "only the main thread waits for the downloads");
    wxStopWatch watch;
    wxEvtHandler* dispatcher = nullptr;
    std::vector<long> exiting;
    int waitedFor = 0;
    {
        wxMutexLocker lock(gs_registry.lock);
        waitedFor = gs_registry.running;
        if ( waitedFor > 0 )
            wxLogTrace("lumora", "DownloadThread: waiting for %d download(s)", waitedFor);
        gs_registry.stopping = true;
        while ( gs_registry.running > 0 )
            gs_registry.ended.Wait();
        gs_registry.stopping = false;
        exiting.swap(gs_registry.exiting);
        std::swap(dispatcher, gs_registry.dispatcher);
    }
    WaitUntilGone(exiting);
    if ( dispatcher )
    {
        // Results still on their way go to their receivers (or are freed) now.
        static_cast<Dispatcher*>(dispatcher)->Flush();
        delete dispatcher;
    }
    if ( waitedFor > 0 )
        wxLogTrace("lumora", "DownloadThread: %d download(s) ended after %ld ms", waitedFor, watch.Time());
}

bool DownloadThread::ShouldStop()
{
    if ( TestDestroy() )
        return true;
    wxMutexLocker lock(gs_registry.lock);
    return gs_registry.stopping;
}

wxInputStream* DownloadThread::OpenBody()
{
    HttpClient* client = dynamic_cast<HttpClient*>(m_http);
    if ( !m_http )
    {
        // The URL's own client would hand its socket to the main loop: ours, with its settings.
        if ( !m_url->IsOk() )
            return nullptr;
        client = new HttpClient;
        client->SetTimeout(m_url->GetProtocol().GetTimeout());
        m_http = client;
    }
    // Quitting must not wait for a slow server.
    if ( client )
        client->SetStopTest([this] { return ShouldStop(); });

    // The configured host may carry a port: connect to both.
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

void DownloadThread::Finish(void* buffer, size_t size)
{
    BodyBuffer body(buffer);
    if ( !m_delivery )
        return;
    Delivery* delivery = m_delivery;
    m_delivery = nullptr;
    m_dispatcher->QueueEvent(new ResultEvent(delivery, std::move(body), size));
}

wxThread::ExitCode DownloadThread::Entry()
{
    m_systemThreadId = CurrentSystemThreadId();
    wxLogTrace("lumora", "DownloadThread started: %s", m_url->GetURL());

    std::unique_ptr<wxInputStream> input(OpenBody());
    if ( !input )
    {
        wxLogTrace("lumora", "DownloadThread stopped: no answer from %s", m_url->GetURL());
        Finish(nullptr, 0);
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
        Finish(nullptr, 0);
        wxLogTrace("lumora", "DownloadThread stopped: %s failed", m_url->GetURL());
        return reinterpret_cast<ExitCode>(1);
    }

    void* buffer = ::operator new(body.size());
    if ( !body.empty() )
        std::memcpy(buffer, body.data(), body.size());
    const size_t size = body.size();
    std::vector<char>().swap(body);
    Finish(buffer, size);
    wxLogTrace("lumora", "DownloadThread stopped: %lu bytes from %s", static_cast<unsigned long>(size),
               m_url->GetURL());
    return 0;
}
