#include "sitesim/ConnectionThreads.h"

#include <system_error>

namespace sitesim
{

ConnectionThreads::~ConnectionThreads()
{
    shutdown();
}

void ConnectionThreads::enqueue(std::function<void()> fn)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    JoinFinishedLocked();
    auto done = std::make_shared<std::atomic<bool>>(false);
    try
    {
        std::thread thread([fn, done] {
            fn();
            *done = true;
        });
        m_workers.push_back(Worker{std::move(thread), done});
    }
    catch ( const std::system_error& )
    {
        // No thread to be had: serve this one on the accepting thread rather than drop it.
        fn();
    }
}

void ConnectionThreads::shutdown()
{
    std::vector<Worker> workers;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        workers.swap(m_workers);
    }
    for ( Worker& worker : workers )
        worker.thread.join();
}

void ConnectionThreads::JoinFinishedLocked()
{
    for ( auto it = m_workers.begin(); it != m_workers.end(); )
    {
        if ( *it->done )
        {
            it->thread.join();
            it = m_workers.erase(it);
        }
        else
        {
            ++it;
        }
    }
}

}
