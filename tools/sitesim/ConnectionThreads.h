#pragma once

#include <httplib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace sitesim
{

// A thread per connection instead of the library's fixed pool, so that slow answers (delays,
// endless bodies) never hold up the others. Finished threads are joined as new ones come.
class ConnectionThreads : public httplib::TaskQueue
{
public:
    ConnectionThreads() = default;
    ~ConnectionThreads() override;

    void enqueue(std::function<void()> fn) override;
    void shutdown() override;

private:
    struct Worker
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void JoinFinishedLocked();

    std::mutex m_mutex;
    std::vector<Worker> m_workers;
};

}
