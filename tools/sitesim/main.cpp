// sitesim: the simulated site as a program, for the demo and for trying the plug-in by hand.

#include "sitesim/SimulatedSite.h"
#include "sitesim/UrlText.h"

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace
{
const char USAGE[] =
    "usage: sitesim [options]\n"
    "Serves the simulated Lumora site on 127.0.0.1 until interrupted.\n"
    "\n"
    "  --port P               port to listen on (default 8080; 0 picks a free one)\n"
    "  --performers N         performers online at the start (default 200)\n"
    "  --churn R              share of performers that change at every list request, 0..1\n"
    "                         (default 0.05)\n"
    "  --seed S               seed of the performer model (default 1)\n"
    "  --account USER:PASS    the account that may sign in\n"
    "  --favorites A,B,...    the account's favourites\n"
    "  --update FILE          offer FILE as the new plug-in\n"
    "  --update-skin FILE     ... and its skin archive\n"
    "  --update-mo FILE       ... and its message catalogue\n"
    "  --update-manifest FILE ... and its manifest\n"
    "  --current-version V    offer no update to version V\n"
    "  --faults SHARE         share of requests answered badly, 0..1 (default 0): errors,\n"
    "                         dropped or cut connections, garbage, wrong lengths, late,\n"
    "                         oversized or one-line answers; never the preview page\n"
    "  --fault-seed S         seed of the faults' choice (default: the --seed value)\n"
    "  --help                 show this text\n";

int Fail(const std::string& message)
{
    std::fprintf(stderr, "sitesim: %s\nTry 'sitesim --help'.\n", message.c_str());
    return 2;
}

bool ParseLong(const std::string& text, long low, long high, long& value)
{
    if ( text.empty() )
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && value >= low && value <= high;
}

bool ParseDouble(const std::string& text, double low, double high, double& value)
{
    if ( text.empty() )
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0' && value >= low && value <= high;
}

std::vector<std::string> SplitList(const std::string& text)
{
    std::vector<std::string> items;
    size_t start = 0;
    while ( start <= text.size() )
    {
        size_t comma = text.find(',', start);
        if ( comma == std::string::npos )
            comma = text.size();
        if ( comma > start )
            items.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return items;
}

bool Readable(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return static_cast<bool>(file);
}
}

int main(int argc, char** argv)
{
    sitesim::SimulatedSite::Options options;
    options.logRequests = true;
    long port = 8080;
    double faults = 0;
    long faultSeed = -1;

    for ( int i = 1; i < argc; ++i )
    {
        std::string option = argv[i];
        std::string value;
        bool hasValue = false;
        const size_t equals = option.find('=');
        if ( option.compare(0, 2, "--") == 0 && equals != std::string::npos )
        {
            value = option.substr(equals + 1);
            option = option.substr(0, equals);
            hasValue = true;
        }
        if ( option == "--help" || option == "-h" )
        {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if ( option.compare(0, 2, "--") != 0 )
            return Fail("unexpected argument '" + option + "'");
        if ( !hasValue )
        {
            if ( i + 1 >= argc )
                return Fail("option " + option + " needs a value");
            value = argv[++i];
        }

        long number = 0;
        if ( option == "--port" )
        {
            if ( !ParseLong(value, 0, 65535, port) )
                return Fail("--port takes a number from 0 to 65535, not '" + value + "'");
        }
        else if ( option == "--performers" )
        {
            if ( !ParseLong(value, 0, 1000000, number) )
                return Fail("--performers takes a number from 0 to 1000000, not '" + value + "'");
            options.performers = static_cast<int>(number);
        }
        else if ( option == "--churn" )
        {
            if ( !ParseDouble(value, 0.0, 1.0, options.churn) )
                return Fail("--churn takes a number from 0 to 1, not '" + value + "'");
        }
        else if ( option == "--seed" )
        {
            if ( !ParseLong(value, 0, 4294967295L, number) )
                return Fail("--seed takes a number from 0 to 4294967295, not '" + value + "'");
            options.seed = static_cast<unsigned>(number);
        }
        else if ( option == "--account" )
        {
            const size_t colon = value.find(':');
            if ( colon == std::string::npos || colon == 0 )
                return Fail("--account takes USER:PASSWORD with a non-empty user");
            options.user = value.substr(0, colon);
            options.password = value.substr(colon + 1);
        }
        else if ( option == "--favorites" )
        {
            options.favorites = SplitList(value);
            for ( const std::string& name : options.favorites )
            {
                if ( !sitesim::UrlText::IsPerformerName(name) )
                    return Fail("favourite '" + name + "' is not a name of letters, digits and underscores");
            }
        }
        else if ( option == "--update" || option == "--update-skin" || option == "--update-mo" ||
                  option == "--update-manifest" )
        {
            if ( !Readable(value) )
                return Fail("cannot read " + option + " file '" + value + "'");
            if ( option == "--update" )
                options.updateFile = value;
            else if ( option == "--update-skin" )
                options.updateSkinFile = value;
            else if ( option == "--update-mo" )
                options.updateMoFile = value;
            else
                options.updateManifestFile = value;
        }
        else if ( option == "--current-version" )
        {
            options.currentVersion = value;
        }
        else if ( option == "--faults" )
        {
            if ( !ParseDouble(value, 0.0, 1.0, faults) )
                return Fail("--faults takes a number from 0 to 1, not '" + value + "'");
        }
        else if ( option == "--fault-seed" )
        {
            if ( !ParseLong(value, 0, 4294967295L, faultSeed) )
                return Fail("--fault-seed takes a number from 0 to 4294967295, not '" + value + "'");
        }
        else
        {
            return Fail("unknown option " + option);
        }
    }

    // Every thread the site starts inherits this mask, so the signals reach sigwait below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    sitesim::SimulatedSite site(options);
    const unsigned faultsFrom = faultSeed < 0 ? options.seed : static_cast<unsigned>(faultSeed);
    site.SetRandomFaults(faults, faultsFrom);
    if ( !site.Start(static_cast<int>(port)) )
    {
        std::fprintf(stderr, "sitesim: cannot listen on 127.0.0.1:%ld (in use?)\n", port);
        return 1;
    }
    std::printf("sitesim: serving http://%s/ (%d performers, churn %g, seed %u)\n",
                site.GetHostPort().c_str(), options.performers, options.churn, options.seed);
    if ( faults > 0 )
        std::printf("sitesim: answering a share of %g of the requests badly (fault seed %u)\n", faults,
                    faultsFrom);
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    site.Stop();
    std::printf("sitesim: stopped (%s)\n", received == SIGINT ? "SIGINT" : "SIGTERM");
    std::fflush(stdout);
    return 0;
}
