#include "net/PictureFetcher.h"

#include "net/CurlSetup.h"
#include "net/DownloadLifetimeGuard.h"
#include "net/DownloadThread.h"
#include "net/HttpClient.h"
#include "net/StopSignal.h"

#include <wx/log.h>
#include <wx/thread.h>

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>

namespace
{
using Clock = std::chrono::steady_clock;

const long MAX_WAIT_MS = HttpClient::MAX_WAIT_SECONDS * 1000L;

long MillisecondsUntil(Clock::time_point now, Clock::time_point then)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(then - now).count());
}

// One picture asked for.
struct Job
{
    std::unique_ptr<DownloadLifetimeGuard> guard;
    std::string url;
    // The scheme and the server, whose connections the job takes turns on.
    std::string server;
    std::string hostHeader;
    long waitMs = 0;
    Clock::time_point asked;

    // The whole fetch, its turn included, ends by then.
    Clock::time_point Deadline() const { return asked + std::chrono::milliseconds(MAX_WAIT_MS); }

    // Hands the body over (null: the fetch failed); the job is done with.
    void Deliver(const std::string* body)
    {
        void* buffer = nullptr;
        if ( body )
        {
            buffer = ::operator new(body->size());
            if ( !body->empty() )
                std::memcpy(buffer, body->data(), body->size());
        }
        guard->Deliver(buffer, body ? body->size() : 0);
        guard.reset();
    }
};

// The fetches handed to the thread, and how it is woken for them.
struct Inbox
{
    std::mutex lock;
    std::deque<Job> jobs;
    // Set by the thread as it ends: later fetches need a thread of their own.
    bool closed = false;
    // What the thread waits on, while it does.
    CURLM* multi = nullptr;
};

// Only the main thread starts fetches, and so only it replaces the thread.
std::shared_ptr<Inbox> gs_inbox;

// One picture under way.
struct Transfer
{
    Job job;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    bool attached = false;
    std::string body;
    bool tooLong = false;
    Clock::time_point lastHeard;
    char error[CURL_ERROR_SIZE];

    Clock::time_point Deadline() const
    {
        return std::min(job.Deadline(), lastHeard + std::chrono::milliseconds(job.waitMs));
    }
};

class Worker : public wxThread
{
public:
    explicit Worker(const std::shared_ptr<Inbox>& inbox);

protected:
    ExitCode Entry() override;
    void OnDelete() override { m_stop.Raise(); }

private:
    typedef std::list<Transfer>::iterator Active;

    bool ShouldStop() { return m_stop.IsRaised() || TestDestroy(); }
    size_t CountActive(const std::string& server) const;
    // Whether a waiting job's server has a connection to spare.
    bool HasTurn() const;
    void Serve();
    void TakeNewJobs();
    void StartWaiting();
    bool Begin(Transfer& transfer);
    void TakeFinished();
    void ExpireStalled();
    long NextWaitMs() const;
    // Hands over what the transfer brought, as a download thread would: a body that breaks off
    // after a good head is the body.
    void Conclude(Active transfer, CURLcode result);
    void End(Active transfer, const std::string* body);
    void EndAll();

    static size_t OnHeader(char* data, size_t size, size_t count, void* transfer);
    static size_t OnBody(char* data, size_t size, size_t count, void* transfer);

    std::shared_ptr<Inbox> m_inbox;
    CURLM* m_multi = nullptr;
    CURLSH* m_share = nullptr;
    std::deque<Job> m_waiting;
    std::list<Transfer> m_active;
    // Raised when the fetcher is to stop: it ends its wait at once. Outlives the guard.
    StopSignal m_stop;
    DownloadLifetimeGuard m_guard;
};

Worker::Worker(const std::shared_ptr<Inbox>& inbox)
    : wxThread(wxTHREAD_DETACHED)
    , m_inbox(inbox)
{
    const wxThreadError error = Create(0);
    if ( error != wxTHREAD_NO_ERROR )
    {
        wxLogTrace("lumora", "PictureFetcher: Create failed (%d)", static_cast<int>(error));
        return;
    }
    // Counted as a running download, so that WaitForAll stops it and waits for its end.
    m_guard.Enlist(nullptr, wxID_ANY, &m_stop);
}

wxThread::ExitCode Worker::Entry()
{
    DownloadLifetimeGuard::EnterThread();
    wxLogTrace("lumora", "PictureFetcher started");
    m_multi = curl_multi_init();
    m_share = curl_share_init();
    if ( m_multi && m_share )
    {
        // As many kept as are used at once. Everything runs on this thread: the share needs no locks.
        curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, static_cast<long>(PictureFetcher::MAX_CONNECTIONS));
        curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        {
            std::lock_guard<std::mutex> lock(m_inbox->lock);
            m_inbox->multi = m_multi;
        }
        CURLM* multi = m_multi;
        StopSignal::Waker waker(&m_stop, [multi] { curl_multi_wakeup(multi); });
        Serve();
    }
    EndAll();
    wxLogTrace("lumora", "PictureFetcher stopped");
    return 0;
}

void Worker::Serve()
{
    for ( ;; )
    {
        if ( ShouldStop() )
            return;
        TakeNewJobs();
        StartWaiting();
        int running = 0;
        if ( curl_multi_perform(m_multi, &running) != CURLM_OK )
        {
            wxLogTrace("lumora", "PictureFetcher: the transfers failed");
            return;
        }
        TakeFinished();
        ExpireStalled();
        // A turn that came free goes to the next picture at once.
        if ( HasTurn() )
            continue;
        // Until the network, a fetch, a stop or the next deadline: nothing else wakes the thread.
        curl_multi_poll(m_multi, nullptr, 0, static_cast<int>(NextWaitMs()), nullptr);
    }
}

void Worker::TakeNewJobs()
{
    std::lock_guard<std::mutex> lock(m_inbox->lock);
    while ( !m_inbox->jobs.empty() )
    {
        m_waiting.push_back(std::move(m_inbox->jobs.front()));
        m_inbox->jobs.pop_front();
    }
}

size_t Worker::CountActive(const std::string& server) const
{
    return std::count_if(m_active.begin(), m_active.end(),
                         [&](const Transfer& transfer) { return transfer.job.server == server; });
}

bool Worker::HasTurn() const
{
    return std::any_of(m_waiting.begin(), m_waiting.end(), [this](const Job& job) {
        return CountActive(job.server) < static_cast<size_t>(PictureFetcher::MAX_CONNECTIONS);
    });
}

void Worker::StartWaiting()
{
    // In the order they were asked for; a server that has all its turns does not hold up another.
    for ( std::deque<Job>::iterator job = m_waiting.begin(); job != m_waiting.end(); )
    {
        if ( CountActive(job->server) >= static_cast<size_t>(PictureFetcher::MAX_CONNECTIONS) )
        {
            ++job;
            continue;
        }
        m_active.emplace_back();
        const Active transfer = std::prev(m_active.end());
        transfer->job = std::move(*job);
        job = m_waiting.erase(job);
        if ( !Begin(*transfer) )
        {
            wxLogTrace("lumora", "PictureFetcher: cannot ask for %s", transfer->job.url);
            End(transfer, nullptr);
        }
    }
}

bool Worker::Begin(Transfer& transfer)
{
    transfer.error[0] = '\0';
    transfer.lastHeard = Clock::now();
    transfer.easy = curl_easy_init();
    if ( !transfer.easy )
        return false;
    if ( !transfer.job.hostHeader.empty() )
        transfer.headers = curl_slist_append(nullptr, ("Host: " + transfer.job.hostHeader).c_str());
    bool ok = CurlSetup::Apply(transfer.easy, wxString::FromUTF8(transfer.job.url), transfer.headers,
                               wxVERSION_STRING, true, transfer.error);
    auto set = [&](CURLoption option, auto value) {
        ok = ok && curl_easy_setopt(transfer.easy, option, value) == CURLE_OK;
    };
    set(CURLOPT_SHARE, m_share);
    set(CURLOPT_PRIVATE, static_cast<void*>(&transfer));
    set(CURLOPT_HEADERFUNCTION, &Worker::OnHeader);
    set(CURLOPT_HEADERDATA, static_cast<void*>(&transfer));
    set(CURLOPT_WRITEFUNCTION, &Worker::OnBody);
    set(CURLOPT_WRITEDATA, static_cast<void*>(&transfer));
    if ( !ok || curl_multi_add_handle(m_multi, transfer.easy) != CURLM_OK )
        return false;
    transfer.attached = true;
    wxLogTrace("lumora", "PictureFetcher: GET %s", transfer.job.url);
    return true;
}

void Worker::TakeFinished()
{
    int left = 0;
    while ( CURLMsg* message = curl_multi_info_read(m_multi, &left) )
    {
        if ( message->msg != CURLMSG_DONE )
            continue;
        const CURLcode result = message->data.result;
        for ( Active transfer = m_active.begin(); transfer != m_active.end(); ++transfer )
        {
            if ( transfer->easy == message->easy_handle )
            {
                Conclude(transfer, result);
                break;
            }
        }
    }
}

void Worker::ExpireStalled()
{
    const Clock::time_point now = Clock::now();
    for ( Active transfer = m_active.begin(); transfer != m_active.end(); )
    {
        const Active next = std::next(transfer);
        if ( transfer->Deadline() <= now )
            Conclude(transfer, CURLE_OPERATION_TIMEDOUT);
        transfer = next;
    }
    while ( !m_waiting.empty() && m_waiting.front().Deadline() <= now )
    {
        wxLogTrace("lumora", "PictureFetcher: %s never had its turn", m_waiting.front().url);
        m_waiting.front().Deliver(nullptr);
        m_waiting.pop_front();
    }
}

long Worker::NextWaitMs() const
{
    if ( m_active.empty() && m_waiting.empty() )
        return INT_MAX;
    Clock::time_point next = Clock::time_point::max();
    for ( const Transfer& transfer : m_active )
        next = std::min(next, transfer.Deadline());
    // The queue is in the order of asking: its first ends first.
    if ( !m_waiting.empty() )
        next = std::min(next, m_waiting.front().Deadline());
    return std::max(0L, MillisecondsUntil(Clock::now(), next));
}

void Worker::Conclude(Active transfer, CURLcode result)
{
    long code = 0;
    curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &code);
    const std::string& url = transfer->job.url;
    if ( transfer->tooLong )
    {
        wxLogTrace("lumora", "PictureFetcher: %s is longer than %lu bytes", url,
                   static_cast<unsigned long>(DownloadThread::MAX_BODY_SIZE));
        End(transfer, nullptr);
        return;
    }
    const wxString failure = result == CURLE_OPERATION_TIMEDOUT ? wxString("timed out")
                             : transfer->error[0]               ? wxString::FromUTF8(transfer->error)
                                                                : wxString(curl_easy_strerror(result));
    if ( code < 100 || code >= 400 )
    {
        if ( code )
            wxLogTrace("lumora", "PictureFetcher: %s answered %ld", url, code);
        else
            wxLogTrace("lumora", "PictureFetcher: %s failed: %s", url, failure);
        End(transfer, nullptr);
        return;
    }
    if ( result != CURLE_OK )
        wxLogTrace("lumora", "PictureFetcher: %s broke off: %s", url, failure);
    wxLogTrace("lumora", "PictureFetcher: %lu bytes from %s", static_cast<unsigned long>(transfer->body.size()), url);
    End(transfer, &transfer->body);
}

void Worker::End(Active transfer, const std::string* body)
{
    if ( transfer->attached )
        curl_multi_remove_handle(m_multi, transfer->easy);
    if ( transfer->easy )
        curl_easy_cleanup(transfer->easy);
    curl_slist_free_all(transfer->headers);
    transfer->job.Deliver(body);
    m_active.erase(transfer);
}

void Worker::EndAll()
{
    std::deque<Job> left;
    {
        std::lock_guard<std::mutex> lock(m_inbox->lock);
        m_inbox->closed = true;
        m_inbox->multi = nullptr;
        left.swap(m_inbox->jobs);
    }
    while ( !m_active.empty() )
        End(m_active.begin(), nullptr);
    for ( std::deque<Job>* jobs : { &m_waiting, &left } )
    {
        for ( Job& job : *jobs )
            job.Deliver(nullptr);
        jobs->clear();
    }
    // The kept connections close here.
    if ( m_multi )
        curl_multi_cleanup(m_multi);
    if ( m_share )
        curl_share_cleanup(m_share);
}

size_t Worker::OnHeader(char* WXUNUSED(data), size_t size, size_t count, void* self)
{
    static_cast<Transfer*>(self)->lastHeard = Clock::now();
    return size * count;
}

size_t Worker::OnBody(char* data, size_t size, size_t count, void* self)
{
    Transfer& transfer = *static_cast<Transfer*>(self);
    const size_t length = size * count;
    transfer.lastHeard = Clock::now();
    if ( transfer.body.size() + length > DownloadThread::MAX_BODY_SIZE )
    {
        // A short count ends the transfer.
        transfer.tooLong = true;
        return 0;
    }
    transfer.body.append(data, length);
    return length;
}
}

bool PictureFetcher::Fetch(wxEvtHandler* receiver, int id, const wxString& url, const wxString& hostHeader,
                           int timeoutSeconds)
{
    wxASSERT_MSG(wxThread::IsMain(), "pictures are asked for on the main thread");
    const wxString scheme = url.BeforeFirst(':').Lower();
    if ( scheme != "http" && scheme != "https" )
        return false;
    Job job;
    job.guard.reset(new DownloadLifetimeGuard);
    job.guard->Enlist(receiver, id);
    job.url = url.utf8_str().data();
    const size_t path = job.url.find('/', job.url.find("://") + 3);
    job.server = job.url.substr(0, path);
    job.hostHeader = hostHeader.utf8_str().data();
    job.waitMs = std::min<long>(std::max(timeoutSeconds, 1), HttpClient::MAX_WAIT_SECONDS) * 1000L;
    job.asked = Clock::now();

    if ( gs_inbox )
    {
        std::lock_guard<std::mutex> lock(gs_inbox->lock);
        if ( !gs_inbox->closed )
        {
            gs_inbox->jobs.push_back(std::move(job));
            if ( gs_inbox->multi )
                curl_multi_wakeup(gs_inbox->multi);
            return true;
        }
    }
    std::shared_ptr<Inbox> inbox = std::make_shared<Inbox>();
    inbox->jobs.push_back(std::move(job));
    Worker* worker = new Worker(inbox);
    if ( worker->Run() != wxTHREAD_NO_ERROR )
    {
        // The job goes with its inbox, here on the main thread: no event will come.
        wxLogTrace("lumora", "PictureFetcher: the thread did not start");
        delete worker;
        return false;
    }
    gs_inbox = inbox;
    return true;
}
