#include "sitesim/ThumbnailMaker.h"

#include <cstdio>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace sitesim
{

namespace
{
struct Rgb
{
    int r, g, b;
};

uint32_t HashName(const std::string& name)
{
    uint32_t hash = 2166136261u;
    for ( const unsigned char c : name )
    {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

Rgb FromHue(int hue, int saturation, int value)
{
    // Integer HSV to RGB; hue 0..359, saturation and value 0..255.
    const int region = hue / 60;
    const int remainder = (hue % 60) * 255 / 60;
    const int p = value * (255 - saturation) / 255;
    const int q = value * (255 - saturation * remainder / 255) / 255;
    const int t = value * (255 - saturation * (255 - remainder) / 255) / 255;
    switch ( region )
    {
        case 0: return {value, t, p};
        case 1: return {q, value, p};
        case 2: return {p, value, t};
        case 3: return {p, q, value};
        case 4: return {t, p, value};
        default: return {value, p, q};
    }
}

int Mix(int a, int b, int numerator, int denominator)
{
    return a + (b - a) * numerator / denominator;
}

std::vector<unsigned char> Draw(const std::string& name)
{
    const uint32_t hash = HashName(name);
    const int hue = static_cast<int>(hash % 360);
    const Rgb top = FromHue(hue, 120, 250);
    const Rgb bottom = FromHue((hue + 40) % 360, 200, 140);
    const Rgb figure = FromHue((hue + 180) % 360, 90, 70 + static_cast<int>((hash >> 9) % 60));
    const bool stripes = (hash >> 16) & 1;
    const int headX = ThumbnailMaker::WIDTH / 2 + static_cast<int>((hash >> 20) % 31) - 15;
    const int headY = 34;
    const int headRadius = 14 + static_cast<int>((hash >> 26) % 5);

    std::vector<unsigned char> pixels(ThumbnailMaker::WIDTH * ThumbnailMaker::HEIGHT * 3);
    for ( int y = 0; y < ThumbnailMaker::HEIGHT; ++y )
    {
        for ( int x = 0; x < ThumbnailMaker::WIDTH; ++x )
        {
            Rgb colour{Mix(top.r, bottom.r, y, ThumbnailMaker::HEIGHT),
                       Mix(top.g, bottom.g, y, ThumbnailMaker::HEIGHT),
                       Mix(top.b, bottom.b, y, ThumbnailMaker::HEIGHT)};
            if ( stripes && ((x + y) / 8) % 2 == 0 )
                colour = {colour.r * 9 / 10, colour.g * 9 / 10, colour.b * 9 / 10};

            const int dx = x - headX;
            const int dy = y - headY;
            const bool head = dx * dx + dy * dy <= headRadius * headRadius;
            // Shoulders: the top half of a wide ellipse standing on the bottom edge.
            const int sx = x - headX;
            const int sy = y - ThumbnailMaker::HEIGHT - 4;
            const bool shoulders = sx * sx * 4 + sy * sy * 9 <= 40 * 40 * 9;
            if ( head || shoulders )
                colour = figure;

            unsigned char* pixel = &pixels[static_cast<size_t>((y * ThumbnailMaker::WIDTH + x) * 3)];
            pixel[0] = static_cast<unsigned char>(colour.r);
            pixel[1] = static_cast<unsigned char>(colour.g);
            pixel[2] = static_cast<unsigned char>(colour.b);
        }
    }
    return pixels;
}

struct ErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info)
{
    // The library's default would end the process; go back to Encode instead.
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Plain C-style on purpose: nothing with a destructor lives between setjmp and longjmp.
bool Encode(const unsigned char* pixels, unsigned char** output, unsigned long* size)
{
    jpeg_compress_struct info;
    ErrorManager error;
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = OnJpegError;
    if ( setjmp(error.jump) )
    {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, output, size);
    info.image_width = ThumbnailMaker::WIDTH;
    info.image_height = ThumbnailMaker::HEIGHT;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 85, TRUE);
    jpeg_start_compress(&info, TRUE);
    while ( info.next_scanline < info.image_height )
    {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + info.next_scanline * ThumbnailMaker::WIDTH * 3);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}
}

std::string ThumbnailMaker::Make(const std::string& name)
{
    const std::vector<unsigned char> pixels = Draw(name);
    unsigned char* output = nullptr;
    unsigned long size = 0;
    std::string jpeg;
    if ( Encode(pixels.data(), &output, &size) && output )
        jpeg.assign(reinterpret_cast<const char*>(output), size);
    std::free(output);
    return jpeg;
}

}
