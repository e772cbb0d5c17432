#pragma once

#include <wx/stdpaths.h>

// The standard paths the test programs' applications hand out: the executable is the real one
// unless a ScopedProgramName names another.
class ProgramPaths : public wxStandardPaths
{
public:
    static ProgramPaths& Get();

    wxString GetExecutablePath() const override;
    // Empty for the real file.
    void SetExecutablePath(const wxString& path) { m_executable = path; }
    const wxString& GetOverride() const { return m_executable; }

private:
    ProgramPaths() = default;

    wxString m_executable;
};
