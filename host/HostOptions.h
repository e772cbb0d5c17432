#pragma once

class wxCmdLineParser;

// The host's command line, described once for the two parsers that read it: the one that answers
// --help and --version before the window toolkit starts (it needs a display, they must not), and
// the application's own.
class HostOptions
{
public:
    HostOptions() = delete;

    // Adds the host's own options: --config, --lang, --no-update, --version.
    static void Describe(wxCmdLineParser& parser);

    // Answers --help or --version on stdout; true (with the exit status) when one was asked for
    // and nothing else is to be done.
    static bool AnswerAlone(int argc, char** argv, int& status);
};
