#include "RecordingBrowser.h"

#include "common/TestSupport.h"

#include <wx/arrstr.h>
#include <wx/ffile.h>
#include <wx/filefn.h>
#include <wx/mimetype.h>

#include <sys/stat.h>

RecordingBrowser::RecordingBrowser()
    : m_dir(TestSupport::MakeTempDir())
    , m_record(m_dir + "/opened.txt")
{
    // Start from a manager that knows nothing, whatever this machine has registered.
    delete wxTheMimeTypesManager->GetFileTypeFromExtension("txt");
    wxTheMimeTypesManager->ClearData();
    const wxString script = m_dir + "/browser.sh";
    wxFFile(script, "w").Write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" + m_record + "\"\n");
    // Started as the browser, which the toolkit runs as a program of its own.
    chmod(script.fn_str(), 0700);
    delete wxTheMimeTypesManager->Associate(
        wxFileTypeInfo("text/html", script + " %s", "", "HTML", "html", nullptr));
}

RecordingBrowser::~RecordingBrowser()
{
    wxTheMimeTypesManager->ClearData();
    TestSupport::RemoveDir(m_dir);
}

std::vector<std::string> RecordingBrowser::Opened() const
{
    std::vector<std::string> lines;
    wxString text;
    if ( wxFileExists(m_record) )
        wxFFile(m_record).ReadAll(&text);
    for ( const wxString& line : wxSplit(text, '\n', '\0') )
    {
        if ( !line.empty() )
            lines.push_back(line.utf8_string());
    }
    return lines;
}

bool RecordingBrowser::WaitForOpened(size_t count, int timeoutMs) const
{
    return TestSupport::WaitFor([&] { return Opened().size() >= count; }, timeoutMs);
}
