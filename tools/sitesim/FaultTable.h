#pragma once

#include "sitesim/Fault.h"
#include "sitesim/FaultMix.h"

#include <map>
#include <mutex>
#include <string>

namespace sitesim
{

// Which fault each request's answer gets: the one a test set for its path, for a number of
// times or for good, else one of the random mix.
class FaultTable
{
public:
    // mutex is the site's lock, which guards all of its parts.
    explicit FaultTable(std::mutex& mutex);

    void SetFault(const std::string& path, const Fault& fault, int times);
    void ClearFault(const std::string& path);
    void ClearFaults();
    void SetRandomFaults(double share, unsigned seed);

    // The fault for the next request for path, counted as used; the caller holds the lock.
    Fault TakeLocked(const std::string& path);

private:
    struct FaultEntry
    {
        Fault fault;
        int times = -1;
    };

    // The fault set for path, if any.
    Fault TakeFaultLocked(const std::string& path);

    std::mutex& m_mutex;
    std::map<std::string, FaultEntry> m_faults;
    FaultMix m_faultMix;
};

}
