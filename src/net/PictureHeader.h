#pragma once

#include <cstddef>

// Sizes up a downloaded picture from its header alone, before anything decodes it: a few bytes
// may declare a picture that would take gigabytes once decoded.
class PictureHeader
{
public:
    enum Format
    {
        FORMAT_NONE,
        FORMAT_JPEG,
        FORMAT_PNG,
        FORMAT_GIF,
        FORMAT_BMP
    };

    // Larger pictures are refused before they are decoded.
    static constexpr int MAX_SIDE = 4096;

    // The format of data when it is one whose size we can read before decoding and the size it
    // declares is acceptable; FORMAT_NONE otherwise.
    static Format AcceptedFormat(const void* data, size_t size);
};
