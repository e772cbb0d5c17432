#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace sitesim
{

// An endless supply of content that looks like a given kind of answer, handed out in pieces,
// so that huge and endless answers never sit in memory as a whole.
class FillerSource
{
public:
    enum Style
    {
        LIST_BLOCKS, // the list script's header, then performer blocks
        LIST_LINE,   // one line of list calls that never ends
        NAME_LINES,  // one name per line, like the favourites answer
        HTML,        // paragraphs of a page
        BYTES        // random bytes
    };

    FillerSource(Style style, unsigned seed);

    // The next piece: at most max bytes, at least one when max > 0.
    std::string Next(size_t max);

private:
    void Refill();

    Style m_style;
    std::mt19937 m_random;
    std::string m_pending;
    uint64_t m_index = 0;
};

}
