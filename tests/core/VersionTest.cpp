#include "shell/Version.h"

#include <gtest/gtest.h>

TEST(Version, ParsesThreeNumbersAndKeepsTheText)
{
    EXPECT_EQ("1.3.0", Version::GetCurrent().GetString());
    EXPECT_EQ(1, Version::GetCurrent().GetMajor());
    EXPECT_EQ(3, Version::GetCurrent().GetMinor());
    EXPECT_EQ(0, Version::GetCurrent().GetRelease());

    const Version full("12.04.7-beta");
    EXPECT_EQ("12.04.7-beta", full.GetString());
    EXPECT_EQ(12, full.GetMajor());
    EXPECT_EQ(4, full.GetMinor());
    EXPECT_EQ(7, full.GetRelease());
}

TEST(Version, MissingNumbersAreZero)
{
    const Version none("latest");
    EXPECT_EQ("latest", none.GetString());
    EXPECT_EQ(0, none.GetMajor());
    EXPECT_EQ(0, none.GetMinor());
    EXPECT_EQ(0, none.GetRelease());

    const Version one("7");
    EXPECT_EQ(7, one.GetMajor());
    EXPECT_EQ(0, one.GetMinor());

    const Version two("2.5.x");
    EXPECT_EQ(2, two.GetMajor());
    EXPECT_EQ(5, two.GetMinor());
    EXPECT_EQ(0, two.GetRelease());

    const Version huge("99999999999999.1.1");
    EXPECT_EQ("99999999999999.1.1", huge.GetString());
    EXPECT_EQ(1, huge.GetMinor());
}
