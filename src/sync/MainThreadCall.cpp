#include "sync/MainThreadCall.h"

#include <wx/app.h>
#include <wx/log.h>
#include <wx/thread.h>

#include <memory>
#include <vector>

namespace
{
struct Handover
{
    wxMutex lock;
    wxCondition finished{ lock };
    bool done = false;
    bool abandoned = false;
};

// The calls on their way to the main thread. Ours rather than the application's queue: their code
// goes with the plug-in, so whatever is still queued must be gone before the plug-in is.
wxMutex gs_queueLock;
wxEvtHandler* gs_queue = nullptr;
// The work that waits for the main thread to wake, and whether it is looked at.
std::vector<std::function<void()>> gs_whenAwake;
bool gs_installed = false;

// The main thread goes idle after whatever woke it: what waited for that runs now.
void RunWhenAwake(wxIdleEvent& event)
{
    event.Skip();
    std::vector<std::function<void()>> work;
    {
        wxMutexLocker lock(gs_queueLock);
        work.swap(gs_whenAwake);
    }
    for ( const std::function<void()>& job : work )
        job();
}
}

void MainThreadCall::Queue(const std::function<void()>& job)
{
    wxMutexLocker queueLock(gs_queueLock);
    if ( !gs_queue )
        gs_queue = new wxEvtHandler;
    gs_queue->CallAfter(job);
}

void MainThreadCall::PostWhenAwake(const std::function<void()>& work)
{
    wxMutexLocker lock(gs_queueLock);
    if ( gs_installed )
        gs_whenAwake.push_back(work);
}

void MainThreadCall::Install()
{
    wxASSERT_MSG(wxThread::IsMain(), "installed on the main thread");
    wxMutexLocker lock(gs_queueLock);
    if ( gs_installed || !wxTheApp )
        return;
    wxTheApp->Bind(wxEVT_IDLE, &RunWhenAwake);
    gs_installed = true;
}

bool MainThreadCall::Run(const std::function<void(const std::function<bool()>&)>& work)
{
    if ( wxThread::IsMain() )
    {
        work([] { return false; });
        return true;
    }
    if ( !wxTheApp )
        return false;

    std::shared_ptr<Handover> handover = std::make_shared<Handover>();
    std::function<void(const std::function<bool()>&)> job = work;
    Queue([handover, job]() {
        {
            wxMutexLocker lock(handover->lock);
            if ( handover->abandoned )
                return;
        }
        job([handover] {
            wxMutexLocker lock(handover->lock);
            return handover->abandoned;
        });
        wxMutexLocker lock(handover->lock);
        handover->done = true;
        handover->finished.Broadcast();
    });

    wxThread* self = wxThread::This();
    wxMutexLocker lock(handover->lock);
    while ( !handover->done )
    {
        handover->finished.WaitTimeout(50);
        if ( handover->done )
            break;
        if ( self && self->TestDestroy() )
        {
            handover->abandoned = true;
            wxLogTrace("lumora", "MainThreadCall: abandoned, the thread is stopping");
            return false;
        }
    }
    return true;
}

void MainThreadCall::DropPending()
{
    wxASSERT_MSG(wxThread::IsMain(), "the queue is dropped on the main thread");
    wxEvtHandler* queue = nullptr;
    {
        wxMutexLocker lock(gs_queueLock);
        std::swap(queue, gs_queue);
        gs_whenAwake.clear();
        if ( gs_installed && wxTheApp )
            wxTheApp->Unbind(wxEVT_IDLE, &RunWhenAwake);
        gs_installed = false;
    }
    // Its queued calls, if any, go with it.
    delete queue;
}
