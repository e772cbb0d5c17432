#pragma once

#include <wx/string.h>

#include <memory>

class wxSingleInstanceChecker;
typedef struct _GApplication GApplication;

// One running watcher per configuration file. The first start of a configuration holds it: a lock
// file among the user's runtime files, and a name on the session bus as GApplication owns one. A
// later start finds it held, asks the running copy over the bus to show its window, and ends.
class SingleInstance
{
public:
    enum Claim
    {
        FIRST,        // no other copy: this one runs
        OTHER_SHOWN,  // another copy runs and has been asked to show itself
        OTHER_UNREACHABLE // another copy runs, but no bus leads to it
    };

    SingleInstance();
    ~SingleInstance();

    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Claims the configuration file at path for this process.
    Claim ClaimFor(const wxString& path);

private:
    static void OnActivate(GApplication* application, void* data);

    std::unique_ptr<wxSingleInstanceChecker> m_checker;
    GApplication* m_application = nullptr;
};
