#include "common/ScopedProgramName.h"

#include "common/ProgramPaths.h"

ScopedProgramName::ScopedProgramName(const wxString& program)
    : m_saved(ProgramPaths::Get().GetOverride())
{
    ProgramPaths::Get().SetExecutablePath(program);
}

ScopedProgramName::~ScopedProgramName()
{
    ProgramPaths::Get().SetExecutablePath(m_saved);
}
