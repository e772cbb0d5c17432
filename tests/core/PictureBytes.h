#pragma once

#include <string>

// Pictures written byte by byte, without the window toolkit's encoders: headers that declare
// any size, for the checks that read nothing else, and a GIF whose frames the decoder takes.
namespace PictureBytes
{
inline void Put16LittleEndian(std::string& out, int value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

inline void Put32LittleEndian(std::string& out, long value)
{
    for ( int shift = 0; shift < 32; shift += 8 )
        out += static_cast<char>((value >> shift) & 0xFF);
}

inline void Put16BigEndian(std::string& out, int value)
{
    out += static_cast<char>((value >> 8) & 0xFF);
    out += static_cast<char>(value & 0xFF);
}

inline void Put32BigEndian(std::string& out, long value)
{
    for ( int shift = 24; shift >= 0; shift -= 8 )
        out += static_cast<char>((value >> shift) & 0xFF);
}

// The start of a baseline JPEG as an encoder writes it: a JFIF segment and a quantisation table
// before the frame header, which declares the size.
inline std::string JpegHeader(int width, int height)
{
    std::string jpeg("\xFF\xD8", 2);
    jpeg += std::string("\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 18);
    jpeg += std::string("\xFF\xDB\x00\x43\x00", 5) + std::string(64, '\x01');
    // Frame header: length, precision, height, width, one component.
    jpeg += std::string("\xFF\xC0\x00\x0B\x08", 5);
    Put16BigEndian(jpeg, height);
    Put16BigEndian(jpeg, width);
    jpeg += std::string("\x01\x01\x11\x00", 4);
    return jpeg;
}

// The signature and the header chunk of a PNG (its checksum is not read before decoding).
inline std::string PngHeader(int width, int height)
{
    std::string png("\x89PNG\r\n\x1A\n", 8);
    Put32BigEndian(png, 13);
    png += "IHDR";
    Put32BigEndian(png, width);
    Put32BigEndian(png, height);
    png += std::string("\x08\x02\x00\x00\x00", 5);
    Put32BigEndian(png, 0);
    return png;
}

// The file header and the usual 40-byte information header of a 24-bit BMP.
inline std::string BmpHeader(int width, int height)
{
    std::string bmp("BM", 2);
    Put32LittleEndian(bmp, 54);
    Put32LittleEndian(bmp, 0);
    Put32LittleEndian(bmp, 54);
    Put32LittleEndian(bmp, 40);
    Put32LittleEndian(bmp, width);
    Put32LittleEndian(bmp, height);
    Put16LittleEndian(bmp, 1);
    Put16LittleEndian(bmp, 24);
    bmp += std::string(24, '\0');
    return bmp;
}

// The start of a little-endian TIFF: a format whose size sits somewhere in the file.
inline std::string TiffHeader()
{
    return std::string("II\x2A\x00\x08\x00\x00\x00", 8);
}

// A binary PNM of 8 x 8 grey pixels.
inline std::string Pnm()
{
    return "P5\n8 8\n255\n" + std::string(64, '\x80');
}

// A two-colour GIF whose header and frames declare the given sizes; each frame is a clear code,
// one pixel and the end code, which the decoder takes as a whole (if mostly blank) frame.
inline std::string Gif(int screenWidth, int screenHeight, int frames, int frameWidth, int frameHeight)
{
    std::string gif = "GIF89a";
    Put16LittleEndian(gif, screenWidth);
    Put16LittleEndian(gif, screenHeight);
    gif += std::string("\x80\x00\x00", 3);
    gif += std::string("\x00\x00\x00\xFF\xFF\xFF", 6);
    for ( int i = 0; i < frames; ++i )
    {
        gif += '\x2C';
        Put16LittleEndian(gif, 0);
        Put16LittleEndian(gif, 0);
        Put16LittleEndian(gif, frameWidth);
        Put16LittleEndian(gif, frameHeight);
        gif += '\x00';
        gif += std::string("\x02\x02\x44\x01\x00", 5);
    }
    gif += '\x3B';
    return gif;
}
}
