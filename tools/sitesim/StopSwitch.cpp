#include "sitesim/StopSwitch.h"

#include <algorithm>
#include <chrono>

namespace sitesim
{

void StopSwitch::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = false;
}

void StopSwitch::Raise()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
}

bool StopSwitch::Pause(int ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_changed.wait_for(lock, std::chrono::milliseconds(std::max(ms, 0)), [this] { return m_stopping; });
}

}
