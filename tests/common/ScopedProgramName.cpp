#include "common/ScopedProgramName.h"

#include <wx/app.h>

namespace
{
void SetArguments(std::vector<wxString>& arguments)
{
    std::vector<wchar_t*> pointers;
    for ( wxString& argument : arguments )
        pointers.push_back(const_cast<wchar_t*>(argument.wc_str()));
    wxAppConsole* app = wxAppConsole::GetInstance();
    app->argv.Init(static_cast<int>(pointers.size()), pointers.data());
    app->argc = static_cast<int>(pointers.size());
}
}

ScopedProgramName::ScopedProgramName(const wxString& program)
{
    wxAppConsole* app = wxAppConsole::GetInstance();
    for ( int i = 0; i < app->argc; ++i )
        m_saved.push_back(app->argv[i]);
    std::vector<wxString> replaced{ program };
    SetArguments(replaced);
}

ScopedProgramName::~ScopedProgramName()
{
    SetArguments(m_saved);
}
