#pragma once

#include <wx/string.h>

typedef struct _GCancellable GCancellable;

// The site account's password in the desktop's Secret Service (GNOME Keyring, KWallet,
// KeePassXC), found by the site's main host and the user name. Every call blocks until the
// service has answered, which may take as long as the user needs to unlock the keyring: make
// them on a thread of their own, never on the main thread. Cancel ends a call at once.
class SecretPassword
{
public:
    enum Result
    {
        DONE,
        NOT_FOUND,  // the service has no password for the account
        UNAVAILABLE // no service, or it refused (a locked keyring whose unlock was cancelled)
    };

    SecretPassword();
    ~SecretPassword();

    SecretPassword(const SecretPassword&) = delete;
    SecretPassword& operator=(const SecretPassword&) = delete;

    Result Store(const wxString& host, const wxString& user, const wxString& password);
    Result Lookup(const wxString& host, const wxString& user, wxString& password);

    // Any thread: the call under way, or the next, ends as UNAVAILABLE.
    void Cancel();
    // Why the last call found the service unavailable.
    const wxString& GetProblem() const { return m_problem; }

private:
    class Call;

    GCancellable* m_cancellable;
    wxString m_problem;
};
