#pragma once

#include "history/HistoryClock.h"

#include <atomic>
#include <cstdint>

// A clock for the watch history that the test moves; read from the writer's thread too.
class TestClock : public HistoryClock
{
public:
    explicit TestClock(std::int64_t now = 1800000000) : m_now(now) {}

    std::int64_t Now() const override { return m_now; }
    void Set(std::int64_t now) { m_now = now; }

private:
    std::atomic<std::int64_t> m_now;
};
