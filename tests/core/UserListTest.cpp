#include "common/UserSupport.h"
#include "model/UserList.h"

#include <gtest/gtest.h>

#include <set>

using namespace StatusWord;

namespace
{
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
    EXPECT_EQ(User("Anna", FREE), User("Anna", FREE));
    EXPECT_NE(User("Anna", FREE), User("Anna", BUSY_PUBLIC));
    EXPECT_NE(User("Anna", FREE), User("anna", FREE));
    EXPECT_FALSE(User("Anna", FREE) != User("Anna", FREE));
    EXPECT_TRUE(User("Anna", FREE) != User("Anna", ONLINE_ONLY));

    User user("Bea", STATUS_ONLINE | STATUS_FREE);
    user.SetStatus(STATUS_ONLINE | STATUS_BUSY | STATUS_PRIVATE);
    EXPECT_EQ(BUSY_PRIVATE, user.GetStatus());
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
    list.AddUser(User("Anna", FREE));
    list.AddUser(User("anna", ONLINE_ONLY));
    list.AddUser(User("Anna", BUSY_PRIVATE));
    EXPECT_EQ(2u, list.GetCount());
    ASSERT_NE(nullptr, list.FindUser("Anna"));
    EXPECT_EQ(BUSY_PRIVATE, list.FindUser("Anna")->GetStatus());
    EXPECT_EQ(ONLINE_ONLY, list.FindUser("anna")->GetStatus());

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
    UserList list = MakeList({ User("Anna", FREE) });
    EXPECT_EQ(nullptr, list.FindUser("Bea"));
    EXPECT_EQ(1u, list.GetCount()) << "FindUser must not change the list";

    // GetUser stores an offline user under an absent name, keyed consistently.
    User& bea = list.GetUser("Bea");
    EXPECT_EQ(STATUS_OFFLINE, bea.GetStatus());
    EXPECT_EQ(2u, list.GetCount());
    Contents(list);
    EXPECT_EQ(FREE, list.GetUser("Anna").GetStatus());
    EXPECT_EQ(2u, list.GetCount());
}

TEST(UserList, CopiesAreIndependent)
{
    UserList original = MakeList({ User("Anna", FREE), User("Bea", BUSY_PUBLIC) });
    UserList copy(original);
    UserList assigned;
    assigned = original;
    original.GetUser("Anna").SetStatus(BUSY_PRIVATE);
    original.RemoveUser("Bea");
    EXPECT_EQ(FREE, copy.FindUser("Anna")->GetStatus());
    EXPECT_NE(nullptr, copy.FindUser("Bea"));
    EXPECT_EQ(FREE, assigned.FindUser("Anna")->GetStatus());
    EXPECT_EQ(2u, assigned.GetCount());
}

TEST(GetDifference, TheThreeResults)
{
    const UserList previous = MakeList({ User("Stays", FREE), User("Leaves", BUSY_PUBLIC),
                                         User("Changes", FREE), User("Case", ONLINE_ONLY) });
    const UserList current = MakeList({ User("Stays", FREE), User("Changes", BUSY_PUBLIC),
                                        User("Arrives", BUSY_PRIVATE), User("case", ONLINE_ONLY) });
    UserList added, deleted, changed;
    previous.GetDifference(current, added, deleted, changed);

    EXPECT_EQ((std::set<std::pair<wxString, int>>{ { "Arrives", BUSY_PRIVATE }, { "case", ONLINE_ONLY } }),
              Contents(added));
    EXPECT_EQ((std::set<std::pair<wxString, int>>{ { "Leaves", BUSY_PUBLIC }, { "Case", ONLINE_ONLY } }),
              Contents(deleted)) << "deleted users keep their old status";
    EXPECT_EQ((std::set<std::pair<wxString, int>>{ { "Changes", BUSY_PUBLIC } }), Contents(changed))
        << "changed users carry the new status";
    EXPECT_EQ(FREE, previous.GetUser("Changes").GetStatus()) << "the old status stays readable";
}

TEST(GetDifference, EdgeLists)
{
    const UserList three = MakeList({ User("A", ONLINE_ONLY), User("B", FREE), User("C", BUSY_PRIVATE) });
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
    const UserList previous = MakeList({ User("A", FREE), User("Gone", ONLINE_ONLY) });
    const UserList current = MakeList({ User("A", BUSY_PUBLIC), User("New", ONLINE_ONLY) });
    UserList added = MakeList({ User("Earlier", FREE) });
    UserList changed = MakeList({ User("Before", BUSY_PRIVATE) });
    UserList deleted = MakeList({ User("Stale", ONLINE_ONLY) });
    previous.GetDifference(current, added, deleted, changed);
    EXPECT_EQ((std::set<std::pair<wxString, int>>{ { "Earlier", FREE }, { "New", ONLINE_ONLY } }),
              Contents(added));
    EXPECT_EQ((std::set<std::pair<wxString, int>>{ { "Before", BUSY_PRIVATE }, { "A", BUSY_PUBLIC } }),
              Contents(changed));
    EXPECT_EQ((std::set<std::pair<wxString, int>>{ { "Gone", ONLINE_ONLY } }), Contents(deleted));
}
