#pragma once

#include <wx/dialog.h>

class PasswordStore;
class wxButton;
class wxStaticBox;
class wxStaticText;
class wxTextCtrl;

// Asks for the site account once; OK stores both values as typed: the user name in the
// configuration, the password there too, or where a password store keeps it.
class AuthenticationDialog : public wxDialog
{
public:
    AuthenticationDialog(wxWindow* parent, wxWindowID id, const wxString& title,
                         const wxPoint& pos, const wxSize& size, long style);
    ~AuthenticationDialog() override;

    // The password is kept in store; the field gets what store has as soon as it answers,
    // unless something has been typed there meanwhile.
    void SetPasswordStore(PasswordStore* store);

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
    PasswordStore* m_store = nullptr;
    // The store's answer still to come for the field, or 0.
    int m_loading = 0;

    wxDECLARE_EVENT_TABLE();
};
