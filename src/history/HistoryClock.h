#pragma once

#include <cstdint>

// What time it is for the watch history, in seconds since 1970 (UTC). Tests and benchmarks give
// the history one of their own, so that a year passes in seconds.
class HistoryClock
{
public:
    virtual ~HistoryClock() = default;

    virtual std::int64_t Now() const;

    // The clock of the real world, for whoever is given none.
    static const HistoryClock& System();
};
