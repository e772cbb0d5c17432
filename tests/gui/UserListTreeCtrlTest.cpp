#include "RecordingBrowser.h"
#include "TreeTestSupport.h"
#include "common/TempConfig.h"
#include "common/TestSupport.h"

#include "model/UserList.h"
#include "sync/UserEvent.h"
#include "ui/UserListTreeCtrl.h"
#include "ui/UserListTreeItemData.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/fileconf.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/utils.h>

#include <random>
#include <string>
#include <vector>

using namespace StatusWord;
using namespace TreeTestSupport;

namespace
{
// The base tree, with what a test needs to build shapes the events never make, and a context
// menu that records what it would show instead of waiting for a real click.
class TestTree : public UserListTreeCtrl
{
public:
    explicit TestTree(wxWindow* parent)
        : UserListTreeCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, TREE_STYLE,
                           wxDefaultValidator, wxTreeCtrlNameStr)
    {
    }

    using UserListTreeCtrl::AppendUserItem;

    // What the context menus would have shown.
    int popups = 0;
    wxPoint popupAt;
    std::vector<std::string> popupItems;
    // Chooses "Profile" in the menu, as a click on it would.
    bool choose = false;

protected:
    bool DoPopupMenu(wxMenu* menu, int x, int y) override
    {
        ++popups;
        popupAt = wxPoint(x, y);
        for ( const wxMenuItem* item : menu->GetMenuItems() )
            popupItems.push_back(wxString::Format("%d %s kind %d", item->GetId(),
                                                  item->GetItemLabel(), item->GetKind())
                                     .utf8_string());
        if ( choose )
            menu->SendEvent(wxID_OPEN);
        return true;
    }
};

// Every user item below the root as "name:status/image", in tree order.
std::string Items(const UserListTreeCtrl& tree)
{
    wxString shown;
    wxTreeItemIdValue cookie;
    for ( wxTreeItemId item = tree.GetFirstChild(tree.GetRootItem(), cookie); item.IsOk();
          item = tree.GetNextChild(tree.GetRootItem(), cookie) )
    {
        const UserListTreeItemData* data = tree.GetUserData(item);
        shown += wxString::Format("%s:%x/%d ", tree.GetItemText(item),
                                  data ? data->GetUser().GetStatus() : -1, tree.GetItemImage(item));
        if ( data && data->GetUser().GetName() != tree.GetItemText(item) )
            shown += "(data " + data->GetUser().GetName() + ") ";
    }
    return shown.utf8_string();
}

// The search as written out: children in order, a child's subtree before the child.
wxTreeItemId LinearFindItem(const UserListTreeCtrl& tree, const wxString& name,
                            const wxTreeItemId& parent, bool recursive)
{
    wxTreeItemIdValue cookie;
    for ( wxTreeItemId child = tree.GetFirstChild(parent, cookie); child.IsOk();
          child = tree.GetNextChild(parent, cookie) )
    {
        if ( recursive && tree.ItemHasChildren(child) )
        {
            const wxTreeItemId found = LinearFindItem(tree, name, child, true);
            if ( found.IsOk() )
                return found;
        }
        const UserListTreeItemData* data =
            dynamic_cast<const UserListTreeItemData*>(tree.GetItemData(child));
        if ( data && data->GetUser().GetName() == name )
            return child;
    }
    return wxTreeItemId();
}

class UserListTreeTest : public ConfiguredTest, public ::testing::WithParamInterface<Delivery>
{
protected:
    void SetUp() override
    {
        ConfiguredTest::SetUp();
        m_frame = new wxFrame(nullptr, wxID_ANY, "trees");
        m_tree = new TestTree(m_frame);
    }

    void TearDown() override
    {
        m_frame->Destroy();
        wxTheApp->ProcessPendingEvents();
        ConfiguredTest::TearDown();
    }

    void Send(wxEvent& event) { Deliver(m_tree, event, GetParam()); }
    void Added(const User& user)
    {
        UserEvent event(user, wxEVT_USER_ADDED, -1);
        Send(event);
    }
    void Deleted(const User& user)
    {
        UserEvent event(user, wxEVT_USER_DELETED, -1);
        Send(event);
    }
    void Changed(const User& user, int oldStatus)
    {
        UserEvent event(user, wxEVT_USER_CHANGED, oldStatus);
        Send(event);
    }
    void List(const UserList& list)
    {
        UserListEvent event(wxEVT_USER_LIST_INITIALIZED, -1);
        event.SetUserList(list);
        Send(event);
    }

    wxFrame* m_frame = nullptr;
    TestTree* m_tree = nullptr;
};

TEST_P(UserListTreeTest, EventsKeepOneItemPerUserEventBelowTheRoot)
{
    // Only the hidden root at first, and an empty list adds nothing.
    EXPECT_TRUE(m_tree->GetRootItem().IsOk());
    EXPECT_EQ("", m_tree->GetItemText(m_tree->GetRootItem()));
    List(UserList());
    EXPECT_EQ("", Items(*m_tree));

    List(MakeList({ User("Anna", FREE) }));
    Added(User("Bob", BUSY_PUBLIC));
    EXPECT_EQ("Anna:3/-1 Bob:d/-1 ", Items(*m_tree));

    // Nothing checks for an existing item; a later list adds to what is there.
    Added(User("Anna", BUSY_PRIVATE));
    List(MakeList({ User("Cleo", ONLINE_ONLY) }));
    EXPECT_EQ("Anna:3/-1 Bob:d/-1 Anna:15/-1 Cleo:1/-1 ", Items(*m_tree));

    // A change reaches only the first item of the name, and only its data.
    Changed(User("Anna", ONLINE_ONLY), FREE);
    EXPECT_EQ("Anna:1/-1 Bob:d/-1 Anna:15/-1 Cleo:1/-1 ", Items(*m_tree));

    // Unknown names, and names that differ only in letter case, change nothing.
    Changed(User("anna", BUSY_PUBLIC), FREE);
    Deleted(User("ANNA", FREE));
    Deleted(User("Nobody", FREE));
    Changed(User("Nobody", FREE), ONLINE_ONLY);
    EXPECT_EQ("Anna:1/-1 Bob:d/-1 Anna:15/-1 Cleo:1/-1 ", Items(*m_tree));

    // A deletion takes the first of the name, whatever the status it names.
    Deleted(User("Anna", BUSY_PUBLIC));
    EXPECT_EQ("Bob:d/-1 Anna:15/-1 Cleo:1/-1 ", Items(*m_tree));
    Deleted(User("Anna", BUSY_PRIVATE));
    Deleted(User("Bob", BUSY_PUBLIC));
    EXPECT_EQ("Cleo:1/-1 ", Items(*m_tree));
}

TEST_P(UserListTreeTest, FindItemMatchesExactNamesInSearchOrder)
{
    const wxTreeItemId root = m_tree->GetRootItem();
    const wxTreeItemId anna = m_tree->AppendUserItem(root, User("Anna", FREE), -1);
    const wxTreeItemId group = m_tree->AppendItem(root, "group");
    const wxTreeItemId bobInGroup = m_tree->AppendUserItem(group, User("Bob", FREE), -1);
    const wxTreeItemId bob = m_tree->AppendUserItem(root, User("Bob", BUSY_PUBLIC), -1);
    const wxTreeItemId annaInGroup = m_tree->AppendUserItem(group, User("Anna", ONLINE_ONLY), -1);

    // Names are exact texts; the status does not matter.
    EXPECT_EQ(anna, m_tree->FindItem(User("Anna", 0), root, true));
    EXPECT_FALSE(m_tree->FindItem(User("anna", FREE), root, true).IsOk());
    EXPECT_FALSE(m_tree->FindItem(User("Ann", FREE), root, true).IsOk());
    EXPECT_FALSE(m_tree->FindItem(User("Anna ", FREE), root, true).IsOk());

    // Without recursion only the direct children count; with it a group is searched where it
    // stands among them.
    EXPECT_EQ(bob, m_tree->FindItem(User("Bob", 0), root, false));
    EXPECT_EQ(bobInGroup, m_tree->FindItem(User("Bob", 0), root, true));
    EXPECT_EQ(annaInGroup, m_tree->FindItem(User("Anna", 0), group, false));
    EXPECT_FALSE(m_tree->FindItem(User("Anna", 0), bob, true).IsOk());

    // A subtree is searched before the item that holds it.
    const wxTreeItemId nested = m_tree->AppendUserItem(anna, User("Anna", BUSY_PRIVATE), -1);
    EXPECT_EQ(nested, m_tree->FindItem(User("Anna", 0), root, true));
    EXPECT_EQ(anna, m_tree->FindItem(User("Anna", 0), root, false));

    // An item renamed through its data is found by its new name only.
    m_tree->GetUserData(bob)->SetUser(User("Dora", FREE));
    EXPECT_EQ(bob, m_tree->FindItem(User("Dora", 0), root, true));
    EXPECT_FALSE(m_tree->FindItem(User("Bob", 0), root, false).IsOk());

    // Deleting a branch takes its users out of every search.
    m_tree->Delete(group);
    EXPECT_FALSE(m_tree->FindItem(User("Bob", 0), root, true).IsOk());
    m_tree->DeleteChildren(anna);
    EXPECT_EQ(anna, m_tree->FindItem(User("Anna", 0), root, true));
}

// Every item but the root, parents before their children.
std::vector<wxTreeItemId> AllItems(const wxTreeCtrl& tree)
{
    std::vector<wxTreeItemId> items;
    std::vector<wxTreeItemId> pending(1, tree.GetRootItem());
    while ( !pending.empty() )
    {
        const wxTreeItemId parent = pending.back();
        pending.pop_back();
        wxTreeItemIdValue cookie;
        for ( wxTreeItemId child = tree.GetFirstChild(parent, cookie); child.IsOk();
              child = tree.GetNextChild(parent, cookie) )
        {
            items.push_back(child);
            pending.push_back(child);
        }
    }
    return items;
}

// Random shapes and changes, duplicate names, letter case and unknown names: the index must
// answer exactly as the search written out does, for every parent tried.
TEST_P(UserListTreeTest, FindItemAnswersAsTheWalkOverTheTree)
{
    const wxString names[] = { "Anna", "anna", "ANNA", "Bob", "Cleo", "Dan", "Eve" };
    for ( unsigned seed = 1; seed <= 6; ++seed )
    {
        m_tree->DeleteChildren(m_tree->GetRootItem());
        std::mt19937 random(seed);
        const auto pick = [&random](size_t n) { return static_cast<size_t>(random() % n); };
        const auto name = [&] { return names[pick(sizeof(names) / sizeof(names[0]))]; };

        for ( int step = 0; step < 150; ++step )
        {
            std::vector<wxTreeItemId> items = AllItems(*m_tree);
            const auto anyItem = [&] { return items[pick(items.size())]; };
            const User user(name(), FREE);
            switch ( items.empty() ? 0 : pick(9) )
            {
                case 0: m_tree->AppendUserItem(m_tree->GetRootItem(), user, -1); break;
                case 1: m_tree->AppendItem(m_tree->GetRootItem(), "group"); break;
                // Now and then below a user item, which the subtree-first rule must see.
                case 2: m_tree->AppendUserItem(anyItem(), user, -1); break;
                case 3: m_tree->Delete(anyItem()); break;
                case 4:
                    if ( pick(4) == 0 )
                        m_tree->DeleteChildren(anyItem());
                    break;
                case 5:
                    if ( UserListTreeItemData* data = m_tree->GetUserData(anyItem()) )
                        data->SetUser(User(name(), BUSY_PUBLIC));
                    break;
                case 6: Added(user); break;
                case 7: Deleted(user); break;
                default: Changed(User(user.GetName(), BUSY_PRIVATE), FREE); break;
            }

            items = AllItems(*m_tree);
            std::vector<wxTreeItemId> parents(1, m_tree->GetRootItem());
            for ( int i = 0; i < 4 && !items.empty(); ++i )
                parents.push_back(anyItem());
            for ( const wxString& probe : names )
                for ( const wxTreeItemId& parent : parents )
                    for ( bool recursive : { false, true } )
                        ASSERT_EQ(LinearFindItem(*m_tree, probe, parent, recursive),
                                  m_tree->FindItem(User(probe, 0), parent, recursive))
                            << "seed " << seed << " step " << step << " name " << probe
                            << (recursive ? " recursive" : "");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Delivery, UserListTreeTest,
                         ::testing::Values(Delivery::Queued, Delivery::Direct));

// A tree of two users and a group in a frame that counts the "show" commands reaching it.
class UserListTreeProfileTest : public ConfiguredTest
{
protected:
    void SetUp() override
    {
        ConfiguredTest::SetUp();
        Config().Write("/Site/previewhost", "preview.test:8181");
        m_frame = new wxFrame(nullptr, wxID_ANY, "trees");
        m_frame->Show();
        m_frame->Bind(wxEVT_MENU, [this](wxCommandEvent& event) {
            if ( event.GetId() == wxID_OPEN )
                ++m_frameCommands;
        });
        m_tree = new TestTree(m_frame);
        const wxTreeItemId root = m_tree->GetRootItem();
        m_anna = m_tree->AppendUserItem(root, User("Anna", FREE), -1);
        m_group = m_tree->AppendItem(root, "group");
        m_mia = m_tree->AppendUserItem(root, User("Mia Rose&Co", BUSY_PUBLIC), -1);
    }

    void TearDown() override
    {
        m_frame->Destroy();
        wxTheApp->ProcessPendingEvents();
        ConfiguredTest::TearDown();
    }

    void Profile()
    {
        wxCommandEvent event(wxEVT_MENU, wxID_OPEN);
        m_tree->GetEventHandler()->ProcessEvent(event);
    }
    void Activate(const wxTreeItemId& item)
    {
        wxTreeEvent event(wxEVT_TREE_ITEM_ACTIVATED, m_tree, item);
        m_tree->GetEventHandler()->ProcessEvent(event);
    }
    void RightClick(const wxTreeItemId& item)
    {
        wxTreeEvent event(wxEVT_TREE_ITEM_RIGHT_CLICK, m_tree, item);
        m_tree->GetEventHandler()->ProcessEvent(event);
    }

    static std::string Preview(const std::string& query)
    {
        return "http://preview.test:8181/preview.shtml?" + query;
    }

    wxFrame* m_frame = nullptr;
    TestTree* m_tree = nullptr;
    wxTreeItemId m_anna;
    wxTreeItemId m_group;
    wxTreeItemId m_mia;
    int m_frameCommands = 0;
};

TEST_F(UserListTreeProfileTest, ProfileAndActivationOpenTheSelectedUsersPage)
{
    RecordingBrowser browser;

    // Nothing selected, or a group selected: nothing to open, whatever is activated.
    m_tree->UnselectAll();
    Profile();
    m_tree->SelectItem(m_group);
    Profile();
    Activate(m_group);
    Activate(m_anna);

    // The name goes into the address as stored, blank and ampersand included.
    m_tree->SelectItem(m_mia);
    Profile();
    ASSERT_TRUE(browser.WaitForOpened(1));
    EXPECT_EQ(std::vector<std::string>{ Preview("Mia Rose&Co") }, browser.Opened());

    // Activation opens the selected user, not the activated item.
    m_tree->SelectItem(m_anna);
    Activate(m_mia);
    ASSERT_TRUE(browser.WaitForOpened(2));
    EXPECT_EQ(Preview("Anna"), browser.Opened()[1]);

    // The tree keeps the command: the frame, which shows itself on the same id, never sees it.
    EXPECT_EQ(0, m_frameCommands);
}

TEST_F(UserListTreeProfileTest, RightClickOffersProfileOnUsersOnly)
{
    RecordingBrowser browser;
    m_tree->SelectItem(m_anna);

    RightClick(m_group);
    EXPECT_EQ(0, m_tree->popups);

    RightClick(m_mia);
    ASSERT_EQ(1, m_tree->popups);
    EXPECT_EQ(std::vector<std::string>{ "5000 Profile kind 0" }, m_tree->popupItems);
    EXPECT_EQ(m_tree->ScreenToClient(wxGetMousePosition()), m_tree->popupAt);

    // The click leaves the selection alone, so "Profile" opens the selected user.
    EXPECT_EQ(m_anna, m_tree->GetSelection());
    m_tree->choose = true;
    RightClick(m_mia);
    ASSERT_TRUE(browser.WaitForOpened(1));
    EXPECT_EQ(std::vector<std::string>{ Preview("Anna") }, browser.Opened());
    EXPECT_EQ(0, m_frameCommands);
}
}
