#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/dir.h>
#include <wx/ffile.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/stopwatch.h>
#include <wx/thread.h>
#include <wx/utils.h>

#include <cstdlib>

namespace
{
void AssertToFailure(const wxString& file, int line, const wxString& func, const wxString& cond,
                     const wxString& msg)
{
    ADD_FAILURE_AT(file.utf8_str().data(), line)
        << "toolkit assert in " << func.utf8_str().data() << ": " << cond.utf8_str().data()
        << " " << msg.utf8_str().data();
}
}

void TestSupport::InstallAssertHandler()
{
    wxSetAssertHandler(AssertToFailure);
}

bool TestSupport::WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    wxStopWatch watch;
    while ( !done() )
    {
        if ( watch.Time() > timeoutMs )
            return done();
        if ( wxTheApp )
        {
            wxTheApp->ProcessPendingEvents();
            if ( wxTheApp->IsGUI() )
                wxTheApp->Yield(true);
        }
        wxMilliSleep(2);
    }
    return true;
}

bool TestSupport::WaitIdle(const std::function<bool()>& done, int timeoutMs)
{
    return WaitFor(
        [&] {
            if ( wxTheApp )
                wxTheApp->ProcessIdle();
            return done();
        },
        timeoutMs);
}

wxString TestSupport::BuildDir()
{
    return PARLO_BUILD_DIR;
}

std::string TestSupport::FileContents(const wxString& path)
{
    wxFFile file(path, "rb");
    if ( !file.IsOpened() )
        return "(missing)";
    std::string text(static_cast<size_t>(file.Length()), '\0');
    file.Read(&text[0], text.size());
    return text;
}

wxString TestSupport::MakeTempDir()
{
    wxString base = wxFileName::GetTempDir() + "/parlo-test-XXXXXX";
    wxCharBuffer buffer = base.fn_str();
    if ( !mkdtemp(buffer.data()) )
        return wxString();
    return wxString(buffer);
}

void TestSupport::RemoveDir(const wxString& dir)
{
    if ( !dir.empty() && wxDirExists(dir) )
        wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE);
}
