#include "net/StopSignal.h"

#include <wx/thread.h>

#include <atomic>
#include <chrono>
#include <map>

namespace
{
// Which thread has which signal. A map rather than a thread_local, whose storage in a loaded
// library is allocated on the thread and freed elsewhere.
wxMutex gs_bindingsLock;
std::map<wxThreadIdType, StopSignal*> gs_bindings;
std::atomic<unsigned long> gs_serials{ 0 };
}

StopSignal::StopSignal()
    : m_serial(++gs_serials)
{
}

StopSignal::~StopSignal() = default;

void StopSignal::Raise()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_up = true;
    m_raised.notify_all();
    for ( const std::function<void()>& wake : m_wakers )
        wake();
}

bool StopSignal::IsRaised() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_up;
}

bool StopSignal::Sleep(long ms)
{
    // Against a steady deadline: one wait, however the wall clock moves.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::unique_lock<std::mutex> lock(m_lock);
    m_raised.wait_until(lock, deadline, [this] { return m_up; });
    return !m_up;
}

StopSignal::Waker::Waker(StopSignal* signal, const std::function<void()>& wake)
    : m_signal(signal)
{
    if ( !m_signal )
        return;
    std::lock_guard<std::mutex> lock(m_signal->m_lock);
    m_entry = m_signal->m_wakers.insert(m_signal->m_wakers.end(), wake);
    if ( m_signal->m_up )
        wake();
}

StopSignal::Waker::~Waker()
{
    if ( !m_signal )
        return;
    // Once this returns, nobody calls the function any more.
    std::lock_guard<std::mutex> lock(m_signal->m_lock);
    m_signal->m_wakers.erase(m_entry);
}

StopSignal::Binding::Binding(StopSignal& signal)
{
    wxMutexLocker lock(gs_bindingsLock);
    gs_bindings[wxThread::GetCurrentId()] = &signal;
}

StopSignal::Binding::~Binding()
{
    wxMutexLocker lock(gs_bindingsLock);
    gs_bindings.erase(wxThread::GetCurrentId());
}

StopSignal* StopSignal::OfThisThread()
{
    wxMutexLocker lock(gs_bindingsLock);
    const auto found = gs_bindings.find(wxThread::GetCurrentId());
    return found == gs_bindings.end() ? nullptr : found->second;
}
