// sitesim: the simulated site as a program, for the demo and for trying the plug-in by hand.

#include "sitesim/SimulatedSite.h"
#include "sitesim/UrlText.h"

#include <getopt.h>
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
    "  --update-version V     the version the update's signed statement names (default 1.4.0)\n"
    "  --update-signing-key S sign the statement with the key grown from the seed S (64\n"
    "                         hexadecimal digits; default: the test key, which development\n"
    "                         builds of the program trust)\n"
    "  --no-update-statement  offer the update without its signed statement\n"
    "  --faults SHARE         share of requests answered badly, 0..1 (default 0): errors,\n"
    "                         dropped or cut connections, garbage, wrong lengths, late,\n"
    "                         oversized or one-line answers; never the preview page\n"
    "  --fault-seed S         seed of the faults' choice (default: the --seed value)\n"
    "  --tls CERT KEY         serve https as well, on the same port, with the certificate\n"
    "                         chain CERT and its private key KEY (PEM files)\n"
    "  --help                 show this text\n";

// What getopt_long answers for each option; those without a letter come after all letters.
enum OptionId
{
    HELP = 'h',
    PORT = 256,
    PERFORMERS,
    CHURN,
    SEED,
    ACCOUNT,
    FAVORITES,
    UPDATE,
    UPDATE_SKIN,
    UPDATE_MO,
    UPDATE_MANIFEST,
    CURRENT_VERSION,
    UPDATE_VERSION,
    UPDATE_SIGNING_KEY,
    NO_UPDATE_STATEMENT,
    FAULTS,
    FAULT_SEED,
    TLS
};

const option LONG_OPTIONS[] = {
    {"port", required_argument, nullptr, PORT},
    {"performers", required_argument, nullptr, PERFORMERS},
    {"churn", required_argument, nullptr, CHURN},
    {"seed", required_argument, nullptr, SEED},
    {"account", required_argument, nullptr, ACCOUNT},
    {"favorites", required_argument, nullptr, FAVORITES},
    {"update", required_argument, nullptr, UPDATE},
    {"update-skin", required_argument, nullptr, UPDATE_SKIN},
    {"update-mo", required_argument, nullptr, UPDATE_MO},
    {"update-manifest", required_argument, nullptr, UPDATE_MANIFEST},
    {"current-version", required_argument, nullptr, CURRENT_VERSION},
    {"update-version", required_argument, nullptr, UPDATE_VERSION},
    {"update-signing-key", required_argument, nullptr, UPDATE_SIGNING_KEY},
    {"no-update-statement", no_argument, nullptr, NO_UPDATE_STATEMENT},
    {"faults", required_argument, nullptr, FAULTS},
    {"fault-seed", required_argument, nullptr, FAULT_SEED},
    {"tls", required_argument, nullptr, TLS},
    // Whatever follows "--help=" is ignored: help is help.
    {"help", optional_argument, nullptr, HELP},
    {nullptr, 0, nullptr, 0},
};

// What the command line sets.
struct Settings
{
    sitesim::SimulatedSite::Options site;
    long port = 8080;
    double faults = 0;
    long faultSeed = -1; // -1: the performer model's seed
    bool help = false;
};

int Fail(const std::string& message)
{
    std::fprintf(stderr, "sitesim: %s\nTry 'sitesim --help'.\n", message.c_str());
    return 2;
}

// The option an argument names: "--port" of "--port=80".
std::string OptionName(const std::string& argument)
{
    return argument.substr(0, argument.find('='));
}

// Each of these takes one option's value into its setting, or says why the value will not do.

template <typename Whole>
std::string ReadWhole(const std::string& option, const std::string& text, long low, long high, Whole& value)
{
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(text.c_str(), &end, 10);
    if ( text.empty() || errno != 0 || *end != '\0' || number < low || number > high )
        return option + " takes a number from " + std::to_string(low) + " to " + std::to_string(high) +
               ", not '" + text + "'";
    value = static_cast<Whole>(number);
    return std::string();
}

std::string ReadShare(const std::string& option, const std::string& text, double& value)
{
    char* end = nullptr;
    errno = 0;
    const double number = std::strtod(text.c_str(), &end);
    if ( text.empty() || errno != 0 || *end != '\0' || !(number >= 0.0 && number <= 1.0) )
        return option + " takes a number from 0 to 1, not '" + text + "'";
    value = number;
    return std::string();
}

std::string ReadAccount(const std::string& text, sitesim::SimulatedSite::Options& site)
{
    const size_t colon = text.find(':');
    if ( colon == std::string::npos || colon == 0 )
        return "--account takes USER:PASSWORD with a non-empty user";
    site.user = text.substr(0, colon);
    site.password = text.substr(colon + 1);
    return std::string();
}

std::string ReadFavorites(const std::string& text, std::vector<std::string>& favorites)
{
    favorites.clear();
    size_t start = 0;
    while ( start <= text.size() )
    {
        size_t comma = text.find(',', start);
        if ( comma == std::string::npos )
            comma = text.size();
        if ( comma > start )
            favorites.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    for ( const std::string& name : favorites )
    {
        if ( !sitesim::UrlText::IsPerformerName(name) )
            return "favourite '" + name + "' is not a name of letters, digits and underscores";
    }
    return std::string();
}

std::string ReadFileName(const std::string& option, const std::string& text, std::string& fileName)
{
    if ( !std::ifstream(text, std::ios::binary) )
        return "cannot read " + option + " file '" + text + "'";
    fileName = text;
    return std::string();
}

std::string TakeOption(int id, const std::string& option, const std::string& value, Settings& settings)
{
    sitesim::SimulatedSite::Options& site = settings.site;
    switch ( id )
    {
        case PORT: return ReadWhole(option, value, 0, 65535, settings.port);
        case PERFORMERS: return ReadWhole(option, value, 0, 1000000, site.performers);
        case CHURN: return ReadShare(option, value, site.churn);
        case SEED: return ReadWhole(option, value, 0, 4294967295L, site.seed);
        case ACCOUNT: return ReadAccount(value, site);
        case FAVORITES: return ReadFavorites(value, site.favorites);
        case UPDATE: return ReadFileName(option, value, site.updateFile);
        case UPDATE_SKIN: return ReadFileName(option, value, site.updateSkinFile);
        case UPDATE_MO: return ReadFileName(option, value, site.updateMoFile);
        case UPDATE_MANIFEST: return ReadFileName(option, value, site.updateManifestFile);
        case CURRENT_VERSION:
            site.currentVersion = value;
            return std::string();
        case UPDATE_VERSION:
            site.updateVersion = value;
            return std::string();
        case UPDATE_SIGNING_KEY:
            if ( value.size() != 64 || value.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos )
                return "option " + option + " needs 64 hexadecimal digits";
            site.updateSigningSeed = value;
            return std::string();
        case NO_UPDATE_STATEMENT:
            site.updateStatement = false;
            return std::string();
        case FAULTS: return ReadShare(option, value, settings.faults);
        case FAULT_SEED: return ReadWhole(option, value, 0, 4294967295L, settings.faultSeed);
        case TLS: return ReadFileName(option, value, site.tlsCertificate);
    }
    return "unknown option " + option;
}

// Why getopt_long's answer id for argument is not an option we take; empty when it is one.
std::string Unexpected(int id, int index, const std::string& argument)
{
    const std::string option = OptionName(argument);
    const bool isLong = argument.compare(0, 2, "--") == 0;
    if ( id == ':' )
        return "option " + option + " needs a value";
    if ( !isLong && argument != "-h" )
        return "unexpected argument '" + argument + "'";
    // getopt_long also takes an abbreviation; we take the full name only.
    if ( id == '?' || (isLong && option != std::string("--") + LONG_OPTIONS[index].name) )
        return "unknown option " + option;
    return std::string();
}

// Reads the command line into settings; the reason when an argument will not do.
std::string ParseArguments(int argc, char** argv, Settings& settings)
{
    // Our own messages; and "+": options come first, anything after them is an error.
    opterr = 0;
    for ( ;; )
    {
        const int at = optind;
        int index = -1;
        const int id = getopt_long(argc, argv, "+:h", LONG_OPTIONS, &index);
        if ( id == -1 )
            return at < argc ? "unexpected argument '" + std::string(argv[at]) + "'" : std::string();
        const std::string argument = argv[at];
        std::string error = Unexpected(id, index, argument);
        if ( !error.empty() )
            return error;
        if ( id == HELP )
        {
            settings.help = true;
            return std::string();
        }
        error = TakeOption(id, OptionName(argument), optarg ? optarg : "", settings);
        if ( !error.empty() )
            return error;
        // The key comes as a second value of its own.
        if ( id == TLS )
        {
            if ( optind >= argc )
                return "option --tls needs a certificate and a key";
            error = ReadFileName("--tls", argv[optind++], settings.site.tlsKey);
            if ( !error.empty() )
                return error;
        }
    }
}
}

int main(int argc, char** argv)
{
    Settings settings;
    settings.site.logRequests = true;
    const std::string error = ParseArguments(argc, argv, settings);
    if ( !error.empty() )
        return Fail(error);
    if ( settings.help )
    {
        std::fputs(USAGE, stdout);
        return 0;
    }
    const sitesim::SimulatedSite::Options& options = settings.site;

    // Every thread the site starts inherits this mask, so the signals reach sigwait below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    sitesim::SimulatedSite site(options);
    const unsigned faultsFrom =
        settings.faultSeed < 0 ? options.seed : static_cast<unsigned>(settings.faultSeed);
    site.SetRandomFaults(settings.faults, faultsFrom);
    if ( !site.Start(static_cast<int>(settings.port)) )
    {
        std::fprintf(stderr, "sitesim: cannot listen on 127.0.0.1:%ld (in use?)\n", settings.port);
        return 1;
    }
    std::printf("sitesim: serving http://%s/ (%d performers, churn %g, seed %u)\n",
                site.GetHostPort().c_str(), options.performers, options.churn, options.seed);
    if ( !options.tlsCertificate.empty() )
        std::printf("sitesim: serving https://%s/ as well\n", site.GetHostPort().c_str());
    if ( settings.faults > 0 )
        std::printf("sitesim: answering a share of %g of the requests badly (fault seed %u)\n",
                    settings.faults, faultsFrom);
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    site.Stop();
    std::printf("sitesim: stopped (%s)\n", received == SIGINT ? "SIGINT" : "SIGTERM");
    std::fflush(stdout);
    return 0;
}
