#pragma once

#include "common/TempConfig.h"
#include "common/UserSupport.h"
#include "sync/UserEvent.h"
#include "sync/UserListEvent.h"
#include "ui/UserListTreeCtrl.h"
#include "ui/UserListTreeItemData.h"

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/treectrl.h>

#include <functional>
#include <memory>
#include <random>
#include <string>

// What the tree tests share: the frame's tree style, the two ways events reach a tree, a frame
// with the tree under test, and what the reference models beside the tests have in common.
namespace TreeTestSupport
{
const long TREE_STYLE =
    wxSUNKEN_BORDER | wxTR_HIDE_ROOT | wxTR_LINES_AT_ROOT | wxTR_NO_LINES | wxTR_HAS_BUTTONS;

// The user icons sit at the same places in the image list of every tree.
const int FREE_ICON = 1;
const int BUSY_ICON = 2;

enum class Delivery
{
    Queued, // AddPendingEvent, as the daemon thread and the main frame post
    Direct  // ProcessEvent at once
};

inline void Deliver(wxWindow* tree, wxEvent& event, Delivery how)
{
    if ( how == Delivery::Queued )
    {
        static_cast<wxEvtHandler*>(tree)->AddPendingEvent(event);
        wxTheApp->ProcessPendingEvents();
    }
    else
    {
        tree->GetEventHandler()->ProcessEvent(event);
    }
}

// The icon an online status gets, as described: free, or online and not busy, shows the free
// icon; busy shows the busy one.
inline int OnlineIcon(int status)
{
    if ( status & STATUS_FREE )
        return FREE_ICON;
    if ( (status & STATUS_ONLINE) && !(status & STATUS_BUSY) )
        return FREE_ICON;
    if ( status & STATUS_BUSY )
        return BUSY_ICON;
    return -1;
}

// One user item as the dumps of trees and of reference models write it.
inline wxString ItemLine(const wxString& name, int image, int selectedImage, int status)
{
    return wxString::Format("  %s %d/%d %x\n", name, image, selectedImage, status);
}

// A tree of groups as text: each group as groupLine writes it, then its user items as ItemLine
// does; with dataNames, an item whose data bears another name says so.
inline std::string DumpGroups(const UserListTreeCtrl& tree,
                              const std::function<wxString(const wxTreeItemId&)>& groupLine,
                              bool dataNames = false)
{
    wxString out;
    wxTreeItemIdValue groups;
    for ( wxTreeItemId group = tree.GetFirstChild(tree.GetRootItem(), groups); group.IsOk();
          group = tree.GetNextChild(tree.GetRootItem(), groups) )
    {
        out += groupLine(group);
        wxTreeItemIdValue users;
        for ( wxTreeItemId item = tree.GetFirstChild(group, users); item.IsOk();
              item = tree.GetNextChild(group, users) )
        {
            const UserListTreeItemData* data = tree.GetUserData(item);
            out += ItemLine(tree.GetItemText(item), tree.GetItemImage(item, wxTreeItemIcon_Normal),
                            tree.GetItemImage(item, wxTreeItemIcon_Selected),
                            data ? data->GetUser().GetStatus() : -1);
            if ( dataNames && data && data->GetUser().GetName() != tree.GetItemText(item) )
                out += "  data named " + data->GetUser().GetName() + "\n";
        }
    }
    return out.utf8_string();
}

// A user item of a reference model, which shows the same image selected or not.
struct ReferenceItem
{
    wxString name;
    int status;
    int icon;

    wxString Line() const { return ItemLine(name, icon, icon, status); }
    // As a filter's view shows it: the name holds the text, ignoring case.
    bool Shown(const wxString& filter) const { return name.Lower().Contains(filter.Lower()); }
};

// What the random tests draw from: users of a few names, two of them differing only in letter
// case, with any status word that occurs, delivered either way.
class RandomDraw
{
public:
    explicit RandomDraw(unsigned seed)
        : m_random(seed)
    {
    }

    // A number for the test's own choices.
    unsigned operator()() { return m_random(); }

    int Status()
    {
        const int statuses[] = { StatusWord::OFFLINE, StatusWord::ONLINE_ONLY, StatusWord::FREE,
                                 StatusWord::BUSY_PUBLIC, StatusWord::BUSY_PRIVATE };
        return statuses[m_random() % 5];
    }

    User Someone()
    {
        const wxString names[] = { "Anna", "anna", "Bob", "Cleo", "Dan", "Eve", "Finn" };
        const wxString name = names[m_random() % 7];
        return User(name, Status());
    }

    // Up to longest users, names repeated at times.
    UserList SomeList(unsigned longest)
    {
        UserList list;
        for ( unsigned i = m_random() % (longest + 1); i > 0; --i )
            list.AddUser(Someone());
        return list;
    }

    Delivery Way() { return m_random() % 2 ? Delivery::Queued : Delivery::Direct; }

private:
    std::mt19937 m_random;
};

// A frame with one tree of the kind under test, in a configuration of its own; the tree gets
// its events either way.
template <class Tree>
class TreeTest : public ConfiguredTest
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
        m_tree = new Tree(m_frame, wxID_ANY, wxDefaultPosition, wxDefaultSize, TREE_STYLE,
                          wxDefaultValidator, wxTreeCtrlNameStr);
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
    // One arrival, departure or status change of someone drawn at random, told to the tree and
    // to the plain reference alike.
    template <class Reference>
    void RandomUserEvent(RandomDraw& draw, Reference& reference)
    {
        const Delivery how = draw.Way();
        const User someone = draw.Someone();
        switch ( draw() % 3 )
        {
            case 0:
                Added(someone, how);
                reference.Added(someone);
                break;
            case 1:
                Deleted(someone, how);
                reference.Deleted(someone);
                break;
            default:
                Changed(someone, draw.Status(), how);
                reference.Changed(someone);
                break;
        }
    }
    // Now and then another filter, or none, as someone typing would set it; the filter set.
    wxString RandomFilter(RandomDraw& draw, const wxString& current)
    {
        if ( draw() % 8 != 0 )
            return current;
        const char* const texts[] = { "", "a", "AN", "nn", "b", "e", "x" };
        const wxString text = texts[draw() % 7];
        m_tree->SetFilter(text);
        EXPECT_EQ(text.empty(), m_tree->GetFilterView() == nullptr);
        EXPECT_EQ(text.empty(), m_tree->IsShown());
        return text;
    }
    const Tree& View() const { return *static_cast<Tree*>(m_tree->GetFilterView()); }

    // A list as the main frame (the favourites, id 0) or the daemon thread (id -1) posts it.
    // Returns the event whose list the tree walked, in whatever order that list keeps: a queued
    // event reaches the tree as a copy.
    std::unique_ptr<UserListEvent> List(const UserList& list, int id, Delivery how)
    {
        std::unique_ptr<UserListEvent> event(new UserListEvent(wxEVT_USER_LIST_INITIALIZED, id));
        event->SetUserList(list);
        std::unique_ptr<UserListEvent> copy(static_cast<UserListEvent*>(event->Clone()));
        Deliver(m_tree, *event, how);
        return how == Delivery::Queued ? std::move(copy) : std::move(event);
    }

    wxFrame* m_frame = nullptr;
    Tree* m_tree = nullptr;
};
}
