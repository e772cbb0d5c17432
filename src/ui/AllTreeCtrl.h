#pragma once

#include "ui/UserListTreeCtrl.h"

// The "All" page: everyone on the site's current list, in arrival order below one group item
// "Online (count)", each marked free or busy by its icon. A row's tooltip, and what a screen
// reader adds after its name, say since when the performer has been online and when they were
// online before, as the watch history knows it.
class AllTreeCtrl : public UserListTreeCtrl
{
public:
    AllTreeCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                long style, const wxValidator& validator, const wxString& name);

    wxString GetRowDescription(Row row) const override;

protected:
    UserListTreeCtrl* CreateView() const override;

private:
    void OnUserAdded(UserEvent& event);
    void OnUserChanged(UserEvent& event);
    void OnUserDeleted(UserEvent& event);
    void OnUserListInitialized(UserListEvent& event);
    void UpdateGroupLabel();
    void OnItemToolTip(wxTreeEvent& event);
    // The history's words for user, or nothing.
    wxString HistoryTip(const User& user) const;

    wxString m_groupLabel;
    wxTreeItemId m_group;
    int m_freeIcon = -1;
    int m_busyIcon = -1;
    // While a whole list goes in, its users' label updates wait for the one at its end.
    bool m_addingList = false;

    wxDECLARE_EVENT_TABLE();
};
