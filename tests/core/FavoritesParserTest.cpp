#include "net/QueryText.h"
#include "sync/FavoritesParser.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
wxArrayString Parse(const std::string& body)
{
    return FavoritesParser::Parse(body.data(), body.size());
}

wxString Joined(const wxArrayString& names)
{
    wxString joined;
    for ( const wxString& name : names )
        joined += name + ",";
    return joined;
}
}

TEST(FavoritesParser, TheLineThatEndsTheBodyIsNeverTaken)
{
    EXPECT_EQ("Anna,", Joined(Parse("Anna\nBea\n")));
    EXPECT_EQ("Anna,Bea,", Joined(Parse("Anna\nBea\n\n")));
    EXPECT_EQ("Anna,", Joined(Parse("Anna\nBea")));
    EXPECT_EQ("", Joined(Parse("Anna\n")));
    EXPECT_EQ("", Joined(Parse("")));
    EXPECT_EQ("Anna,Bea,", Joined(Parse("Anna\r\nBea\r\n\r\n")));
    EXPECT_EQ("Anna,", Joined(Parse("Anna\r\n"  "Bea\r\n")));
    EXPECT_EQ("Anna,Bea,", Joined(Parse("Anna\rBea\rCleo")));
}

TEST(FavoritesParser, FirstRunOfWordCharactersOncePerName)
{
    EXPECT_EQ("Anna_01,Bea,", Joined(Parse("   Anna_01  \nBea-Cleo\n--!!--\n\n")));
    EXPECT_EQ("Anna,Bea,", Joined(Parse("Anna\nBea\nAnna\n\n")));
    EXPECT_EQ("Anna,anna,", Joined(Parse("Anna\nanna\n\n")));
}

TEST(QueryText, EncodesEverythingButPlainCharacters)
{
    EXPECT_EQ("Anna01", QueryText::Encode("Anna01"));
    EXPECT_EQ("a-b.c_d~e", QueryText::Encode("a-b.c_d~e"));
    EXPECT_EQ("p%26w%23x%2By%25z%20q%0D%0A", QueryText::Encode("p&w#x+y%z q\r\n"));
    EXPECT_EQ("Zo%C3%AB%E6%97%A5", QueryText::Encode(wxString::FromUTF8("Zo\xC3\xAB\xE6\x97\xA5")));
    EXPECT_EQ("%3D%3F%2F", QueryText::Encode("=?/"));
    EXPECT_EQ("", QueryText::Encode(""));
}
