#include "HostOptions.h"

#include <wx/cmdline.h>
#include <wx/filename.h>
#include <wx/msgout.h>

#include <cstdio>

namespace
{
// The early parser keeps quiet about mistakes: the application's own parser reports them.
class Quiet : public wxMessageOutput
{
protected:
    void Output(const wxString&) override {}
};
}

void HostOptions::Describe(wxCmdLineParser& parser)
{
    parser.AddOption("", "config", "the configuration file to use (created readable by its owner only)",
                     wxCMD_LINE_VAL_STRING);
    parser.AddOption("", "lang", "the language to use instead of the system's, for example ja",
                     wxCMD_LINE_VAL_STRING);
    parser.AddSwitch("", "no-update", "do not look for a newer plug-in");
    parser.AddSwitch("", "version", "show the version and exit");
}

bool HostOptions::AnswerAlone(int argc, char** argv, int& status)
{
    wxCmdLineParser parser(argc, argv);
    parser.SetLogo("Parlo Tovrik: watches the live-chat site Lumora for performers who come online.");
    parser.AddSwitch("h", "help", "show this help message and exit", wxCMD_LINE_OPTION_HELP);
    Describe(parser);
    // Anything else (a mistake, or an option for the window toolkit) is the application's to judge.
    Quiet quiet;
    wxMessageOutput* const previous = wxMessageOutput::Set(&quiet);
    const int parsed = parser.Parse(false);
    wxMessageOutput::Set(previous);
    if ( parsed == -1 )
    {
        std::fputs(parser.GetUsageString().utf8_str(), stdout);
        status = 0;
        return true;
    }
    if ( parsed == 0 && parser.Found("version") )
    {
        // By the name it was called by, as the manual page made from this text expects.
        const wxString name = wxFileName(wxString(argv[0])).GetFullName();
        std::printf("%s %s\n", static_cast<const char*>(name.utf8_str()), PARLO_VERSION);
        status = 0;
        return true;
    }
    return false;
}
