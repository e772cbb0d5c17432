#pragma once

#include <string>

namespace sitesim
{

// A file's bytes, read in one go: an update is tens of megabytes under a sanitizer, and a
// byte-at-a-time copy of it kept the answer's head waiting for seconds.
class WholeFile
{
public:
    // False when the file cannot be opened or read to its end.
    static bool Read(const std::string& path, std::string& contents);
};

}
