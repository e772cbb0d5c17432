#include "ChildProgram.h"

#include "common/TestSupport.h"

#include <wx/log.h>
#include <wx/utils.h>

#include <csignal>

ChildProgram::ChildProgram()
    : wxProcess(wxPROCESS_REDIRECT)
{
}

bool ChildProgram::Start(const std::vector<wxString>& arguments, const std::map<wxString, wxString>& extraEnv,
                         const wxString& folder)
{
    wxExecuteEnv env;
    env.cwd = folder;
    wxGetEnvMap(&env.env);
    for ( const auto& entry : extraEnv )
        env.env[entry.first] = entry.second;
    std::vector<const wxChar*> argv;
    for ( const wxString& argument : arguments )
        argv.push_back(argument.wc_str());
    argv.push_back(nullptr);
    m_pid = wxExecute(argv.data(), wxEXEC_ASYNC, this, &env);
    return m_pid > 0;
}

void ChildProgram::Pump()
{
    Drain(GetErrorStream(), m_errors);
    Drain(GetInputStream(), m_output);
}

bool ChildProgram::WaitForError(const wxString& text, int timeoutMs)
{
    return TestSupport::WaitFor([&] {
        Pump();
        return m_errors.find(text) != wxString::npos || m_ended;
    }, timeoutMs) && m_errors.find(text) != wxString::npos;
}

bool ChildProgram::WaitForOutput(const wxString& text, int timeoutMs)
{
    TestSupport::WaitFor([&] {
        Pump();
        return m_output.find(text) != wxString::npos || m_ended;
    }, timeoutMs);
    return m_output.find(text) != wxString::npos;
}

bool ChildProgram::WaitForEnd(int timeoutMs)
{
    const bool ended = TestSupport::WaitFor([&] {
        Pump();
        return m_ended;
    }, timeoutMs);
    Pump();
    return ended;
}

void ChildProgram::Signal(int signal)
{
    if ( !m_ended )
        wxKill(m_pid, static_cast<wxSignal>(signal));
}

void ChildProgram::Dispose(ChildProgram* program)
{
    if ( !program )
        return;
    if ( !program->m_ended )
    {
        program->Signal(SIGKILL);
        program->WaitForEnd(5000);
    }
    if ( program->m_ended )
        delete program;
    else
        program->Detach();
}

void ChildProgram::OnTerminate(int, int status)
{
    m_status = status;
    m_ended = true;
}

void ChildProgram::Drain(wxInputStream* stream, wxString& text)
{
    // The toolkit's look for output logs an error when the end of a child process (this one
    // or any other) interrupts it; for us that only means reading on at the next pump.
    wxLogNull interrupted;
    char buffer[4096];
    while ( stream && stream->CanRead() )
    {
        stream->Read(buffer, sizeof buffer);
        const size_t got = stream->LastRead();
        if ( got == 0 )
            break;
        text += wxString::FromUTF8(buffer, got);
    }
}

ChildProgramPtr MakeChildProgram()
{
    return ChildProgramPtr(new ChildProgram, &ChildProgram::Dispose);
}
