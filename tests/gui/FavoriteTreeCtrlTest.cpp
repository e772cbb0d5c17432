#include "TreeTestSupport.h"

#include "model/UserList.h"
#include "ui/FavoriteTreeCtrl.h"
#include "ui/UserListTreeItemData.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/imaglist.h>

#include <memory>
#include <string>
#include <vector>

using namespace StatusWord;
using namespace TreeTestSupport;

namespace
{
// The image list's order: the user icons, then the group icons.
const int OFFLINE_ICON = 0;
const int ONLINE_GROUP_ICON = 3;
const int OFFLINE_GROUP_ICON = 4;

// Each group as "label [image]", then its users as "name image/selected status".
std::string Dump(const FavoriteTreeCtrl& tree)
{
    return DumpGroups(tree, [&](const wxTreeItemId& group) {
        return wxString::Format("%s [%d/%d]\n", tree.GetItemText(group),
                                tree.GetItemImage(group, wxTreeItemIcon_Normal),
                                tree.GetItemImage(group, wxTreeItemIcon_Selected));
    });
}

// The tree as described, kept the plain way: two vectors searched from the front.
class FavoriteReference
{
public:
    void CreateGroups()
    {
        if ( m_groups )
            return;
        m_groups = true;
        m_onlineLabel = "Online (Loading)";
        m_offlineLabel = "Offline (Loading)";
    }

    void Favorites(const UserList& list)
    {
        CreateGroups();
        m_online.clear();
        m_offline.clear();
        m_favorites = list;
        for ( UserList::const_iterator it = m_favorites.begin(); it != m_favorites.end(); ++it )
            Changed(it->second);
    }

    // The site's own list: every favourite takes its status from it.
    void Site(const UserList& site)
    {
        for ( UserList::const_iterator it = m_favorites.begin(); it != m_favorites.end(); ++it )
        {
            const User* online = site.FindUser(it->first);
            const User now(it->first, online ? online->GetStatus() : OFFLINE);
            const ReferenceItem* shown = Find(it->first);
            if ( !shown || shown->status != now.GetStatus() )
                Changed(now);
        }
    }

    void Added(const User& user) { Changed(user); }
    void Deleted(const User& user) { Changed(User(user.GetName(), OFFLINE)); }

    // The old status does not matter: the group an item leaves is the one it is in.
    void Changed(const User& user)
    {
        if ( !m_favorites.FindUser(user.GetName()) )
            return;
        const int status = user.GetStatus();
        const int icon = status == OFFLINE ? OFFLINE_ICON : OnlineIcon(status);
        if ( status & STATUS_ONLINE )
            Erase(m_offline, user.GetName());
        else if ( status == OFFLINE )
            Erase(m_online, user.GetName());
        ReferenceItem* item = Find(user.GetName());
        if ( !item )
        {
            std::vector<ReferenceItem>* group = status == OFFLINE           ? &m_offline
                                                : (status & STATUS_ONLINE) ? &m_online
                                                                           : nullptr;
            if ( !group )
                return;
            group->push_back(ReferenceItem{ user.GetName(), status, icon });
            m_onlineLabel = wxString::Format("Online (%d)", static_cast<int>(m_online.size()));
            m_offlineLabel = wxString::Format("Offline (%d)", static_cast<int>(m_offline.size()));
            item = &group->back();
        }
        item->icon = icon;
        item->status = status;
    }

    // With a filter, as its view shows the tree.
    std::string Dump(const wxString& filter = wxEmptyString) const
    {
        if ( !m_groups )
            return std::string();
        wxString out = wxString::Format("%s [%d/%d]\n", m_onlineLabel, ONLINE_GROUP_ICON,
                                        ONLINE_GROUP_ICON);
        for ( const ReferenceItem& item : m_online )
            if ( item.Shown(filter) )
                out += item.Line();
        out += wxString::Format("%s [%d/%d]\n", m_offlineLabel, OFFLINE_GROUP_ICON,
                                OFFLINE_GROUP_ICON);
        for ( const ReferenceItem& item : m_offline )
            if ( item.Shown(filter) )
                out += item.Line();
        return out.utf8_string();
    }

private:
    static void Erase(std::vector<ReferenceItem>& group, const wxString& name)
    {
        for ( auto item = group.begin(); item != group.end(); ++item )
            if ( item->name == name )
            {
                group.erase(item);
                return;
            }
    }

    ReferenceItem* Find(const wxString& name)
    {
        for ( std::vector<ReferenceItem>* group : { &m_online, &m_offline } )
            for ( ReferenceItem& item : *group )
                if ( item.name == name )
                    return &item;
        return nullptr;
    }

    UserList m_favorites;
    bool m_groups = false;
    wxString m_onlineLabel;
    wxString m_offlineLabel;
    std::vector<ReferenceItem> m_online;
    std::vector<ReferenceItem> m_offline;
};

class FavoriteTreeTest : public TreeTest<FavoriteTreeCtrl>
{
protected:
    void Favorites(const UserList& list, Delivery how) { List(list, 0, how); }

    wxTreeItemId Group(int index) const
    {
        wxTreeItemIdValue cookie;
        wxTreeItemId group = m_tree->GetFirstChild(m_tree->GetRootItem(), cookie);
        return index == 0 ? group : m_tree->GetNextSibling(group);
    }
    wxString Label(int index) const { return m_tree->GetItemText(Group(index)); }
    // "group icon status" of the one item of name, or "" when there is none.
    std::string Where(const wxString& name) const
    {
        const wxTreeItemId item = m_tree->FindItem(User(name, 0), m_tree->GetRootItem(), true);
        if ( !item.IsOk() )
            return std::string();
        const int status = m_tree->GetUserData(item)->GetUser().GetStatus();
        const wxTreeItemId group = m_tree->GetItemParent(item);
        return wxString::Format("%s %d %x", group == Group(0) ? "online" : "offline",
                                m_tree->GetItemImage(item), status)
            .utf8_string();
    }
};

class FavoriteTreeEventTest : public FavoriteTreeTest,
                              public ::testing::WithParamInterface<Delivery>
{
};

TEST_F(FavoriteTreeTest, StartsEmptyAndCreatesTwoLoadingGroupsOnce)
{
    EXPECT_EQ(0u, m_tree->GetChildrenCount(m_tree->GetRootItem(), true));
    ASSERT_TRUE(m_tree->GetImageList());
    EXPECT_EQ(3, m_tree->GetImageList()->GetImageCount());

    m_tree->CreateGroupItems();
    const std::string groups = "Online (Loading) [3/3]\nOffline (Loading) [4/4]\n";
    EXPECT_EQ(groups, Dump(*m_tree));
    EXPECT_EQ(5, m_tree->GetImageList()->GetImageCount());
    // Empty groups show no expand button, and carry no data.
    EXPECT_FALSE(m_tree->ItemHasChildren(Group(0)));
    EXPECT_FALSE(m_tree->ItemHasChildren(Group(1)));
    EXPECT_FALSE(m_tree->GetItemData(Group(0)));

    // A second call adds neither groups nor images.
    m_tree->CreateGroupItems();
    EXPECT_EQ(groups, Dump(*m_tree));
    EXPECT_EQ(5, m_tree->GetImageList()->GetImageCount());
}

TEST_P(FavoriteTreeEventTest, FavouritesAreSplitByOnlineStateWithAnIconEach)
{
    m_tree->CreateGroupItems();
    Favorites(MakeList({ User("Free", FREE), User("Away", OFFLINE), User("Public", BUSY_PUBLIC),
                         User("Private", BUSY_PRIVATE), User("Online", ONLINE_ONLY) }),
              GetParam());
    EXPECT_EQ("Online (4)", Label(0));
    EXPECT_EQ("Offline (1)", Label(1));
    EXPECT_EQ("online 1 3", Where("Free"));
    EXPECT_EQ("online 1 1", Where("Online"));
    EXPECT_EQ("online 2 d", Where("Public"));
    EXPECT_EQ("online 2 15", Where("Private"));
    EXPECT_EQ("offline 0 0", Where("Away"));
    EXPECT_EQ(OFFLINE_ICON, m_tree->GetItemImage(m_tree->GetLastChild(Group(1)),
                                                 wxTreeItemIcon_Selected));
    EXPECT_TRUE(m_tree->IsExpanded(Group(0)));
    EXPECT_TRUE(m_tree->IsExpanded(Group(1)));
}

TEST_P(FavoriteTreeEventTest, FavouritesMoveBetweenTheGroupsAsPerformersComeAndGo)
{
    m_tree->CreateGroupItems();
    Favorites(MakeList({ User("Anna", FREE), User("Bob", OFFLINE), User("Cleo", OFFLINE) }), GetParam());

    Deleted(User("Anna", FREE), GetParam());
    EXPECT_EQ("offline 0 0", Where("Anna"));
    EXPECT_EQ("Online (0)", Label(0));
    EXPECT_EQ("Offline (3)", Label(1));

    Added(User("Bob", BUSY_PUBLIC), GetParam());
    EXPECT_EQ("online 2 d", Where("Bob"));
    Added(User("Anna", FREE), GetParam());
    EXPECT_EQ("online 1 3", Where("Anna"));
    EXPECT_EQ("Online (2)", Label(0));
    EXPECT_EQ("Offline (1)", Label(1));
    // Arrivals join the end of their group.
    EXPECT_EQ("Anna", m_tree->GetItemText(m_tree->GetLastChild(Group(0))));

    // A change of state online keeps the item where it is.
    Changed(User("Anna", BUSY_PRIVATE), FREE, GetParam());
    EXPECT_EQ("online 2 15", Where("Anna"));
    EXPECT_EQ("Anna", m_tree->GetItemText(m_tree->GetLastChild(Group(0))));
    EXPECT_EQ("Online (2)", Label(0));
}

TEST_P(FavoriteTreeEventTest, OnlyFavouritesOfTheExactNameAreFollowed)
{
    m_tree->CreateGroupItems();
    Favorites(MakeList({ User("Anna", OFFLINE), User("Bob", FREE) }), GetParam());
    const std::string before = Dump(*m_tree);

    Added(User("Zed", FREE), GetParam());
    Changed(User("Zed", BUSY_PUBLIC), FREE, GetParam());
    Deleted(User("Zed", BUSY_PUBLIC), GetParam());
    Added(User("anna", FREE), GetParam());
    Added(User("ANNA", BUSY_PUBLIC), GetParam());
    Deleted(User("bob", FREE), GetParam());
    EXPECT_EQ(before, Dump(*m_tree));
    EXPECT_EQ("offline 0 0", Where("Anna"));
}

TEST_P(FavoriteTreeEventTest, ANewListReplacesTheFavourites)
{
    m_tree->CreateGroupItems();
    Favorites(MakeList({ User("Anna", FREE), User("Bob", OFFLINE) }), GetParam());
    Favorites(MakeList({ User("Anna", BUSY_PUBLIC), User("Cleo", OFFLINE) }), GetParam());
    EXPECT_EQ("", Where("Bob"));
    EXPECT_EQ("online 2 d", Where("Anna"));
    EXPECT_EQ("offline 0 0", Where("Cleo"));
    EXPECT_EQ("Online (1)", Label(0));
    EXPECT_EQ("Offline (1)", Label(1));

    // Bob is no favourite any more.
    Added(User("Bob", FREE), GetParam());
    EXPECT_EQ("", Where("Bob"));
}

TEST_P(FavoriteTreeEventTest, AnEmptyListEmptiesTheGroupsButLeavesTheirLabels)
{
    m_tree->CreateGroupItems();
    Favorites(UserList(), GetParam());
    EXPECT_EQ("Online (Loading) [3/3]\nOffline (Loading) [4/4]\n", Dump(*m_tree));

    Favorites(MakeList({ User("Anna", FREE), User("Bob", OFFLINE) }), GetParam());
    Favorites(UserList(), GetParam());
    EXPECT_EQ("Online (1) [3/3]\nOffline (1) [4/4]\n", Dump(*m_tree));
    Added(User("Anna", FREE), GetParam());
    EXPECT_EQ("", Where("Anna"));
}

TEST_P(FavoriteTreeEventTest, TheSitesOwnListIsNeverTakenAsTheFavourites)
{
    // Before any favourites it changes nothing.
    m_tree->CreateGroupItems();
    List(MakeList({ User("Anna", FREE), User("Bob", BUSY_PUBLIC) }), -1, GetParam());
    EXPECT_EQ("Online (Loading) [3/3]\nOffline (Loading) [4/4]\n", Dump(*m_tree));

    // Afterwards it brings the favourites up to date: a favourite put together from an older
    // site list may show the wrong state.
    Favorites(MakeList({ User("Anna", OFFLINE), User("Bob", FREE), User("Cleo", OFFLINE) }),
              GetParam());
    List(MakeList({ User("Anna", BUSY_PUBLIC), User("Cleo", FREE), User("Zed", FREE) }), -1, GetParam());
    EXPECT_EQ("online 2 d", Where("Anna"));
    EXPECT_EQ("offline 0 0", Where("Bob"));
    EXPECT_EQ("online 1 3", Where("Cleo"));
    EXPECT_EQ("", Where("Zed"));
    EXPECT_EQ("Online (2)", Label(0));
    EXPECT_EQ("Offline (1)", Label(1));

    // The favourites are still the three.
    Added(User("Zed", FREE), GetParam());
    EXPECT_EQ("", Where("Zed"));
    Deleted(User("Cleo", FREE), GetParam());
    EXPECT_EQ("offline 0 0", Where("Cleo"));
}

TEST_P(FavoriteTreeEventTest, AFavouritesListBeforeTheGroupsCreatesThem)
{
    Favorites(MakeList({ User("Anna", FREE) }), GetParam());
    EXPECT_EQ("Online (1) [3/3]\n  Anna 1/1 3\nOffline (0) [4/4]\n", Dump(*m_tree));
    EXPECT_EQ(5, m_tree->GetImageList()->GetImageCount());
}

TEST_P(FavoriteTreeEventTest, AFavouriteShownInTheWrongGroupMovesToTheRightOne)
{
    // Both built from a site list older than the events that follow.
    m_tree->CreateGroupItems();
    Favorites(MakeList({ User("Anna", OFFLINE), User("Bob", FREE) }), GetParam());

    Changed(User("Anna", BUSY_PUBLIC), FREE, GetParam());
    EXPECT_EQ("online 2 d", Where("Anna"));
    Deleted(User("Bob", OFFLINE), GetParam());
    EXPECT_EQ("offline 0 0", Where("Bob"));
    EXPECT_EQ("Online (1)", Label(0));
    EXPECT_EQ("Offline (1)", Label(1));
}

INSTANTIATE_TEST_SUITE_P(Delivery, FavoriteTreeEventTest,
                         ::testing::Values(Delivery::Queued, Delivery::Direct));

// Random favourites, site lists and per-user events, with unknown names and letter case,
// delivered either way: the tree must show exactly what the plain description gives.
TEST_F(FavoriteTreeTest, RandomEventsShowWhatThePlainDescriptionGives)
{
    for ( unsigned seed = 1; seed <= 8; ++seed )
    {
        NewTree();
        FavoriteReference reference;
        // Half of the runs leave the groups to the first favourites list.
        if ( seed % 2 )
        {
            m_tree->CreateGroupItems();
            reference.CreateGroups();
        }
        ASSERT_EQ(reference.Dump(), Dump(*m_tree));

        RandomDraw draw(seed);
        wxString filter;
        for ( int step = 0; step < 200; ++step )
        {
            filter = RandomFilter(draw, filter);
            switch ( draw() % 12 )
            {
                case 0:
                    reference.Favorites(List(draw.SomeList(4), 0, draw.Way())->GetUserList());
                    break;
                case 1:
                    reference.Site(List(draw.SomeList(4), -1, draw.Way())->GetUserList());
                    break;
                default:
                    RandomUserEvent(draw, reference);
                    break;
            }
            ASSERT_EQ(reference.Dump(), Dump(*m_tree)) << "seed " << seed << " step " << step;
            if ( !filter.empty() )
            {
                ASSERT_EQ(reference.Dump(filter), Dump(View())) << "seed " << seed << " step " << step << " " << filter;
            }
        }
        // Cleared, the filter leaves the tree the events made.
        m_tree->SetFilter(wxEmptyString);
        ASSERT_TRUE(m_tree->IsShown());
        ASSERT_EQ(reference.Dump(), Dump(*m_tree));
    }
}
}
