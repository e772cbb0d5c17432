#include "model/UserList.h"

#include <gtest/gtest.h>

TEST(User, EqualityNeedsExactNameAndStatus)
{
    EXPECT_EQ(User(), User(wxEmptyString, 0));
    EXPECT_EQ(User("Anna", 0x03), User("Anna", 0x03));
    EXPECT_NE(User("Anna", 0x03), User("Anna", 0x0D));
    EXPECT_NE(User("Anna", 0x03), User("anna", 0x03));
    EXPECT_FALSE(User("Anna", 0x03) != User("Anna", 0x03));

    User user("Bea", STATUS_ONLINE | STATUS_FREE);
    user.SetStatus(STATUS_ONLINE | STATUS_BUSY | STATUS_PRIVATE);
    EXPECT_EQ(0x15, user.GetStatus());
    EXPECT_EQ("Bea", user.GetName());
}
