#include "model/UserList.h"

#include <gtest/gtest.h>

#include <set>

namespace
{
UserList MakeList(std::initializer_list<User> users)
{
    UserList list;
    for ( const User& user : users )
        list.AddUser(user);
    return list;
}

std::set<std::pair<wxString, int>> Contents(const UserList& list)
{
    std::set<std::pair<wxString, int>> contents;
    for ( UserList::const_iterator it = list.begin(); it != list.end(); ++it )
    {
        EXPECT_EQ(it->first, it->second.GetName()) << "an entry's key must be its user's name";
        contents.insert(std::make_pair(it->second.GetName(), it->second.GetStatus()));
    }
    return contents;
}
}

TEST(User, EqualityNeedsExactNameAndStatus)
{
    EXPECT_EQ(User(), User(wxEmptyString, 0));
    EXPECT_EQ(User("Anna", 0x03), User("Anna", 0x03));
    EXPECT_NE(User("Anna", 0x03), User("Anna", 0x0D));
    EXPECT_NE(User("Anna", 0x03), User("anna", 0x03));
    EXPECT_FALSE(User("Anna", 0x03) != User("Anna", 0x03));
    EXPECT_TRUE(User("Anna", 0x03) != User("Anna", 0x01));

    User user("Bea", STATUS_ONLINE | STATUS_FREE);
    user.SetStatus(STATUS_ONLINE | STATUS_BUSY | STATUS_PRIVATE);
    EXPECT_EQ(0x15, user.GetStatus());
    EXPECT_EQ("Bea", user.GetName());
}

TEST(User, StatusWordsThatOccur)
{
    EXPECT_EQ(0x00, STATUS_OFFLINE);
    EXPECT_EQ(0x01, STATUS_ONLINE);
    EXPECT_EQ(0x03, STATUS_ONLINE | STATUS_FREE);
    EXPECT_EQ(0x0D, STATUS_ONLINE | STATUS_BUSY | STATUS_PUBLIC);
    EXPECT_EQ(0x15, STATUS_ONLINE | STATUS_BUSY | STATUS_PRIVATE);
}

TEST(UserList, OneEntryPerNameAndTheLastAddedWins)
{
    UserList list;
    list.AddUser(User("Anna", 0x03));
    list.AddUser(User("anna", 0x01));
    list.AddUser(User("Anna", 0x15));
    EXPECT_EQ(2u, list.GetCount());
    ASSERT_NE(nullptr, list.FindUser("Anna"));
    EXPECT_EQ(0x15, list.FindUser("Anna")->GetStatus());
    EXPECT_EQ(0x01, list.FindUser("anna")->GetStatus());

    list.RemoveUser("ANNA");
    EXPECT_EQ(2u, list.GetCount());
    list.RemoveUser("Anna");
    EXPECT_EQ(nullptr, list.FindUser("Anna"));
    EXPECT_EQ(1u, list.GetCount());

    list.Clear();
    EXPECT_TRUE(list.IsEmpty());
}

TEST(UserList, FindAndGetOnAbsentNames)
{
    UserList list = MakeList({ User("Anna", 0x03) });
    EXPECT_EQ(nullptr, list.FindUser("Bea"));
    EXPECT_EQ(1u, list.GetCount()) << "FindUser must not change the list";

    // GetUser stores an offline user under an absent name, keyed consistently.
    User& bea = list.GetUser("Bea");
    EXPECT_EQ(STATUS_OFFLINE, bea.GetStatus());
    EXPECT_EQ(2u, list.GetCount());
    Contents(list);
    EXPECT_EQ(0x03, list.GetUser("Anna").GetStatus());
    EXPECT_EQ(2u, list.GetCount());
}

TEST(UserList, CopiesAreIndependent)
{
    UserList original = MakeList({ User("Anna", 0x03), User("Bea", 0x0D) });
    UserList copy(original);
    UserList assigned;
    assigned = original;
    original.GetUser("Anna").SetStatus(0x15);
    original.RemoveUser("Bea");
    EXPECT_EQ(0x03, copy.FindUser("Anna")->GetStatus());
    EXPECT_NE(nullptr, copy.FindUser("Bea"));
    EXPECT_EQ(0x03, assigned.FindUser("Anna")->GetStatus());
    EXPECT_EQ(2u, assigned.GetCount());
}

TEST(GetDifference, TheThreeResults)
{
    const UserList previous = MakeList({ User("Stays", 0x03), User("Leaves", 0x0D),
                                         User("Changes", 0x03), User("Case", 0x01) });
    const UserList current = MakeList({ User("Stays", 0x03), User("Changes", 0x0D),
                                        User("Arrives", 0x15), User("case", 0x01) });
    UserList added, deleted, changed;
    previous.GetDifference(current, added, deleted, changed);

    EXPECT_EQ((std::set<std::pair<wxString, int>>{ { "Arrives", 0x15 }, { "case", 0x01 } }),
              Contents(added));
    EXPECT_EQ((std::set<std::pair<wxString, int>>{ { "Leaves", 0x0D }, { "Case", 0x01 } }),
              Contents(deleted)) << "deleted users keep their old status";
    EXPECT_EQ((std::set<std::pair<wxString, int>>{ { "Changes", 0x0D } }), Contents(changed))
        << "changed users carry the new status";
    EXPECT_EQ(0x03, previous.GetUser("Changes").GetStatus()) << "the old status stays readable";
}

TEST(GetDifference, EdgeLists)
{
    const UserList three = MakeList({ User("A", 0x01), User("B", 0x03), User("C", 0x15) });
    const UserList empty;

    UserList added, deleted, changed;
    three.GetDifference(three, added, deleted, changed);
    EXPECT_TRUE(added.IsEmpty());
    EXPECT_TRUE(deleted.IsEmpty());
    EXPECT_TRUE(changed.IsEmpty());

    empty.GetDifference(three, added, deleted, changed);
    EXPECT_EQ(Contents(three), Contents(added));
    EXPECT_TRUE(deleted.IsEmpty());
    EXPECT_TRUE(changed.IsEmpty());

    UserList added2, deleted2, changed2;
    three.GetDifference(empty, added2, deleted2, changed2);
    EXPECT_TRUE(added2.IsEmpty());
    EXPECT_EQ(Contents(three), Contents(deleted2));
}

TEST(GetDifference, AddedAndChangedKeepWhatTheyHeldButDeletedIsReplaced)
{
    const UserList previous = MakeList({ User("A", 0x03), User("Gone", 0x01) });
    const UserList current = MakeList({ User("A", 0x0D), User("New", 0x01) });
    UserList added = MakeList({ User("Earlier", 0x03) });
    UserList changed = MakeList({ User("Before", 0x15) });
    UserList deleted = MakeList({ User("Stale", 0x01) });
    previous.GetDifference(current, added, deleted, changed);
    EXPECT_EQ((std::set<std::pair<wxString, int>>{ { "Earlier", 0x03 }, { "New", 0x01 } }),
              Contents(added));
    EXPECT_EQ((std::set<std::pair<wxString, int>>{ { "Before", 0x15 }, { "A", 0x0D } }),
              Contents(changed));
    EXPECT_EQ((std::set<std::pair<wxString, int>>{ { "Gone", 0x01 } }), Contents(deleted));
}
