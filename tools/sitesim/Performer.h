#pragma once

#include <string>

namespace sitesim
{

// One performer as the list script shows them.
struct Performer
{
    // The status words the list script can express.
    static constexpr int OFFLINE = 0x00;
    static constexpr int ONLINE = 0x01;
    static constexpr int FREE = 0x03;
    static constexpr int BUSY_PUBLIC = 0x0D;
    static constexpr int BUSY_PRIVATE = 0x15;

    std::string name;
    int status = ONLINE;

    bool operator==(const Performer& other) const
    {
        return name == other.name && status == other.status;
    }
    bool operator!=(const Performer& other) const { return !(*this == other); }
};

}
