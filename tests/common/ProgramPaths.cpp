#include "common/ProgramPaths.h"

ProgramPaths& ProgramPaths::Get()
{
    static ProgramPaths paths;
    return paths;
}

wxString ProgramPaths::GetExecutablePath() const
{
    return m_executable.empty() ? wxStandardPaths::GetExecutablePath() : m_executable;
}
