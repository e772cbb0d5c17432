#pragma once

#include <wx/process.h>

#include <map>
#include <memory>
#include <vector>

// A program started in the background whose stderr (and stdout) is collected as it comes.
class ChildProgram : public wxProcess
{
public:
    ChildProgram();

    // In folder when one is given, else in the test's own.
    bool Start(const std::vector<wxString>& arguments, const std::map<wxString, wxString>& extraEnv = {},
               const wxString& folder = wxString());
    long GetPid() const { return m_pid; }

    // Reads what has arrived so far; never blocks.
    void Pump();

    bool WaitForError(const wxString& text, int timeoutMs);
    bool WaitForOutput(const wxString& text, int timeoutMs);
    bool WaitForEnd(int timeoutMs);
    void Signal(int signal);

    const wxString& Errors() const { return m_errors; }
    const wxString& Output() const { return m_output; }
    bool Ended() const { return m_ended; }
    int Status() const { return m_status; }

    // Stops the program for good if it is still there; the object then goes with it.
    static void Dispose(ChildProgram* program);

protected:
    void OnTerminate(int pid, int status) override;

private:
    static void Drain(wxInputStream* stream, wxString& text);

    long m_pid = 0;
    bool m_ended = false;
    int m_status = -1;
    wxString m_errors;
    wxString m_output;
};

typedef std::unique_ptr<ChildProgram, void (*)(ChildProgram*)> ChildProgramPtr;

ChildProgramPtr MakeChildProgram();
