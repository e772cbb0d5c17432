// Parsing and differencing the performer list, without the designed pause per performer.
#include "BenchSupport.h"
#include "PlainParse.h"
#include "model/UserList.h"
#include "sync/PerformerListParser.h"

#include <wx/init.h>

#include <random>
#include <string>

namespace
{
// A list script shaped like the site's: header lines, then one block per performer.
std::string MakeScript(int performers, unsigned seed)
{
    std::mt19937 random(seed);
    std::string script = "// online performers\nvar online_performers = new PerformerList();\n"
                         "var free_performers = new PerformerList();\n";
    for ( int i = 0; i < performers; ++i )
    {
        const std::string name = "Performer_" + std::to_string(i);
        script += name + ".viewers = " + std::to_string(random() % 500) + ";\n";
        script += name + ".thumb = \"/WebArchive/" + name + "/thumbs/LinkedImage.jpg\";\n";
        script += "online_performers.add(" + name + ");\n";
        switch ( random() % 3 )
        {
            case 0: script += "free_performers.add(" + name + ");\n"; break;
            case 1: script += "busy_performers.add(" + name + ");\n"; break;
            default:
                script += "busy_performers.add(" + name + ");\nprivate_performers.add(" + name + ");\n";
                break;
        }
    }
    script += "if (window.onPerformersLoaded) window.onPerformersLoaded();\n";
    return script;
}

// CPU microseconds per performer for parsing the second script and differencing it with the
// first, over rounds.
template <class Parse>
double PerPerformer(const std::string& first, const std::string& second, int performers, int rounds, Parse parse,
                    size_t& changes)
{
    UserList previous;
    parse(first, previous);
    const double start = CpuMicroseconds();
    changes = 0;
    for ( int round = 0; round < rounds; ++round )
    {
        UserList current;
        parse(second, current);
        UserList added, deleted, changed;
        previous.GetDifference(current, added, deleted, changed);
        changes += changed.GetCount();
    }
    changes /= rounds;
    return (CpuMicroseconds() - start) / rounds / performers;
}

void Measure(int performers)
{
    // Two consecutive polls that differ a little, as the site's do.
    const std::string first = MakeScript(performers, 1);
    const std::string second = MakeScript(performers, 2);
    PerformerListParser parser;
    const int rounds = performers >= 10000 ? 5 : 50;
    size_t changes = 0;
    const double perPerformer = PerPerformer(first, second, performers, rounds, [&](const std::string& script,
                                                                                     UserList& list) {
        parser.Parse(script.data(), script.size(), list);
    }, changes);
    char what[128];
    std::snprintf(what, sizeof(what), "parse and difference, %d performers (%zu changed)", performers, changes);
    Report(what, perPerformer, "us", 4.0);
    size_t plainChanges = 0;
    const double plain = PerPerformer(first, second, performers, rounds, PlainParse, plainChanges);
    std::printf("  %-56s %10.2f us     %.1f times as long%s\n", "the plain way: two regular expressions per line",
                plain, plain / perPerformer, plainChanges == changes ? "" : " (BUT IT READS ANOTHER LIST)");
}
}

int main(int argc, char** argv)
{
    wxInitializer initializer(argc, argv);
    Measure(1000);
    Measure(10000);
    return 0;
}
