#include "net/Base64Encode.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace
{
wxString Encode(const std::string& bytes)
{
    return Base64Encode(bytes.data(), static_cast<unsigned int>(bytes.size()));
}

// A second encoder written the other way round (a bit accumulator), without line breaks.
std::string ReferenceEncode(const std::vector<unsigned char>& bytes)
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    unsigned int accumulator = 0;
    int bits = 0;
    for ( unsigned char byte : bytes )
    {
        accumulator = (accumulator << 8) | byte;
        bits += 8;
        while ( bits >= 6 )
        {
            bits -= 6;
            text += digits[(accumulator >> bits) & 0x3F];
        }
    }
    if ( bits > 0 )
        text += digits[(accumulator << (6 - bits)) & 0x3F];
    while ( text.size() % 4 != 0 )
        text += '=';
    return text;
}
}

TEST(Base64Encode, ShortInputsAndFill)
{
    EXPECT_EQ("", Encode(""));
    EXPECT_EQ("Zg==", Encode("f"));
    EXPECT_EQ("Zm8=", Encode("fo"));
    EXPECT_EQ("Zm9v", Encode("foo"));
    EXPECT_EQ("Zm9vYmFy", Encode("foobar"));
    // Every bit of a byte reaches the output.
    EXPECT_EQ("/w==", Encode("\xff"));
    EXPECT_EQ("AAAA", Encode(std::string(3, '\0')));
    EXPECT_EQ("+/+/", Encode("\xfb\xff\xbf"));
}

TEST(Base64Encode, LineBreakAfterEvery72Characters)
{
    // 54 bytes fill exactly one line: it ends with the break.
    const wxString full = Encode(std::string(54, 'a'));
    ASSERT_EQ(74u, full.length());
    EXPECT_EQ("\r\n", full.Right(2));
    EXPECT_EQ(wxString::npos, full.Left(72).find_first_of("\r\n="));

    // One more byte: the break, then four characters ending in the fill.
    const wxString more = Encode(std::string(55, 'a'));
    ASSERT_EQ(78u, more.length());
    EXPECT_EQ(full, more.Left(74));
    EXPECT_EQ("YQ==", more.Mid(74));

    // "=" counts towards the line: 53 bytes give 72 characters with the fill, and the break.
    const wxString filled = Encode(std::string(53, 'a'));
    ASSERT_EQ(74u, filled.length());
    EXPECT_EQ("=\r\n", filled.Right(3));

    // 108 bytes: two full lines, each with its break.
    const wxString two = Encode(std::string(108, 'a'));
    ASSERT_EQ(148u, two.length());
    EXPECT_EQ("\r\n", two.Mid(72, 2));
    EXPECT_EQ("\r\n", two.Right(2));
}

TEST(Base64Encode, MatchesAnIndependentEncoder)
{
    std::mt19937 random(20240607);
    for ( int round = 0; round < 300; ++round )
    {
        std::vector<unsigned char> bytes(random() % 400);
        for ( unsigned char& byte : bytes )
            byte = static_cast<unsigned char>(random());
        const wxString encoded = Base64Encode(bytes.data(), static_cast<unsigned int>(bytes.size()));

        // Breaks exactly after every 72 characters, nowhere else.
        std::string plain;
        size_t column = 0;
        const std::string text = encoded.ToStdString();
        for ( size_t i = 0; i < text.size(); ++i )
        {
            if ( text[i] == '\r' )
            {
                ASSERT_EQ(72u, column) << "size " << bytes.size();
                ASSERT_EQ('\n', text.at(i + 1));
                ++i;
                column = 0;
                continue;
            }
            ASSERT_LT(column, 72u);
            plain += text[i];
            ++column;
        }
        ASSERT_EQ(ReferenceEncode(bytes), plain) << "size " << bytes.size();
        EXPECT_EQ(plain.size() > 0 && plain.size() % 72 == 0, encoded.EndsWith("\r\n"));
    }
}
