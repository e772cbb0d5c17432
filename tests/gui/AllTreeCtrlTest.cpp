#include "ScopedSkin.h"
#include "TreeTestSupport.h"
#include "common/TestSupport.h"

#include "model/UserList.h"
#include "skin/Skin.h"
#include "ui/AllTreeCtrl.h"
#include "ui/FavoriteTreeCtrl.h"
#include "ui/UserListTreeItemData.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/filefn.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/imaglist.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace StatusWord;
using namespace TreeTestSupport;

namespace
{
// The image list's order: the group, then free, then busy.
const int GROUP_ICON = 0;

// The group as "label +|- [image]", then one line per user item: "name image/selected status".
std::string Dump(const AllTreeCtrl& tree)
{
    return DumpGroups(
        tree,
        [&](const wxTreeItemId& group) {
            return wxString::Format("%s %s [%d]\n", tree.GetItemText(group),
                                    tree.IsExpanded(group) ? "+" : "-", tree.GetItemImage(group));
        },
        true);
}

// The tree as described, kept the plain way: a vector searched from the front.
class AllReference
{
public:
    void Added(const User& user)
    {
        m_items.push_back(ReferenceItem{ user.GetName(), user.GetStatus(), -1 });
        Changed(user);
        Count();
    }

    void Changed(const User& user)
    {
        for ( ReferenceItem& item : m_items )
            if ( item.name == user.GetName() )
            {
                item.icon = OnlineIcon(user.GetStatus());
                item.status = user.GetStatus();
                return;
            }
    }

    void Deleted(const User& user)
    {
        for ( auto item = m_items.begin(); item != m_items.end(); ++item )
            if ( item->name == user.GetName() )
            {
                m_items.erase(item);
                break;
            }
        Count();
    }

    void List(const UserList& list)
    {
        for ( UserList::const_iterator it = list.begin(); it != list.end(); ++it )
            Added(it->second);
        m_expanded = true;
        Count();
    }

    // With a filter, as its view shows the tree.
    std::string Dump(const wxString& filter = wxEmptyString) const
    {
        wxString out =
            wxString::Format("%s %s [%d]\n", m_label, m_expanded ? "+" : "-", GROUP_ICON);
        for ( const ReferenceItem& item : m_items )
            if ( item.Shown(filter) )
                out += item.Line();
        return out.utf8_string();
    }

private:
    void Count() { m_label = wxString::Format("Online (%d)", static_cast<int>(m_items.size())); }

    std::vector<ReferenceItem> m_items;
    wxString m_label = "Online (Loading)";
    bool m_expanded = false;
};

class AllTreeTest : public TreeTest<AllTreeCtrl>
{
protected:
    // The "All" tree only ever gets the daemon thread's lists.
    std::unique_ptr<UserListEvent> List(const UserList& list, Delivery how)
    {
        return TreeTest::List(list, -1, how);
    }

    wxTreeItemId Group() const
    {
        wxTreeItemIdValue cookie;
        return m_tree->GetFirstChild(m_tree->GetRootItem(), cookie);
    }
    wxTreeItemId Item(const wxString& name) const
    {
        return m_tree->FindItem(User(name, 0), m_tree->GetRootItem(), true);
    }
    int Icon(const wxString& name) const { return m_tree->GetItemImage(Item(name)); }
    int Status(const wxString& name) const
    {
        return m_tree->GetUserData(Item(name))->GetUser().GetStatus();
    }
};

class AllTreeEventTest : public AllTreeTest, public ::testing::WithParamInterface<Delivery>
{
};

TEST_F(AllTreeTest, StartsWithALoadingOnlineGroupThatCanBeExpanded)
{
    ASSERT_EQ(1u, m_tree->GetChildrenCount(m_tree->GetRootItem(), false));
    const wxTreeItemId group = Group();
    EXPECT_EQ("Online (Loading)", m_tree->GetItemText(group));
    EXPECT_EQ(GROUP_ICON, m_tree->GetItemImage(group, wxTreeItemIcon_Normal));
    EXPECT_EQ(GROUP_ICON, m_tree->GetItemImage(group, wxTreeItemIcon_Selected));
    EXPECT_TRUE(m_tree->ItemHasChildren(group));
    EXPECT_FALSE(m_tree->GetItemData(group));

    // Without a skin archive (this program has none) the icons are blank but in place.
    const wxImageList* images = m_tree->GetImageList();
    ASSERT_TRUE(images);
    ASSERT_EQ(3, images->GetImageCount());
    for ( int i = 0; i < 3; ++i )
    {
        EXPECT_TRUE(images->GetBitmap(i).IsOk()) << i;
        EXPECT_EQ(wxSize(16, 16), images->GetBitmap(i).GetSize()) << i;
    }
}

TEST_P(AllTreeEventTest, FirstListFillsTheGroupWithAnIconPerStatus)
{
    List(UserList(), GetParam());
    EXPECT_EQ("Online (0)", m_tree->GetItemText(Group()));
    EXPECT_TRUE(m_tree->IsExpanded(Group()));

    List(MakeList({ User("Free", FREE), User("Online", ONLINE_ONLY), User("Public", BUSY_PUBLIC),
                    User("Private", BUSY_PRIVATE), User("Listed", OFFLINE) }),
         GetParam());
    EXPECT_EQ("Online (5)", m_tree->GetItemText(Group()));
    EXPECT_EQ(FREE_ICON, Icon("Free"));
    EXPECT_EQ(FREE_ICON, Icon("Online"));
    EXPECT_EQ(BUSY_ICON, Icon("Public"));
    EXPECT_EQ(BUSY_ICON, Icon("Private"));
    EXPECT_EQ(-1, Icon("Listed"));
    EXPECT_EQ(BUSY_ICON, m_tree->GetItemImage(Item("Public"), wxTreeItemIcon_Selected));
    EXPECT_EQ(BUSY_PRIVATE, Status("Private"));
    EXPECT_EQ(Group(), m_tree->GetItemParent(Item("Free")));
}

TEST_P(AllTreeEventTest, ChangesSwitchIconsAndDeletionsCount)
{
    List(MakeList({ User("Anna", FREE), User("Bob", BUSY_PUBLIC), User("Cleo", BUSY_PRIVATE) }), GetParam());

    Changed(User("Anna", BUSY_PUBLIC), FREE, GetParam());
    EXPECT_EQ(BUSY_ICON, Icon("Anna"));
    EXPECT_EQ(BUSY_ICON, m_tree->GetItemImage(Item("Anna"), wxTreeItemIcon_Selected));
    EXPECT_EQ(BUSY_PUBLIC, Status("Anna"));
    Changed(User("Bob", FREE), BUSY_PUBLIC, GetParam());
    EXPECT_EQ(FREE_ICON, Icon("Bob"));

    // A change for a name without an item, even one differing only in letter case, adds
    // nothing and touches no icon.
    const std::string before = Dump(*m_tree);
    Changed(User("Dora", FREE), BUSY_PUBLIC, GetParam());
    Changed(User("anna", FREE), BUSY_PUBLIC, GetParam());
    Deleted(User("Dora", FREE), GetParam());
    EXPECT_EQ(before, Dump(*m_tree));

    Deleted(User("Cleo", BUSY_PRIVATE), GetParam());
    EXPECT_EQ("Online (2)", m_tree->GetItemText(Group()));
    EXPECT_FALSE(Item("Cleo").IsOk());
}

TEST_P(AllTreeEventTest, LaterArrivalsJoinTheEndOfTheGroup)
{
    List(MakeList({ User("Zed", BUSY_PUBLIC), User("Yan", FREE) }), GetParam());
    Added(User("Aaron", BUSY_PRIVATE), GetParam());
    wxTreeItemId last = m_tree->GetLastChild(Group());
    EXPECT_EQ("Aaron", m_tree->GetItemText(last));
    EXPECT_EQ(BUSY_ICON, m_tree->GetItemImage(last));
    EXPECT_EQ("Online (3)", m_tree->GetItemText(Group()));

    // A second item of a name goes to the end too, but the icon and the status go to the first
    // item of the name, which every later event also finds first.
    const wxTreeItemId firstZed = Item("Zed");
    Added(User("Zed", ONLINE_ONLY), GetParam());
    last = m_tree->GetLastChild(Group());
    EXPECT_EQ("Zed", m_tree->GetItemText(last));
    EXPECT_EQ(-1, m_tree->GetItemImage(last));
    EXPECT_EQ(ONLINE_ONLY, m_tree->GetUserData(last)->GetUser().GetStatus());
    EXPECT_EQ(firstZed, Item("Zed"));
    EXPECT_EQ(FREE_ICON, Icon("Zed"));
    EXPECT_EQ(ONLINE_ONLY, Status("Zed"));
    EXPECT_EQ("Online (4)", m_tree->GetItemText(Group()));

    Changed(User("Zed", BUSY_PRIVATE), ONLINE_ONLY, GetParam());
    EXPECT_EQ(BUSY_ICON, m_tree->GetItemImage(firstZed));
    EXPECT_EQ(-1, m_tree->GetItemImage(last));
    Deleted(User("Zed", BUSY_PRIVATE), GetParam());
    EXPECT_EQ("Online (3)", m_tree->GetItemText(Group()));
    EXPECT_EQ(last, Item("Zed"));
}

INSTANTIATE_TEST_SUITE_P(Delivery, AllTreeEventTest,
                         ::testing::Values(Delivery::Queued, Delivery::Direct));

// Random event sequences, with duplicates, unknown names and letter case, delivered either way:
// the tree must show exactly what the plain description gives.
TEST_F(AllTreeTest, RandomEventsShowWhatThePlainDescriptionGives)
{
    for ( unsigned seed = 1; seed <= 8; ++seed )
    {
        NewTree();
        AllReference reference;
        ASSERT_EQ(reference.Dump(), Dump(*m_tree));

        RandomDraw draw(seed);
        wxString filter;
        for ( int step = 0; step < 200; ++step )
        {
            filter = RandomFilter(draw, filter);
            if ( draw() % 10 == 0 )
                reference.List(List(draw.SomeList(3), draw.Way())->GetUserList());
            else
                RandomUserEvent(draw, reference);
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

// A view of thousands comes a part at a time; whatever the user types or the site sends before
// the rest is in, it ends as the filtered tree, and every event finds it as if all had come.
TEST_F(AllTreeTest, ALongViewEndsAsTheFilteredTreeWhateverComesMeanwhile)
{
    UserList many;
    for ( int i = 0; i < 3000; ++i )
        many.AddUser(User(wxString::Format(i % 3 ? "Anna_%04d" : "Bob_%04d", i), i % 2 ? FREE : BUSY_PUBLIC));
    AllReference reference;
    reference.List(List(many, Delivery::Queued)->GetUserList());

    m_tree->SetFilter("_");
    const User newcomer("Anna_new", FREE);
    Added(newcomer, Delivery::Queued);
    reference.Added(newcomer);
    EXPECT_EQ(reference.Dump("_"), Dump(View()));
    m_tree->SetFilter(wxEmptyString);

    // A longer text before the rest has come, then events for names it shows and hides.
    m_tree->SetFilter("_");
    m_tree->SetFilter("A");
    const User stranger("Zed", FREE);
    Added(stranger, Delivery::Direct);
    reference.Added(stranger);
    const User changed("Anna_0002", BUSY_PRIVATE);
    Changed(changed, BUSY_PUBLIC, Delivery::Direct);
    reference.Changed(changed);
    const User gone("Anna_0001", FREE);
    Deleted(gone, Delivery::Queued);
    reference.Deleted(gone);
    EXPECT_EQ(reference.Dump("a"), Dump(View()));

    // Left alone, the rest comes at idle time.
    m_tree->SetFilter(wxEmptyString);
    m_tree->SetFilter("n");
    EXPECT_TRUE(TestSupport::WaitIdle([&] { return reference.Dump("n") == Dump(View()); }));
    EXPECT_EQ(reference.Dump(), Dump(*m_tree));
}

bool SamePixels(const wxBitmap& a, const wxBitmap& b)
{
    const wxImage first = a.ConvertToImage();
    const wxImage second = b.ConvertToImage();
    if ( first.GetSize() != second.GetSize() || first.HasAlpha() != second.HasAlpha() )
        return false;
    const size_t pixels = static_cast<size_t>(first.GetWidth()) * first.GetHeight();
    return std::memcmp(first.GetData(), second.GetData(), pixels * 3) == 0
           && (!first.HasAlpha() || std::memcmp(first.GetAlpha(), second.GetAlpha(), pixels) == 0);
}

// With the skin the build makes, each tree's images are the skin's, in their documented order.
TEST(TreeIcons, ComeFromTheSkinInTheirOrder)
{
    const wxString program = TestSupport::BuildDir() + "/Parlo";
    ASSERT_TRUE(wxFileExists(program + ".skin")) << "Parlo.skin was not built";
    ScopedSkin asBuilt(program);
    Skin* skin = Skin::GetInstance();

    wxFrame* frame = new wxFrame(nullptr, wxID_ANY, "trees");
    AllTreeCtrl* all = new AllTreeCtrl(frame, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                       TREE_STYLE, wxDefaultValidator, wxTreeCtrlNameStr);
    FavoriteTreeCtrl* favorite = new FavoriteTreeCtrl(frame, wxID_ANY, wxDefaultPosition,
                                                      wxDefaultSize, TREE_STYLE,
                                                      wxDefaultValidator, wxTreeCtrlNameStr);
    EXPECT_EQ(3, favorite->GetImageList()->GetImageCount());
    favorite->CreateGroupItems();

    const std::vector<const char*> allImages = { "UserListTreeCtrl_onlineGroupIcon",
                                                 "UserListTreeCtrl_freeIcon",
                                                 "UserListTreeCtrl_busyIcon" };
    const std::vector<const char*> favoriteImages = {
        "UserListTreeCtrl_offlineIcon", "UserListTreeCtrl_freeIcon", "UserListTreeCtrl_busyIcon",
        "UserListTreeCtrl_onlineGroupIcon", "UserListTreeCtrl_offlineGroupIcon"
    };
    ASSERT_EQ(3, all->GetImageList()->GetImageCount());
    for ( size_t i = 0; i < allImages.size(); ++i )
        EXPECT_TRUE(SamePixels(skin->GetBitmap(allImages[i]), all->GetImageList()->GetBitmap(i)))
            << allImages[i];
    ASSERT_EQ(5, favorite->GetImageList()->GetImageCount());
    for ( size_t i = 0; i < favoriteImages.size(); ++i )
        EXPECT_TRUE(SamePixels(skin->GetBitmap(favoriteImages[i]),
                               favorite->GetImageList()->GetBitmap(i)))
            << favoriteImages[i];
    // The images differ, so the order above means something.
    EXPECT_FALSE(SamePixels(skin->GetBitmap(allImages[1]), skin->GetBitmap(allImages[2])));

    frame->Destroy();
    wxTheApp->ProcessPendingEvents();
}
}
