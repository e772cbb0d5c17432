#pragma once

#include "model/UserList.h"

#include <wx/app.h>
#include <wx/treectrl.h>

#include <initializer_list>

// What the tree tests share: the frame's tree style, the two ways events reach a tree, and
// lists written inline.
namespace TreeTestSupport
{
const long TREE_STYLE =
    wxSUNKEN_BORDER | wxTR_HIDE_ROOT | wxTR_LINES_AT_ROOT | wxTR_NO_LINES | wxTR_HAS_BUTTONS;

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

inline UserList MakeList(std::initializer_list<User> users)
{
    UserList list;
    for ( const User& user : users )
        list.AddUser(user);
    return list;
}
}
