#include "ui/PasswordStore.h"

#include "shell/SecretPassword.h"
#include "shell/SessionBus.h"
#include "shell/SiteHosts.h"
#include "skin/Skin.h"

#include <wx/config.h>
#include <wx/log.h>
#include <wx/thread.h>

namespace
{
enum Job
{
    LOAD,
    SAVE,
    MOVE
};
}

// One question to the keyring, on a thread of its own; the answer goes to the store as a
// wxEVT_THREAD whose id names the request. Joinable, so that the store can wait for it.
class PasswordStore::Worker : public wxThread
{
public:
    Worker(wxEvtHandler* store, int request, Job job, const wxString& password)
        : wxThread(wxTHREAD_JOINABLE)
        , m_store(store)
        , m_request(request)
        , m_job(job)
        // Copies of their own: nothing is shared with the main thread.
        , m_host(SiteHosts::GetHost(SiteHosts::MAIN).Clone())
        , m_user(Skin::GetConfig()->Read("/id", wxEmptyString).Clone())
        , m_password(password.Clone())
    {
    }

    Job GetJob() const { return m_job; }
    SecretPassword::Result GetResult() const { return m_result; }
    const wxString& GetPassword() const { return m_password; }
    void Cancel() { m_secret.Cancel(); }

protected:
    ExitCode Entry() override
    {
        if ( m_job == LOAD )
            m_result = m_secret.Lookup(m_host, m_user, m_password);
        else
            m_result = m_secret.Store(m_host, m_user, m_password);
        wxThreadEvent* done = new wxThreadEvent(wxEVT_THREAD, m_request);
        done->SetInt(m_result);
        done->SetString(m_result == SecretPassword::UNAVAILABLE ? m_secret.GetProblem() : wxString());
        wxQueueEvent(m_store, done);
        return 0;
    }

private:
    wxEvtHandler* m_store;
    int m_request;
    Job m_job;
    wxString m_host;
    wxString m_user;
    wxString m_password;
    SecretPassword m_secret;
    SecretPassword::Result m_result = SecretPassword::UNAVAILABLE;
};

wxBEGIN_EVENT_TABLE(PasswordStore, wxEvtHandler)
    EVT_THREAD(wxID_ANY, PasswordStore::OnWorkerDone)
wxEND_EVENT_TABLE()

PasswordStore::PasswordStore() = default;

PasswordStore::~PasswordStore()
{
    for ( auto& entry : m_workers )
    {
        Worker* worker = entry.second;
        worker->Cancel();
        worker->Wait();
        // The keyring did not take it in time: the file does, as it would without a keyring.
        if ( worker->GetJob() == SAVE && worker->GetResult() != SecretPassword::DONE )
            SaveInFile(worker->GetPassword());
        delete worker;
    }
}

bool PasswordStore::UsesKeyring()
{
    return SessionBus::IsThere();
}

int PasswordStore::Load(const std::function<void(const wxString& password)>& got)
{
    if ( !UsesKeyring() )
    {
        TellOnce("there is no session bus");
        got(Skin::GetConfig()->Read("/password", wxEmptyString));
        return 0;
    }
    return Start(new Worker(this, ++m_next, LOAD, wxEmptyString), got) ? m_next : 0;
}

void PasswordStore::Save(const wxString& password)
{
    if ( !UsesKeyring() )
    {
        TellOnce("there is no session bus");
        SaveInFile(password);
        return;
    }
    Start(new Worker(this, ++m_next, SAVE, password), nullptr);
}

void PasswordStore::MoveFromFile()
{
    wxString password;
    if ( !UsesKeyring() || !Skin::GetConfig()->Read("/password", &password) )
        return;
    Start(new Worker(this, ++m_next, MOVE, password), nullptr);
}

bool PasswordStore::Start(Worker* worker, const std::function<void(const wxString& password)>& got)
{
    const int request = m_next;
    if ( worker->Run() != wxTHREAD_NO_ERROR )
    {
        wxLogTrace("lumora", "passwords: the keyring could not be asked");
        const Job job = worker->GetJob();
        const wxString password = worker->GetPassword();
        delete worker;
        if ( job == SAVE )
            SaveInFile(password);
        if ( got )
            got(Skin::GetConfig()->Read("/password", wxEmptyString));
        return false;
    }
    m_workers[request] = worker;
    if ( got )
        m_waiting[request] = got;
    return true;
}

void PasswordStore::OnWorkerDone(wxThreadEvent& event)
{
    const auto found = m_workers.find(event.GetId());
    if ( found == m_workers.end() )
        return;
    Worker* worker = found->second;
    m_workers.erase(found);
    worker->Wait();
    const SecretPassword::Result result = static_cast<SecretPassword::Result>(event.GetInt());
    const Job job = worker->GetJob();
    const wxString password = worker->GetPassword();
    delete worker;
    if ( result == SecretPassword::UNAVAILABLE )
        TellOnce("the Secret Service is not there or refused: " + event.GetString());

    wxConfigBase* config = Skin::GetConfig();
    switch ( job )
    {
        case LOAD:
        {
            const auto waiting = m_waiting.find(event.GetId());
            if ( waiting == m_waiting.end() )
                return;
            const std::function<void(const wxString&)> got = waiting->second;
            m_waiting.erase(waiting);
            // Not in the keyring (yet): what the file has, if anything.
            got(result == SecretPassword::DONE ? password : config->Read("/password", wxEmptyString));
            return;
        }
        case SAVE:
            if ( result != SecretPassword::DONE )
                SaveInFile(password);
            else if ( config->DeleteEntry("/password") )
                config->Flush();
            return;
        case MOVE:
            if ( result != SecretPassword::DONE )
                return;
            // Only what was moved leaves the file: a newer password stays until it is moved too.
            if ( config->Read("/password", wxEmptyString) == password && config->DeleteEntry("/password") )
            {
                config->Flush();
                wxLogTrace("lumora", "passwords: the password moved from the file into the keyring");
            }
            return;
    }
}

void PasswordStore::SaveInFile(const wxString& password)
{
    wxConfigBase* config = Skin::GetConfig();
    config->Write("/password", password);
    config->Flush();
}

void PasswordStore::TellOnce(const wxString& why)
{
    static bool told = false;
    if ( told )
        return;
    told = true;
    wxLogTrace("lumora", "passwords: kept in the configuration file, because %s", why);
}
