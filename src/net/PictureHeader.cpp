#include "net/PictureHeader.h"

#include <algorithm>
#include <cstring>

namespace
{
// What one GIF may make the decoder allocate at worst: about what a picture of the largest
// accepted size takes.
const unsigned long long MAX_GIF_BYTES = 64ull * 1024 * 1024;
// The decoder's own bookkeeping for each frame of a GIF, besides its pixels.
const unsigned long long GIF_FRAME_OVERHEAD = 1024;

unsigned int BigEndian16(const unsigned char* p)
{
    return (static_cast<unsigned int>(p[0]) << 8) | p[1];
}

long long BigEndian32(const unsigned char* p)
{
    return (static_cast<long long>(p[0]) << 24) | (static_cast<long long>(p[1]) << 16)
           | (static_cast<long long>(p[2]) << 8) | p[3];
}

unsigned int LittleEndian16(const unsigned char* p)
{
    return p[0] | (static_cast<unsigned int>(p[1]) << 8);
}

long long LittleEndian32Signed(const unsigned char* p)
{
    const unsigned long long value = p[0] | (static_cast<unsigned long long>(p[1]) << 8)
                                     | (static_cast<unsigned long long>(p[2]) << 16)
                                     | (static_cast<unsigned long long>(p[3]) << 24);
    return value >= 0x80000000ull ? static_cast<long long>(value) - 0x100000000ll
                                  : static_cast<long long>(value);
}

bool SideFits(long long side)
{
    return side > 0 && side <= PictureHeader::MAX_SIDE;
}

// Walks the markers the way the JPEG library does (skipping stray bytes and fill bytes up to the
// next marker, and every segment by its length), so that both meet the same frame header.
bool JpegFits(const unsigned char* data, size_t size)
{
    if ( size < 4 || data[0] != 0xFF || data[1] != 0xD8 )
        return false;
    size_t at = 2;
    for ( ;; )
    {
        while ( at < size && data[at] != 0xFF )
            ++at;
        while ( at < size && data[at] == 0xFF )
            ++at;
        if ( at >= size )
            return false;
        const unsigned char marker = data[at++];
        if ( marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7) )
            continue;
        // A second start, the end, or image data before any frame header.
        if ( marker == 0xD8 || marker == 0xD9 || marker == 0xDA )
            return false;
        if ( at + 2 > size )
            return false;
        const size_t length = BigEndian16(data + at);
        if ( length < 2 )
            return false;
        const bool frameHeader = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4
                                 && marker != 0xC8 && marker != 0xCC;
        if ( frameHeader )
        {
            // length, precision, height, width
            if ( at + 7 > size )
                return false;
            return SideFits(BigEndian16(data + at + 3)) && SideFits(BigEndian16(data + at + 5));
        }
        at += length;
    }
}

bool PngFits(const unsigned char* data, size_t size)
{
    static const unsigned char SIGNATURE[8] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };
    if ( size < 24 || std::memcmp(data, SIGNATURE, sizeof SIGNATURE) != 0
         || std::memcmp(data + 12, "IHDR", 4) != 0 )
        return false;
    return SideFits(BigEndian32(data + 16)) && SideFits(BigEndian32(data + 20));
}

// The toolkit's GIF decoder reads every frame, each up to the screen size of the header, and may
// take any 0x2C byte for the start of one. So the worst case is bounded without following the
// compressed data: every such byte a frame of the whole screen.
bool GifFits(const unsigned char* data, size_t size)
{
    if ( size < 13 || std::memcmp(data, "GIF", 3) != 0 )
        return false;
    const unsigned int width = LittleEndian16(data + 6);
    const unsigned int height = LittleEndian16(data + 8);
    if ( !SideFits(width) || !SideFits(height) )
        return false;
    const unsigned long long frames = std::count(data + 13, data + size, 0x2C);
    return frames * (static_cast<unsigned long long>(width) * height + GIF_FRAME_OVERHEAD)
           <= MAX_GIF_BYTES;
}

bool BmpFits(const unsigned char* data, size_t size)
{
    if ( size < 26 || data[0] != 'B' || data[1] != 'M' )
        return false;
    const long long headerSize = LittleEndian32Signed(data + 14);
    if ( headerSize == 12 )
        return SideFits(LittleEndian16(data + 18)) && SideFits(LittleEndian16(data + 20));
    if ( headerSize < 40 )
        return false;
    const long long width = LittleEndian32Signed(data + 18);
    const long long height = LittleEndian32Signed(data + 22);
    // A negative height means rows stored top down.
    return SideFits(width) && SideFits(height < 0 ? -height : height);
}
}

PictureHeader::Format PictureHeader::AcceptedFormat(const void* data, size_t size)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    if ( JpegFits(bytes, size) )
        return FORMAT_JPEG;
    if ( PngFits(bytes, size) )
        return FORMAT_PNG;
    if ( GifFits(bytes, size) )
        return FORMAT_GIF;
    if ( BmpFits(bytes, size) )
        return FORMAT_BMP;
    return FORMAT_NONE;
}
