#pragma once

#include "model/UserList.h"

#include <cstdint>
#include <memory>

// What one successful poll saw, as the watch history takes it: when, how far apart the polls
// are, who was online, and what changed since the poll before. The lists are shared with the
// polling thread and never changed once made.
struct PollRecord
{
    // Seconds since 1970 (UTC).
    std::int64_t time = 0;
    int intervalSeconds = 0;
    std::shared_ptr<const UserList> online;
    // Empty for the first poll of a run, which only the whole list describes.
    std::shared_ptr<const UserList> added;
    std::shared_ptr<const UserList> deleted;
    std::shared_ptr<const UserList> changed;

    bool IsFirst() const { return !added; }
};
