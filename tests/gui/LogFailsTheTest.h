#pragma once

#include <wx/log.h>

// The window tests' log: an error, warning or message that reaches it fails the test that is
// running, with its text. The program tells the user only through boxes of its own; and the
// toolkit shows what reaches its own log only at the next modal loop, which may be many tests
// after the one that caused it. Traces and debug output go on to the previous log.
class LogFailsTheTest : public wxLogInterposer
{
protected:
    void DoLogRecord(wxLogLevel level, const wxString& message, const wxLogRecordInfo& info) override;
    void DoLogText(const wxString& message) override;
};
