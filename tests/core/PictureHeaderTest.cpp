#include "core/PictureBytes.h"
#include "net/PictureHeader.h"

#include <gtest/gtest.h>

#include <string>

using namespace PictureBytes;

namespace
{
PictureHeader::Format Accepted(const std::string& bytes)
{
    return PictureHeader::AcceptedFormat(bytes.data(), bytes.size());
}
}

TEST(PictureHeader, AcceptsEachFormatUpToTheSizeLimitAndRefusesLarger)
{
    const int LIMIT = PictureHeader::MAX_SIDE;
    ASSERT_EQ(4096, LIMIT);
    EXPECT_EQ(PictureHeader::FORMAT_JPEG, Accepted(JpegHeader(LIMIT, 8)));
    EXPECT_EQ(PictureHeader::FORMAT_PNG, Accepted(PngHeader(8, LIMIT)));
    EXPECT_EQ(PictureHeader::FORMAT_BMP, Accepted(BmpHeader(LIMIT, 2)));
    EXPECT_EQ(PictureHeader::FORMAT_GIF, Accepted(Gif(LIMIT, 8, 1, LIMIT, 8)));

    // One pixel more, and the picture is refused.
    EXPECT_EQ(PictureHeader::FORMAT_NONE, Accepted(JpegHeader(LIMIT + 1, 8)));
    EXPECT_EQ(PictureHeader::FORMAT_NONE, Accepted(PngHeader(8, LIMIT + 1)));
    EXPECT_EQ(PictureHeader::FORMAT_NONE, Accepted(BmpHeader(LIMIT + 1, 2)));
    EXPECT_EQ(PictureHeader::FORMAT_NONE, Accepted(Gif(LIMIT + 1, 8, 1, LIMIT + 1, 8)));
    EXPECT_EQ(PictureHeader::FORMAT_NONE, Accepted(Gif(8, LIMIT + 1, 1, 8, LIMIT + 1)));
}

TEST(PictureHeader, RefusesWhatCouldMakeTheDecoderAllocateTooMuch)
{
    // A few hundred bytes that declare 20000 x 20000: they would decode, into 1.2 GB.
    EXPECT_EQ(PictureHeader::FORMAT_NONE, Accepted(JpegHeader(20000, 20000)));

    // Each frame of a GIF is decoded and kept: 100 frames of 1000 x 1000 are too many, one is not.
    EXPECT_EQ(PictureHeader::FORMAT_GIF, Accepted(Gif(1000, 1000, 1, 1000, 1000)));
    EXPECT_EQ(PictureHeader::FORMAT_NONE, Accepted(Gif(1000, 1000, 100, 1000, 1000)));

    // Formats whose size we do not read first, and damaged pictures, are refused.
    EXPECT_EQ(PictureHeader::FORMAT_NONE, Accepted(TiffHeader()));
    EXPECT_EQ(PictureHeader::FORMAT_NONE, Accepted(Pnm()));
    EXPECT_EQ(PictureHeader::FORMAT_NONE, Accepted(""));
    EXPECT_EQ(PictureHeader::FORMAT_NONE, Accepted("\xFF\xD8\xFF"));
}
