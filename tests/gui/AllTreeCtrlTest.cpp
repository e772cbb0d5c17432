#include "TreeTestSupport.h"
#include "common/TempConfig.h"
#include "common/TestSupport.h"

#include "model/UserList.h"
#include "skin/Skin.h"
#include "sync/UserEvent.h"
#include "ui/AllTreeCtrl.h"
#include "ui/FavoriteTreeCtrl.h"
#include "ui/UserListTreeItemData.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/filefn.h>
#include <wx/filesys.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/imaglist.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace TreeTestSupport;

namespace
{
// The image list's order: the group, then free, then busy.
const int GROUP_ICON = 0;
const int FREE_ICON = 1;
const int BUSY_ICON = 2;

// The group as "label +|- [image]", then one line per user item: "name image/selected status".
std::string Dump(const AllTreeCtrl& tree)
{
    wxString out;
    wxTreeItemIdValue groups;
    for ( wxTreeItemId group = tree.GetFirstChild(tree.GetRootItem(), groups); group.IsOk();
          group = tree.GetNextChild(tree.GetRootItem(), groups) )
    {
        out += wxString::Format("%s %s [%d]\n", tree.GetItemText(group),
                                tree.IsExpanded(group) ? "+" : "-", tree.GetItemImage(group));
        wxTreeItemIdValue users;
        for ( wxTreeItemId item = tree.GetFirstChild(group, users); item.IsOk();
              item = tree.GetNextChild(group, users) )
        {
            const UserListTreeItemData* data = tree.GetUserData(item);
            out += wxString::Format("  %s %d/%d %x\n", tree.GetItemText(item),
                                    tree.GetItemImage(item, wxTreeItemIcon_Normal),
                                    tree.GetItemImage(item, wxTreeItemIcon_Selected),
                                    data ? data->GetUser().GetStatus() : -1);
            if ( data && data->GetUser().GetName() != tree.GetItemText(item) )
                out += "  data named " + data->GetUser().GetName() + "\n";
        }
    }
    return out.utf8_string();
}

// The tree as described, kept the plain way: a vector searched from the front.
class AllReference
{
public:
    void Added(const User& user)
    {
        m_items.push_back(Item{ user.GetName(), user.GetStatus(), -1 });
        Changed(user);
        Count();
    }

    void Changed(const User& user)
    {
        for ( Item& item : m_items )
            if ( item.name == user.GetName() )
            {
                item.icon = Icon(user.GetStatus());
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

    std::string Dump() const
    {
        wxString out =
            wxString::Format("%s %s [%d]\n", m_label, m_expanded ? "+" : "-", GROUP_ICON);
        for ( const Item& item : m_items )
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

    static int Icon(int status)
    {
        if ( status & STATUS_FREE )
            return FREE_ICON;
        if ( (status & STATUS_ONLINE) && !(status & STATUS_BUSY) )
            return FREE_ICON;
        if ( status & STATUS_BUSY )
            return BUSY_ICON;
        return -1;
    }

    void Count() { m_label = wxString::Format("Online (%d)", static_cast<int>(m_items.size())); }

    std::vector<Item> m_items;
    wxString m_label = "Online (Loading)";
    bool m_expanded = false;
};

class AllTreeTest : public ConfiguredTest
{
protected:
    void SetUp() override
    {
        ConfiguredTest::SetUp();
        m_frame = new wxFrame(nullptr, wxID_ANY, "trees", wxDefaultPosition, wxSize(240, 480));
        m_tree = new AllTreeCtrl(m_frame, wxID_ANY, wxDefaultPosition, wxDefaultSize, TREE_STYLE,
                                 wxDefaultValidator, wxTreeCtrlNameStr);
    }

    void TearDown() override
    {
        m_frame->Destroy();
        wxTheApp->ProcessPendingEvents();
        ConfiguredTest::TearDown();
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
    // The event whose list the tree walked, in whatever order that list keeps: a queued event
    // reaches the tree as a copy.
    std::unique_ptr<UserListEvent> List(const UserList& list, Delivery how)
    {
        std::unique_ptr<UserListEvent> event(new UserListEvent(wxEVT_USER_LIST_INITIALIZED, -1));
        event->SetUserList(list);
        std::unique_ptr<UserListEvent> copy(static_cast<UserListEvent*>(event->Clone()));
        Deliver(m_tree, *event, how);
        return how == Delivery::Queued ? std::move(copy) : std::move(event);
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

    wxFrame* m_frame = nullptr;
    AllTreeCtrl* m_tree = nullptr;
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

    List(MakeList({ User("Free", 0x03), User("Online", 0x01), User("Public", 0x0D),
                    User("Private", 0x15), User("Listed", 0x00) }),
         GetParam());
    EXPECT_EQ("Online (5)", m_tree->GetItemText(Group()));
    EXPECT_EQ(FREE_ICON, Icon("Free"));
    EXPECT_EQ(FREE_ICON, Icon("Online"));
    EXPECT_EQ(BUSY_ICON, Icon("Public"));
    EXPECT_EQ(BUSY_ICON, Icon("Private"));
    EXPECT_EQ(-1, Icon("Listed"));
    EXPECT_EQ(BUSY_ICON, m_tree->GetItemImage(Item("Public"), wxTreeItemIcon_Selected));
    EXPECT_EQ(0x15, Status("Private"));
    EXPECT_EQ(Group(), m_tree->GetItemParent(Item("Free")));
}

TEST_P(AllTreeEventTest, ChangesSwitchIconsAndDeletionsCount)
{
    List(MakeList({ User("Anna", 0x03), User("Bob", 0x0D), User("Cleo", 0x15) }), GetParam());

    Changed(User("Anna", 0x0D), 0x03, GetParam());
    EXPECT_EQ(BUSY_ICON, Icon("Anna"));
    EXPECT_EQ(BUSY_ICON, m_tree->GetItemImage(Item("Anna"), wxTreeItemIcon_Selected));
    EXPECT_EQ(0x0D, Status("Anna"));
    Changed(User("Bob", 0x03), 0x0D, GetParam());
    EXPECT_EQ(FREE_ICON, Icon("Bob"));

    // A change for a name without an item, even one differing only in letter case, adds
    // nothing and touches no icon.
    const std::string before = Dump(*m_tree);
    Changed(User("Dora", 0x03), 0x0D, GetParam());
    Changed(User("anna", 0x03), 0x0D, GetParam());
    Deleted(User("Dora", 0x03), GetParam());
    EXPECT_EQ(before, Dump(*m_tree));

    Deleted(User("Cleo", 0x15), GetParam());
    EXPECT_EQ("Online (2)", m_tree->GetItemText(Group()));
    EXPECT_FALSE(Item("Cleo").IsOk());
}

TEST_P(AllTreeEventTest, LaterArrivalsJoinTheEndOfTheGroup)
{
    List(MakeList({ User("Zed", 0x0D), User("Yan", 0x03) }), GetParam());
    Added(User("Aaron", 0x15), GetParam());
    wxTreeItemId last = m_tree->GetLastChild(Group());
    EXPECT_EQ("Aaron", m_tree->GetItemText(last));
    EXPECT_EQ(BUSY_ICON, m_tree->GetItemImage(last));
    EXPECT_EQ("Online (3)", m_tree->GetItemText(Group()));

    // A second item of a name goes to the end too, but the icon and the status go to the first
    // item of the name, which every later event also finds first.
    const wxTreeItemId firstZed = Item("Zed");
    Added(User("Zed", 0x01), GetParam());
    last = m_tree->GetLastChild(Group());
    EXPECT_EQ("Zed", m_tree->GetItemText(last));
    EXPECT_EQ(-1, m_tree->GetItemImage(last));
    EXPECT_EQ(0x01, m_tree->GetUserData(last)->GetUser().GetStatus());
    EXPECT_EQ(firstZed, Item("Zed"));
    EXPECT_EQ(FREE_ICON, Icon("Zed"));
    EXPECT_EQ(0x01, Status("Zed"));
    EXPECT_EQ("Online (4)", m_tree->GetItemText(Group()));

    Changed(User("Zed", 0x15), 0x01, GetParam());
    EXPECT_EQ(BUSY_ICON, m_tree->GetItemImage(firstZed));
    EXPECT_EQ(-1, m_tree->GetItemImage(last));
    Deleted(User("Zed", 0x15), GetParam());
    EXPECT_EQ("Online (3)", m_tree->GetItemText(Group()));
    EXPECT_EQ(last, Item("Zed"));
}

INSTANTIATE_TEST_SUITE_P(Delivery, AllTreeEventTest,
                         ::testing::Values(Delivery::Queued, Delivery::Direct));

// Random event sequences, with duplicates, unknown names and letter case, delivered either way:
// the tree must show exactly what the plain description gives.
TEST_F(AllTreeTest, RandomEventsShowWhatThePlainDescriptionGives)
{
    const wxString names[] = { "Anna", "anna", "Bob", "Cleo", "Dan", "Eve", "Finn" };
    const int statuses[] = { 0x00, 0x01, 0x03, 0x0D, 0x15 };
    for ( unsigned seed = 1; seed <= 8; ++seed )
    {
        m_frame->Destroy();
        m_frame = new wxFrame(nullptr, wxID_ANY, "trees");
        m_tree = new AllTreeCtrl(m_frame, wxID_ANY, wxDefaultPosition, wxDefaultSize, TREE_STYLE,
                                 wxDefaultValidator, wxTreeCtrlNameStr);
        AllReference reference;
        ASSERT_EQ(reference.Dump(), Dump(*m_tree));

        std::mt19937 random(seed);
        const auto user = [&] { return User(names[random() % 7], statuses[random() % 5]); };
        for ( int step = 0; step < 200; ++step )
        {
            const Delivery how = random() % 2 ? Delivery::Queued : Delivery::Direct;
            const User someone = user();
            switch ( random() % 10 )
            {
                case 0:
                {
                    UserList list;
                    for ( unsigned i = random() % 4; i > 0; --i )
                        list.AddUser(user());
                    reference.List(List(list, how)->GetUserList());
                    break;
                }
                case 1:
                case 2:
                case 3:
                    Added(someone, how);
                    reference.Added(someone);
                    break;
                case 4:
                case 5:
                case 6:
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
    const wxArrayString savedArgs = wxTheApp->argv.GetArguments();
    const wchar_t* args[] = { program.wc_str() };
    wxTheApp->argv.Init(1, args);
    wxTheApp->argc = 1;
    delete Skin::GetInstance();
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
    delete Skin::GetInstance();
    std::vector<wxString> copies(savedArgs.begin(), savedArgs.end());
    std::vector<const wchar_t*> saved;
    for ( const wxString& arg : copies )
        saved.push_back(arg.wc_str());
    wxTheApp->argv.Init(static_cast<int>(saved.size()), saved.data());
    wxTheApp->argc = static_cast<int>(saved.size());
    // The store takes every handler of the process with it; other tests need them.
    wxInitAllImageHandlers();
    if ( !wxFileSystem::HasHandlerForPath(program) )
        wxFileSystem::AddHandler(new wxLocalFSHandler);
}
}
