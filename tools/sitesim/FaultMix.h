#pragma once

#include "sitesim/Fault.h"

#include <cstdint>
#include <random>

namespace sitesim
{

// Spoils a share of the answers the way a bad network and an overloaded site do: errors,
// dropped and cut connections, garbled and oversized bodies, wrong lengths, answers too late
// to wait for, and a line longer than any reader expects. Every fault ends by itself. The
// same seed gives the same sequence, so a failure found under stress can be run again.
class FaultMix
{
public:
    explicit FaultMix(double share = 0, unsigned seed = 1);

    // The fault for the next request: NONE for all but about share of them.
    Fault Next();

private:
    // A number in [0, count), drawn the same way on every platform.
    uint32_t Draw(uint32_t count);

    double m_share;
    std::mt19937 m_random;
};

}
