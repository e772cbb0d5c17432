#pragma once

#include <string>

namespace sitesim
{

// Draws a performer's thumbnail: a small JPEG whose colours and shapes follow from the name,
// so every performer has her own picture and the same one every time.
class ThumbnailMaker
{
public:
    static const int WIDTH = 120;
    static const int HEIGHT = 90;

    // The JPEG file's bytes; empty only if the encoder failed.
    static std::string Make(const std::string& name);
};

}
