#pragma once

#include <wx/string.h>

#include <vector>

// Makes the running application look as if it had been started as another program (its first
// command-line argument), which decides where the plug-in looks for its skin and its own file;
// the original arguments come back at the end of the scope.
class ScopedProgramName
{
public:
    explicit ScopedProgramName(const wxString& program);
    ~ScopedProgramName();

    ScopedProgramName(const ScopedProgramName&) = delete;
    ScopedProgramName& operator=(const ScopedProgramName&) = delete;

private:
    std::vector<wxString> m_saved;
};
