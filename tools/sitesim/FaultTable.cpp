#include "sitesim/FaultTable.h"

#include "sitesim/SiteRoutes.h"

namespace sitesim
{

FaultTable::FaultTable(std::mutex& mutex)
    : m_mutex(mutex)
{
}

void FaultTable::SetFault(const std::string& path, const Fault& fault, int times)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if ( fault.kind == Fault::NONE || times == 0 )
        m_faults.erase(path);
    else
        m_faults[path] = FaultEntry{fault, times < 0 ? -1 : times};
}

void FaultTable::ClearFault(const std::string& path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.erase(path);
}

void FaultTable::ClearFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.clear();
}

void FaultTable::SetRandomFaults(double share, unsigned seed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faultMix = FaultMix(share, seed);
}

Fault FaultTable::TakeLocked(const std::string& path)
{
    Fault fault = TakeFaultLocked(path);
    // The preview page opens in the user's browser, where our faults would prove nothing.
    if ( fault.kind == Fault::NONE && path != SiteRoutes::PREVIEW_PATH )
        fault = m_faultMix.Next();
    return fault;
}

Fault FaultTable::TakeFaultLocked(const std::string& path)
{
    const auto it = m_faults.find(path);
    if ( it == m_faults.end() )
        return Fault();
    const Fault fault = it->second.fault;
    if ( it->second.times > 0 && --it->second.times == 0 )
        m_faults.erase(it);
    return fault;
}

}
