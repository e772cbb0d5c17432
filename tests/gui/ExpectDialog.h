#pragma once

#include "ui/AuthenticationDialog.h"

#include <wx/msgdlg.h>
#include <wx/testing.h>
#include <wx/textctrl.h>

// Modal dialogs in the window tests: wxTEST_DIALOG(code, expectations...) answers the dialogs
// the code is expected to show, in order, and fails the test on any other.

// The hook wxTEST_DIALOG installs here. It is the toolkit's, except that a dialog nobody
// expected is closed as soon as the failure is reported: left open, it would wait for a user
// who never comes and the test would hang instead of failing.
class ExpectingModalHook : public wxTestingModalHook
{
public:
    ExpectingModalHook(const char* file, int line, const char* func)
        : wxTestingModalHook(file, line, func)
    {
    }

protected:
    int Enter(wxDialog* dialog) override
    {
        const int answer = wxTestingModalHook::Enter(dialog);
        return answer != wxID_NONE ? answer : wxID_CANCEL;
    }
};

#undef wxTEST_DIALOG_HOOK_CLASS
#define wxTEST_DIALOG_HOOK_CLASS ExpectingModalHook

// For a fixture or a stretch of a test where no dialog belongs: any one shown while this lives
// fails the test. A wxTEST_DIALOG inside it still gets the dialogs it expects.
class NoDialogExpected : public ExpectingModalHook
{
public:
    // The failure names the place where this was made.
    NoDialogExpected(const char* file = __builtin_FILE(), int line = __builtin_LINE(),
                     const char* func = __builtin_FUNCTION())
        : ExpectingModalHook(file, line, func)
    {
    }
};

// What a message box showed, and how many came.
struct SeenBox
{
    int shown = 0;
    wxString message;
    wxString caption;
    long style = 0;
};

// Expects a message box, notes what it showed and answers it with the given button.
class AnswerBox : public wxExpectModalBase<wxMessageDialog, AnswerBox>
{
public:
    AnswerBox(int answer, SeenBox& seen)
        : m_answer(answer)
        , m_seen(&seen)
    {
    }

protected:
    int OnInvoked(wxMessageDialog* box) const override
    {
        ++m_seen->shown;
        m_seen->message = box->GetMessage();
        m_seen->caption = box->GetTitle();
        m_seen->style = box->GetMessageDialogStyle();
        return m_answer;
    }

private:
    int m_answer;
    SeenBox* m_seen;
};

// What the sign-in dialog showed when it came.
struct SeenSignIn
{
    int shown = 0;
    wxString caption;
    wxString user;
};

// Expects the sign-in dialog and answers it as a user would: types a name and a password and
// presses OK, or, made by Cancel(), leaves it with Cancel.
class AnswerSignIn : public wxExpectModalBase<AuthenticationDialog, AnswerSignIn>
{
public:
    AnswerSignIn(const wxString& user, const wxString& password, SeenSignIn* seen = nullptr)
        : m_user(user)
        , m_password(password)
        , m_seen(seen)
    {
        m_description = "the sign-in dialog";
    }

    static AnswerSignIn Cancel(SeenSignIn* seen = nullptr)
    {
        AnswerSignIn cancel(wxEmptyString, wxEmptyString, seen);
        cancel.m_confirm = false;
        return cancel;
    }

protected:
    int OnInvoked(AuthenticationDialog* dialog) const override
    {
        if ( m_seen )
        {
            ++m_seen->shown;
            m_seen->caption = dialog->GetTitle();
            m_seen->user = dialog->GetUserNameField()->GetValue();
        }
        if ( !m_confirm )
            return wxID_CANCEL;
        dialog->GetUserNameField()->SetValue(m_user);
        dialog->GetPasswordField()->SetValue(m_password);
        wxCommandEvent ok(wxEVT_COMMAND_BUTTON_CLICKED, wxID_OK);
        ok.SetEventObject(dialog);
        dialog->GetEventHandler()->ProcessEvent(ok);
        return wxID_OK;
    }

private:
    wxString m_user;
    wxString m_password;
    SeenSignIn* m_seen;
    bool m_confirm = true;
};
