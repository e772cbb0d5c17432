#pragma once

#include <condition_variable>
#include <mutex>

namespace sitesim
{

// The site's stop, as the pauses of its answers see it: a stop cuts every pause short.
class StopSwitch
{
public:
    // The site runs (again): pauses last their time.
    void Clear();
    // The site stops: every pause ends now, and later ones at once.
    void Raise();
    // Waits ms; false when the site stopped before or meanwhile.
    bool Pause(int ms);

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stopping = false;
};

}
