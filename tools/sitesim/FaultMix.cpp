#include "sitesim/FaultMix.h"

#include <algorithm>

namespace sitesim
{

namespace
{
struct Weighted
{
    Fault::Kind kind;
    uint32_t weight;
};

// Errors and dropped connections are what a struggling site gives most.
const Weighted MIX[] = {
    {Fault::HTTP_ERROR, 4}, {Fault::CLOSE, 2},        {Fault::DELAY, 2},    {Fault::TRUNCATE, 2},
    {Fault::GARBAGE, 1},    {Fault::WRONG_LENGTH, 1}, {Fault::OVERSIZE, 1}, {Fault::LONG_LINE, 1},
};

const int ERROR_STATUSES[] = {500, 502, 503, 404};

// Long enough that a client's time-out often comes first, short enough to end by itself.
const uint32_t MIN_DELAY_MS = 2000;
const uint32_t MAX_DELAY_MS = 6000;

// Big for a list or a picture, small enough to be read to the end.
const uint32_t MIN_OVERSIZE = 256 * 1024;
const uint32_t MAX_OVERSIZE = 1024 * 1024;
}

FaultMix::FaultMix(double share, unsigned seed)
    : m_share(std::min(std::max(share, 0.0), 1.0))
    , m_random(seed)
{
}

uint32_t FaultMix::Draw(uint32_t count)
{
    return static_cast<uint32_t>((static_cast<uint64_t>(m_random()) * count) >> 32);
}

Fault FaultMix::Next()
{
    if ( m_share <= 0 )
        return Fault();
    // 24 bits are plenty for a share, and 1.0 always hits.
    if ( (m_random() >> 8) * (1.0 / (1u << 24)) >= m_share )
        return Fault();

    uint32_t total = 0;
    for ( const Weighted& entry : MIX )
        total += entry.weight;
    uint32_t pick = Draw(total);
    Fault::Kind kind = MIX[0].kind;
    for ( const Weighted& entry : MIX )
    {
        if ( pick < entry.weight )
        {
            kind = entry.kind;
            break;
        }
        pick -= entry.weight;
    }

    switch ( kind )
    {
        case Fault::HTTP_ERROR:
            return Fault::HttpError(ERROR_STATUSES[Draw(sizeof(ERROR_STATUSES) / sizeof(ERROR_STATUSES[0]))]);
        case Fault::DELAY:
            return Fault::Delay(static_cast<int>(MIN_DELAY_MS + Draw(MAX_DELAY_MS - MIN_DELAY_MS + 1)));
        case Fault::OVERSIZE:
            return Fault::Oversize(MIN_OVERSIZE + Draw(MAX_OVERSIZE - MIN_OVERSIZE + 1));
        default:
            // Their defaults will do: half a body, 4 KiB of garbage, a length 100 too long,
            // a 300 KiB line.
            return Fault::Of(kind);
    }
}

}
