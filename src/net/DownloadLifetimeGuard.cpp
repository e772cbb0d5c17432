#include "net/DownloadLifetimeGuard.h"

#include "net/DownloadFinishedEvent.h"
#include "net/StopSignal.h"

#include <wx/app.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/stopwatch.h>
#include <wx/thread.h>
#include <wx/utils.h>
#include <wx/weakref.h>

#include <algorithm>
#include <memory>
#include <vector>

#ifdef __UNIX__
#include <pthread.h>
#endif
#ifdef __LINUX__
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace
{
const wxEventType DOWNLOAD_RESULT = wxNewEventType();
// How long WaitForAll waits for system threads whose objects are already gone.
const long SYSTEM_THREAD_END_LIMIT_MS = 2000;

struct OperatorDelete
{
    void operator()(void* buffer) const { ::operator delete(buffer); }
};
typedef std::unique_ptr<void, OperatorDelete> BodyBuffer;

// The download threads that have not yet ended, and what the main thread needs to wait for them.
struct Registry
{
    wxMutex lock;
    wxCondition changed{ lock };
    // Downloads enlisted and not yet released.
    int running = 0;
    // System threads that entered a download and have not yet passed their very end.
    int systemThreads = 0;
    bool stopping = false;
    // What ends the waits of the running downloads at once.
    std::vector<StopSignal*> stops;
    // System ids of threads that passed their very end but whose last instructions may still run.
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

#ifdef __UNIX__
// Called by the system among the last instructions of a download thread, after the toolkit has
// deleted a detached thread's object and is done with it: the only hand-over from that late, so
// that WaitForAll sees everything the thread did.
void SystemThreadEnded(void* value)
{
    std::unique_ptr<long> id(static_cast<long*>(value));
    wxMutexLocker lock(gs_registry.lock);
    --gs_registry.systemThreads;
    if ( *id != 0 )
        gs_registry.exiting.push_back(*id);
    gs_registry.changed.Broadcast();
}

// The key by which each download thread asks for that call. A key rather than a thread_local,
// whose storage in a loaded library the system allocates on the thread and frees on another.
struct SystemThreadEndKey
{
    SystemThreadEndKey() { created = pthread_key_create(&key, SystemThreadEnded) == 0; }
    // The library goes: no thread may call into it any more.
    ~SystemThreadEndKey()
    {
        if ( created )
            pthread_key_delete(key);
    }

    pthread_key_t key{};
    bool created = false;
};
SystemThreadEndKey gs_threadEndKey;
#endif

// What is left of each thread after its end are a few instructions of ours: the library may only
// go once the system thread has ended too. Bounded, since an id may have been taken over by
// another thread meanwhile.
void WaitUntilGone(const std::vector<long>& ids, const wxStopWatch& watch)
{
    for ( long id : ids )
    {
        while ( !SystemThreadGone(id) && watch.Time() < SYSTEM_THREAD_END_LIMIT_MS )
            wxMilliSleep(1);
    }
}
}

// Who gets a result. Holds a weak reference, so it is made, read and destroyed only on the main
// thread; the download thread only carries the pointer.
class DownloadLifetimeGuard::Delivery
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
class DownloadLifetimeGuard::ResultEvent : public wxEvent
{
public:
    ResultEvent(Delivery* delivery, BodyBuffer body, size_t size)
        : wxEvent(wxID_ANY, DOWNLOAD_RESULT)
        , m_delivery(delivery)
        , m_body(std::move(body))
        , m_size(size)
    {
    }

    // The body and its delivery have one owner: a copy would silently reach nobody.
    wxEvent* Clone() const override
    {
        wxFAIL_MSG("a download result is queued as it is, never posted by copy");
        return nullptr;
    }

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
class DownloadLifetimeGuard::Dispatcher : public wxEvtHandler
{
public:
    // Hands over everything queued so far.
    void Flush()
    {
        // Without an application (the toolkit is ending) nobody is left to get them: they go
        // with the dispatcher, buffers and all.
        if ( !wxTheApp )
            return;
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

wxBEGIN_EVENT_TABLE(DownloadLifetimeGuard::Dispatcher, wxEvtHandler)
    EVT_CUSTOM(DOWNLOAD_RESULT, wxID_ANY, DownloadLifetimeGuard::Dispatcher::OnResult)
wxEND_EVENT_TABLE()

void DownloadLifetimeGuard::Dispatcher::OnResult(wxEvent& event)
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

DownloadLifetimeGuard::~DownloadLifetimeGuard()
{
    if ( m_delivery )
    {
        // Never ran: on the main thread nobody waits for an event; elsewhere the receiver gets
        // its one (failed) event, and the delivery is destroyed on the main thread.
        if ( wxThread::IsMain() )
        {
            delete m_delivery;
            m_delivery = nullptr;
        }
        else
        {
            Deliver(nullptr, 0);
        }
    }
    Release();
}

void DownloadLifetimeGuard::Enlist(wxEvtHandler* receiver, int id, StopSignal* stop)
{
    wxASSERT_MSG(wxThread::IsMain(), "a download is enlisted on the main thread");
    wxMutexLocker lock(gs_registry.lock);
    if ( !gs_registry.dispatcher )
        gs_registry.dispatcher = new Dispatcher;
    if ( receiver )
        m_delivery = new Delivery(receiver, id);
    if ( stop )
    {
        m_stop = stop;
        gs_registry.stops.push_back(stop);
    }
    ++gs_registry.running;
    m_enlisted = true;
    // Forget threads that have long ended, so that the list stays short.
    if ( gs_registry.exiting.size() > 64 )
    {
        std::vector<long>& exiting = gs_registry.exiting;
        exiting.erase(std::remove_if(exiting.begin(), exiting.end(), SystemThreadGone), exiting.end());
    }
}

void DownloadLifetimeGuard::EnterThread()
{
#ifdef __UNIX__
    if ( !gs_threadEndKey.created || pthread_getspecific(gs_threadEndKey.key) )
        return;
    std::unique_ptr<long> id(new long(CurrentSystemThreadId()));
    wxMutexLocker lock(gs_registry.lock);
    if ( pthread_setspecific(gs_threadEndKey.key, id.get()) == 0 )
    {
        id.release();
        ++gs_registry.systemThreads;
    }
#endif
}

void DownloadLifetimeGuard::Deliver(void* body, size_t size)
{
    BodyBuffer owned(body);
    if ( !m_delivery )
        return;
    Delivery* delivery = m_delivery;
    m_delivery = nullptr;
    // Enlisted and not yet released: WaitForAll keeps the dispatcher until then.
    wxEvtHandler* dispatcher = nullptr;
    {
        wxMutexLocker lock(gs_registry.lock);
        dispatcher = gs_registry.dispatcher;
    }
    dispatcher->QueueEvent(new ResultEvent(delivery, std::move(owned), size));
}

void DownloadLifetimeGuard::Release()
{
    if ( !m_enlisted )
        return;
    m_enlisted = false;
    wxMutexLocker lock(gs_registry.lock);
    if ( m_stop )
    {
        std::vector<StopSignal*>& stops = gs_registry.stops;
        stops.erase(std::remove(stops.begin(), stops.end(), m_stop), stops.end());
        m_stop = nullptr;
    }
    --gs_registry.running;
    gs_registry.changed.Broadcast();
}

bool DownloadLifetimeGuard::IsStopping()
{
    wxMutexLocker lock(gs_registry.lock);
    return gs_registry.stopping;
}

void DownloadLifetimeGuard::WaitForAll()
{
    wxASSERT_MSG(wxThread::IsMain(), "only the main thread waits for the downloads");
    wxStopWatch watch;
    wxEvtHandler* dispatcher = nullptr;
    std::vector<long> exiting;
    int waitedFor = 0;
    wxStopWatch sinceObjectsEnded;
    {
        wxMutexLocker lock(gs_registry.lock);
        waitedFor = gs_registry.running;
        if ( waitedFor > 0 )
            wxLogTrace("lumora", "DownloadThread: waiting for %d download(s)", waitedFor);
        gs_registry.stopping = true;
        for ( StopSignal* stop : gs_registry.stops )
            stop->Raise();
        while ( gs_registry.running > 0 )
            gs_registry.changed.Wait();
        gs_registry.stopping = false;
        // Each object is deleted by its own thread, which then still runs the toolkit's code and
        // ours on its way out.
        sinceObjectsEnded.Start();
        while ( gs_registry.systemThreads > 0 )
        {
            const long left = SYSTEM_THREAD_END_LIMIT_MS - sinceObjectsEnded.Time();
            if ( left <= 0 || gs_registry.changed.WaitTimeout(left) == wxCOND_TIMEOUT )
                break;
        }
        exiting.swap(gs_registry.exiting);
        std::swap(dispatcher, gs_registry.dispatcher);
    }
    WaitUntilGone(exiting, sinceObjectsEnded);
    if ( dispatcher )
    {
        // Results still on their way go to their receivers (or are freed) now.
        static_cast<Dispatcher*>(dispatcher)->Flush();
        delete dispatcher;
    }
    if ( waitedFor > 0 )
        wxLogTrace("lumora", "DownloadThread: %d download(s) ended after %ld ms", waitedFor, watch.Time());
}
