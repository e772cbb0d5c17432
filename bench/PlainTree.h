#pragma once

#include "model/User.h"
#include "sync/UserEvent.h"

#include <wx/treectrl.h>

// The "All" tree kept the plain way: every event looks its user up by walking the group's items
// from the first; what the real tree's index is measured against.
class PlainTree : public wxTreeCtrl
{
public:
    PlainTree(wxWindow* parent, long style)
        : wxTreeCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, style)
    {
        m_group = AppendItem(AddRoot(wxEmptyString), "Online");
        Bind(wxEVT_USER_ADDED, [this](UserEvent& event) {
            // Only the first item of a name shows the status.
            const bool first = !Walk(event.GetUser().GetName()).IsOk();
            AppendItem(m_group, event.GetUser().GetName(), first ? Icon(event.GetUser().GetStatus()) : -1);
            Count();
        });
        Bind(wxEVT_USER_DELETED, [this](UserEvent& event) {
            const wxTreeItemId item = Walk(event.GetUser().GetName());
            if ( item.IsOk() )
                Delete(item);
            Count();
        });
        Bind(wxEVT_USER_CHANGED, [this](UserEvent& event) {
            const wxTreeItemId item = Walk(event.GetUser().GetName());
            if ( item.IsOk() )
                SetItemImage(item, Icon(event.GetUser().GetStatus()));
        });
    }

private:
    wxTreeItemId Walk(const wxString& name) const
    {
        wxTreeItemIdValue cookie;
        for ( wxTreeItemId item = GetFirstChild(m_group, cookie); item.IsOk(); item = GetNextChild(m_group, cookie) )
        {
            if ( GetItemText(item) == name )
                return item;
        }
        return wxTreeItemId();
    }
    void Count()
    {
        SetItemText(m_group, wxString::Format("Online (%d)", static_cast<int>(GetChildrenCount(m_group, false))));
    }
    static int Icon(int status) { return (status & STATUS_BUSY) ? 1 : 0; }

    wxTreeItemId m_group;
};
