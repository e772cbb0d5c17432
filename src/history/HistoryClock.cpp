#include "history/HistoryClock.h"

#include <ctime>

std::int64_t HistoryClock::Now() const
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

const HistoryClock& HistoryClock::System()
{
    static const HistoryClock clock;
    return clock;
}
