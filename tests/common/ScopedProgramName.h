#pragma once

#include <wx/string.h>

// Makes the running application look as if it were another program file, which decides where the
// plug-in looks for its skin and its own file; the real one comes back at the end of the scope.
class ScopedProgramName
{
public:
    explicit ScopedProgramName(const wxString& program);
    ~ScopedProgramName();

    ScopedProgramName(const ScopedProgramName&) = delete;
    ScopedProgramName& operator=(const ScopedProgramName&) = delete;

private:
    wxString m_saved;
};
