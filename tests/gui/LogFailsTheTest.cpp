#include "LogFailsTheTest.h"

#include <gtest/gtest.h>

void LogFailsTheTest::DoLogRecord(wxLogLevel level, const wxString& message, const wxLogRecordInfo& info)
{
    if ( level <= wxLOG_Message )
    {
        ADD_FAILURE() << "logged: " << message.utf8_str().data();
        return;
    }
    wxLogInterposer::DoLogRecord(level, message, info);
}

void LogFailsTheTest::DoLogText(const wxString&)
{
    // Verbose and status text, when there is any, is of no concern to a test.
}
