#include "TreeTestSupport.h"
#include "common/TempConfig.h"

#include "model/UserList.h"
#include "sync/UserEvent.h"
#include "ui/FavoriteTreeCtrl.h"
#include "ui/UserListTreeItemData.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/imaglist.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace TreeTestSupport;

namespace
{
// The image list's order: the user icons, then the group icons.
const int OFFLINE_ICON = 0;
const int FREE_ICON = 1;
const int BUSY_ICON = 2;
const int ONLINE_GROUP_ICON = 3;
const int OFFLINE_GROUP_ICON = 4;

// Each group as "label [image]", then its users as "name image/selected status".
std::string Dump(const FavoriteTreeCtrl& tree)
{
    wxString out;
    wxTreeItemIdValue groups;
    for ( wxTreeItemId group = tree.GetFirstChild(tree.GetRootItem(), groups); group.IsOk();
          group = tree.GetNextChild(tree.GetRootItem(), groups) )
    {
        out += wxString::Format("%s [%d/%d]\n", tree.GetItemText(group),
                                tree.GetItemImage(group, wxTreeItemIcon_Normal),
                                tree.GetItemImage(group, wxTreeItemIcon_Selected));
        wxTreeItemIdValue users;
        for ( wxTreeItemId item = tree.GetFirstChild(group, users); item.IsOk();
              item = tree.GetNextChild(group, users) )
        {
            const UserListTreeItemData* data = tree.GetUserData(item);
            out += wxString::Format("  %s %d/%d %x\n", tree.GetItemText(item),
                                    tree.GetItemImage(item, wxTreeItemIcon_Normal),
                                    tree.GetItemImage(item, wxTreeItemIcon_Selected),
                                    data ? data->GetUser().GetStatus() : -1);
        }
    }
    return out.utf8_string();
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
            const User now(it->first, online ? online->GetStatus() : 0);
            const Item* shown = Find(it->first);
            if ( !shown || shown->status != now.GetStatus() )
                Changed(now);
        }
    }

    void Added(const User& user) { Changed(user); }
    void Deleted(const User& user) { Changed(User(user.GetName(), 0)); }

    // The old status does not matter: the group an item leaves is the one it is in.
    void Changed(const User& user)
    {
        if ( !m_favorites.FindUser(user.GetName()) )
            return;
        const int status = user.GetStatus();
        const int icon = status == 0 ? OFFLINE_ICON : OnlineIcon(status);
        if ( status & STATUS_ONLINE )
            Erase(m_offline, user.GetName());
        else if ( status == 0 )
            Erase(m_online, user.GetName());
        Item* item = Find(user.GetName());
        if ( !item )
        {
            std::vector<Item>* group = status == 0 ? &m_offline
                                       : (status & STATUS_ONLINE) ? &m_online
                                                                  : nullptr;
            if ( !group )
                return;
            group->push_back(Item{ user.GetName(), status, icon });
            m_onlineLabel = wxString::Format("Online (%d)", static_cast<int>(m_online.size()));
            m_offlineLabel = wxString::Format("Offline (%d)", static_cast<int>(m_offline.size()));
            item = &group->back();
        }
        item->icon = icon;
        item->status = status;
    }

    std::string Dump() const
    {
        if ( !m_groups )
            return std::string();
        wxString out = wxString::Format("%s [%d/%d]\n", m_onlineLabel, ONLINE_GROUP_ICON,
                                        ONLINE_GROUP_ICON);
        for ( const Item& item : m_online )
            out += ItemLine(item);
        out += wxString::Format("%s [%d/%d]\n", m_offlineLabel, OFFLINE_GROUP_ICON,
                                OFFLINE_GROUP_ICON);
        for ( const Item& item : m_offline )
            out += ItemLine(item);
        return out.utf8_string();
    }

private:
    struct Item
    {
        wxString name;
        int status;
        int icon;
    };

    static wxString ItemLine(const Item& item)
    {
        return wxString::Format("  %s %d/%d %x\n", item.name, item.icon, item.icon, item.status);
    }

    static int OnlineIcon(int status)
    {
        if ( status & STATUS_FREE )
            return FREE_ICON;
        if ( (status & STATUS_ONLINE) && !(status & STATUS_BUSY) )
            return FREE_ICON;
        if ( status & STATUS_BUSY )
            return BUSY_ICON;
        return -1;
    }

    static void Erase(std::vector<Item>& group, const wxString& name)
    {
        for ( auto item = group.begin(); item != group.end(); ++item )
            if ( item->name == name )
            {
                group.erase(item);
                return;
            }
    }

    Item* Find(const wxString& name)
    {
        for ( std::vector<Item>* group : { &m_online, &m_offline } )
            for ( Item& item : *group )
                if ( item.name == name )
                    return &item;
        return nullptr;
    }

    UserList m_favorites;
    bool m_groups = false;
    wxString m_onlineLabel;
    wxString m_offlineLabel;
    std::vector<Item> m_online;
    std::vector<Item> m_offline;
};

class FavoriteTreeTest : public ConfiguredTest
{
protected:
    void SetUp() override
    {
        ConfiguredTest::SetUp();
        m_frame = new wxFrame(nullptr, wxID_ANY, "trees", wxDefaultPosition, wxSize(240, 480));
        NewTree();
    }

    void TearDown() override
    {
        m_frame->Destroy();
        wxTheApp->ProcessPendingEvents();
        ConfiguredTest::TearDown();
    }

    void NewTree()
    {
        if ( m_tree )
            m_tree->Destroy();
        m_tree = new FavoriteTreeCtrl(m_frame, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                      TREE_STYLE, wxDefaultValidator, wxTreeCtrlNameStr);
    }

    void Added(const User& user, Delivery how)
    {
        UserEvent event(user, wxEVT_USER_ADDED, -1);
        Deliver(m_tree, event, how);
    }
    void Deleted(const User& user, Delivery how)
    {
        UserEvent event(user, wxEVT_USER_DELETED, -1);
        Deliver(m_tree, event, how);
    }
    void Changed(const User& user, int oldStatus, Delivery how)
    {
        UserEvent event(user, wxEVT_USER_CHANGED, oldStatus);
        Deliver(m_tree, event, how);
    }
    // A list as the main frame (the favourites, id 0) or the daemon thread (id -1) posts it.
    // Returns the event whose list the tree walked: a queued event reaches it as a copy.
    std::unique_ptr<UserListEvent> List(const UserList& list, int id, Delivery how)
    {
        std::unique_ptr<UserListEvent> event(new UserListEvent(wxEVT_USER_LIST_INITIALIZED, id));
        event->SetUserList(list);
        std::unique_ptr<UserListEvent> copy(static_cast<UserListEvent*>(event->Clone()));
        Deliver(m_tree, *event, how);
        return how == Delivery::Queued ? std::move(copy) : std::move(event);
    }
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

    wxFrame* m_frame = nullptr;
    FavoriteTreeCtrl* m_tree = nullptr;
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
    Favorites(MakeList({ User("Free", 0x03), User("Away", 0x00), User("Public", 0x0D),
                         User("Private", 0x15), User("Online", 0x01) }),
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
    Favorites(MakeList({ User("Anna", 0x03), User("Bob", 0x00), User("Cleo", 0x00) }), GetParam());

    Deleted(User("Anna", 0x03), GetParam());
    EXPECT_EQ("offline 0 0", Where("Anna"));
    EXPECT_EQ("Online (0)", Label(0));
    EXPECT_EQ("Offline (3)", Label(1));

    Added(User("Bob", 0x0D), GetParam());
    EXPECT_EQ("online 2 d", Where("Bob"));
    Added(User("Anna", 0x03), GetParam());
    EXPECT_EQ("online 1 3", Where("Anna"));
    EXPECT_EQ("Online (2)", Label(0));
    EXPECT_EQ("Offline (1)", Label(1));
    // Arrivals join the end of their group.
    EXPECT_EQ("Anna", m_tree->GetItemText(m_tree->GetLastChild(Group(0))));

    // A change of state online keeps the item where it is.
    Changed(User("Anna", 0x15), 0x03, GetParam());
    EXPECT_EQ("online 2 15", Where("Anna"));
    EXPECT_EQ("Anna", m_tree->GetItemText(m_tree->GetLastChild(Group(0))));
    EXPECT_EQ("Online (2)", Label(0));
}

TEST_P(FavoriteTreeEventTest, OnlyFavouritesOfTheExactNameAreFollowed)
{
    m_tree->CreateGroupItems();
    Favorites(MakeList({ User("Anna", 0x00), User("Bob", 0x03) }), GetParam());
    const std::string before = Dump(*m_tree);

    Added(User("Zed", 0x03), GetParam());
    Changed(User("Zed", 0x0D), 0x03, GetParam());
    Deleted(User("Zed", 0x0D), GetParam());
    Added(User("anna", 0x03), GetParam());
    Added(User("ANNA", 0x0D), GetParam());
    Deleted(User("bob", 0x03), GetParam());
    EXPECT_EQ(before, Dump(*m_tree));
    EXPECT_EQ("offline 0 0", Where("Anna"));
}

TEST_P(FavoriteTreeEventTest, ANewListReplacesTheFavourites)
{
    m_tree->CreateGroupItems();
    Favorites(MakeList({ User("Anna", 0x03), User("Bob", 0x00) }), GetParam());
    Favorites(MakeList({ User("Anna", 0x0D), User("Cleo", 0x00) }), GetParam());
    EXPECT_EQ("", Where("Bob"));
    EXPECT_EQ("online 2 d", Where("Anna"));
    EXPECT_EQ("offline 0 0", Where("Cleo"));
    EXPECT_EQ("Online (1)", Label(0));
    EXPECT_EQ("Offline (1)", Label(1));

    // Bob is no favourite any more.
    Added(User("Bob", 0x03), GetParam());
    EXPECT_EQ("", Where("Bob"));
}

TEST_P(FavoriteTreeEventTest, AnEmptyListEmptiesTheGroupsButLeavesTheirLabels)
{
    m_tree->CreateGroupItems();
    Favorites(UserList(), GetParam());
    EXPECT_EQ("Online (Loading) [3/3]\nOffline (Loading) [4/4]\n", Dump(*m_tree));

    Favorites(MakeList({ User("Anna", 0x03), User("Bob", 0x00) }), GetParam());
    Favorites(UserList(), GetParam());
    EXPECT_EQ("Online (1) [3/3]\nOffline (1) [4/4]\n", Dump(*m_tree));
    Added(User("Anna", 0x03), GetParam());
    EXPECT_EQ("", Where("Anna"));
}

TEST_P(FavoriteTreeEventTest, TheSitesOwnListIsNeverTakenAsTheFavourites)
{
    // Before any favourites it changes nothing.
    m_tree->CreateGroupItems();
    List(MakeList({ User("Anna", 0x03), User("Bob", 0x0D) }), -1, GetParam());
    EXPECT_EQ("Online (Loading) [3/3]\nOffline (Loading) [4/4]\n", Dump(*m_tree));

    // Afterwards it brings the favourites up to date: a favourite put together from an older
    // site list may show the wrong state.
    Favorites(MakeList({ User("Anna", 0x00), User("Bob", 0x03), User("Cleo", 0x00) }),
              GetParam());
    List(MakeList({ User("Anna", 0x0D), User("Cleo", 0x03), User("Zed", 0x03) }), -1, GetParam());
    EXPECT_EQ("online 2 d", Where("Anna"));
    EXPECT_EQ("offline 0 0", Where("Bob"));
    EXPECT_EQ("online 1 3", Where("Cleo"));
    EXPECT_EQ("", Where("Zed"));
    EXPECT_EQ("Online (2)", Label(0));
    EXPECT_EQ("Offline (1)", Label(1));

    // The favourites are still the three.
    Added(User("Zed", 0x03), GetParam());
    EXPECT_EQ("", Where("Zed"));
    Deleted(User("Cleo", 0x03), GetParam());
    EXPECT_EQ("offline 0 0", Where("Cleo"));
}

TEST_P(FavoriteTreeEventTest, AFavouritesListBeforeTheGroupsCreatesThem)
{
    Favorites(MakeList({ User("Anna", 0x03) }), GetParam());
    EXPECT_EQ("Online (1) [3/3]\n  Anna 1/1 3\nOffline (0) [4/4]\n", Dump(*m_tree));
    EXPECT_EQ(5, m_tree->GetImageList()->GetImageCount());
}

TEST_P(FavoriteTreeEventTest, AFavouriteShownInTheWrongGroupMovesToTheRightOne)
{
    // Both built from a site list older than the events that follow.
    m_tree->CreateGroupItems();
    Favorites(MakeList({ User("Anna", 0x00), User("Bob", 0x03) }), GetParam());

    Changed(User("Anna", 0x0D), 0x03, GetParam());
    EXPECT_EQ("online 2 d", Where("Anna"));
    Deleted(User("Bob", 0x00), GetParam());
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
    const wxString names[] = { "Anna", "anna", "Bob", "Cleo", "Dan", "Eve", "Finn" };
    const int statuses[] = { 0x00, 0x01, 0x03, 0x0D, 0x15 };
    for ( unsigned seed = 1; seed <= 8; ++seed )
    {
        NewTree();
        FavoriteReference reference;
        std::mt19937 random(seed);
        // Half of the runs leave the groups to the first favourites list.
        if ( seed % 2 )
        {
            m_tree->CreateGroupItems();
            reference.CreateGroups();
        }
        ASSERT_EQ(reference.Dump(), Dump(*m_tree));

        const auto user = [&] { return User(names[random() % 7], statuses[random() % 5]); };
        const auto someList = [&]
        {
            UserList list;
            for ( unsigned i = random() % 5; i > 0; --i )
                list.AddUser(user());
            return list;
        };
        for ( int step = 0; step < 200; ++step )
        {
            const Delivery how = random() % 2 ? Delivery::Queued : Delivery::Direct;
            const User someone = user();
            switch ( random() % 12 )
            {
                case 0:
                    reference.Favorites(List(someList(), 0, how)->GetUserList());
                    break;
                case 1:
                    reference.Site(List(someList(), -1, how)->GetUserList());
                    break;
                case 2:
                case 3:
                case 4:
                    Added(someone, how);
                    reference.Added(someone);
                    break;
                case 5:
                case 6:
                case 7:
                    Deleted(someone, how);
                    reference.Deleted(someone);
                    break;
                default:
                    Changed(someone, statuses[random() % 5], how);
                    reference.Changed(someone);
                    break;
            }
            ASSERT_EQ(reference.Dump(), Dump(*m_tree)) << "seed " << seed << " step " << step;
        }
    }
}
}
