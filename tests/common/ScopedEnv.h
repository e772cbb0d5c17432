#pragma once

#include <wx/string.h>

// An environment variable set for one scope; what it was comes back at its end.
class ScopedEnv
{
public:
    ScopedEnv(const wxString& name, const wxString& value);
    ~ScopedEnv();

    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    wxString m_name;
    wxString m_saved;
    bool m_had;
};
