#include "ui/AuthenticationDialog.h"

#include "skin/Skin.h"
#include "ui/PasswordStore.h"

#include <wx/button.h>
#include <wx/config.h>
#include <wx/intl.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

wxBEGIN_EVENT_TABLE(AuthenticationDialog, wxDialog)
    EVT_BUTTON(wxID_OK, AuthenticationDialog::OnOK)
wxEND_EVENT_TABLE()

AuthenticationDialog::AuthenticationDialog(wxWindow* parent, wxWindowID id, const wxString& title,
                                           const wxPoint& pos, const wxSize& size, long style)
    : wxDialog(parent, id, title, pos, size, style)
{
    m_accountBox = new wxStaticBox(this, wxID_ANY, _("Account"));
    m_userNameLabel = new wxStaticText(this, wxID_ANY, _("Username"));
    m_userNameField = new wxTextCtrl(this, wxID_ANY, wxEmptyString);
    m_passwordLabel = new wxStaticText(this, wxID_ANY, _("Password"));
    m_passwordField = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                     wxDefaultSize, wxTE_PASSWORD);
    m_okButton = new wxButton(this, wxID_OK, _("OK"));
    m_cancelButton = new wxButton(this, wxID_CANCEL, _("Cancel"));
    // Enter in either field signs in, as in every sign-in form of the desktop.
    m_okButton->SetDefault();
    SetTitle(_("Authentication"));
    DoLayout();

    wxConfigBase* config = Skin::GetConfig();
    m_userNameField->SetValue(config->Read("/id", wxEmptyString));
    m_passwordField->SetValue(config->Read("/password", wxEmptyString));
}

AuthenticationDialog::~AuthenticationDialog()
{
    if ( m_store && m_loading )
        m_store->Forget(m_loading);
}

void AuthenticationDialog::SetPasswordStore(PasswordStore* store)
{
    m_store = store;
    m_loading = m_store->Load([this](const wxString& password) {
        m_loading = 0;
        if ( m_passwordField->IsEmpty() )
            m_passwordField->SetValue(password);
    });
}

void AuthenticationDialog::DoLayout()
{
    wxFlexGridSizer* grid = new wxFlexGridSizer(2, 2, 0, 0);
    grid->Add(m_userNameLabel, 0, 0, 0);
    grid->Add(m_userNameField, 0, 0, 0);
    grid->Add(m_passwordLabel, 0, 0, 0);
    grid->Add(m_passwordField, 0, 0, 0);

    wxStaticBoxSizer* account = new wxStaticBoxSizer(m_accountBox, wxVERTICAL);
    account->Add(grid, 0, wxEXPAND, 0);

    wxBoxSizer* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(m_okButton, 0, 0, 0);
    buttons->Add(m_cancelButton, 0, 0, 0);

    wxBoxSizer* outer = new wxBoxSizer(wxVERTICAL);
    outer->Add(account, 0, wxALL, 8);
    outer->Add(buttons, 0, wxALIGN_RIGHT | wxALL, 4);
    SetAutoLayout(true);
    SetSizer(outer);
    outer->Fit(this);
    outer->SetSizeHints(this);
    Layout();
}

void AuthenticationDialog::OnOK(wxCommandEvent& event)
{
    wxConfigBase* config = Skin::GetConfig();
    // The user name first: the store keeps the password under it.
    config->Write("/id", m_userNameField->GetValue());
    if ( m_store )
        m_store->Save(m_passwordField->GetValue());
    else
        config->Write("/password", m_passwordField->GetValue());
    config->Flush();
    // The toolkit's own OK handling ends the modal loop.
    event.Skip();
}
