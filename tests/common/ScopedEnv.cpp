#include "common/ScopedEnv.h"

#include <wx/utils.h>

ScopedEnv::ScopedEnv(const wxString& name, const wxString& value)
    : m_name(name)
    , m_had(wxGetEnv(name, &m_saved))
{
    wxSetEnv(name, value);
}

ScopedEnv::~ScopedEnv()
{
    if ( m_had )
        wxSetEnv(m_name, m_saved);
    else
        wxUnsetEnv(m_name);
}
