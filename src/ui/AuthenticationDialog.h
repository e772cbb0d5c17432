#pragma once

#include <wx/dialog.h>

class wxButton;
class wxStaticBox;
class wxStaticText;
class wxTextCtrl;

// Asks for the site account once; OK stores both values in the configuration as typed.
class AuthenticationDialog : public wxDialog
{
public:
    AuthenticationDialog(wxWindow* parent, wxWindowID id, const wxString& title,
                         const wxPoint& pos, const wxSize& size, long style);

    wxTextCtrl* GetUserNameField() const { return m_userNameField; }
    wxTextCtrl* GetPasswordField() const { return m_passwordField; }

private:
    void DoLayout();
    void OnOK(wxCommandEvent& event);

    wxStaticBox* m_accountBox;
    wxStaticText* m_userNameLabel;
    wxTextCtrl* m_userNameField;
    wxStaticText* m_passwordLabel;
    wxTextCtrl* m_passwordField;
    wxButton* m_okButton;
    wxButton* m_cancelButton;

    wxDECLARE_EVENT_TABLE();
};
