#pragma once

#include <wx/event.h>

#include <functional>
#include <map>

class wxThreadEvent;

// Where the site password is kept: in the desktop's Secret Service whenever one is on the
// session bus, under the site's main host and the user name of "/id"; otherwise in "/password"
// of the configuration file, as always. The keyring is asked on threads of their own, so that a
// keyring that asks the user to unlock it never holds up the windows: answers come back on the
// main thread. Without a session bus everything happens at once, in the file.
class PasswordStore : public wxEvtHandler
{
public:
    PasswordStore();
    // Ends what is still under way; a password not yet in the keyring goes into the file.
    ~PasswordStore() override;

    PasswordStore(const PasswordStore&) = delete;
    PasswordStore& operator=(const PasswordStore&) = delete;

    // The password of the account; got runs on the main thread, at once without a keyring.
    // Returns what Forget takes, 0 when got has run already.
    int Load(const std::function<void(const wxString& password)>& got);
    // got of that Load is not to run: whoever waited for it is gone.
    void Forget(int request) { m_waiting.erase(request); }
    // Keeps the password of the account.
    void Save(const wxString& password);
    // A password still in the file (from an earlier version, or a time without a keyring) moves
    // into the keyring, and leaves the file once it is there.
    void MoveFromFile();

    // The keyring is asked at all: there is a session bus to find one on.
    static bool UsesKeyring();

private:
    class Worker;

    // False when the worker could not run: the file has answered instead.
    bool Start(Worker* worker, const std::function<void(const wxString& password)>& got);
    void OnWorkerDone(wxThreadEvent& event);
    // What to do when the keyring did not take a password: the file takes it, as without one.
    void SaveInFile(const wxString& password);
    static void TellOnce(const wxString& why);

    std::map<int, Worker*> m_workers;
    std::map<int, std::function<void(const wxString&)>> m_waiting;
    int m_next = 0;

    wxDECLARE_EVENT_TABLE();
};
