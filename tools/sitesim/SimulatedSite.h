#pragma once

#include "sitesim/Fault.h"
#include "sitesim/Performer.h"
#include "sitesim/Request.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace sitesim
{

// The simulated site: a real HTTP server on 127.0.0.1 that answers every request the plug-in
// makes (performer list, sign-in, thumbnails, preview page, update script), with a churning
// performer model and faults that tests switch on per path. Its text answers come gzip-compressed
// to a client that asks for it; connections are kept between requests; https as well with a
// certificate. Plain C++17: no toolkit needed.
class SimulatedSite
{
public:
    struct Options
    {
        int performers = 200;
        double churn = 0.05;
        unsigned seed = 1;
        std::string user, password;
        std::vector<std::string> favorites;
        std::string updateFile, updateSkinFile, updateMoFile, updateManifestFile;
        std::string currentVersion; // no update is offered to this version (empty: offered to all)
        // The update comes with a statement that vouches for its files as they are when the site
        // starts ("&type=statement"), naming this version and signed with the key grown from this
        // seed (64 hexadecimal digits; empty: the test key).
        bool updateStatement = true;
        std::string updateVersion = "1.4.0";
        std::string updateSigningSeed;
        bool logRequests = false;   // one line per request on stdout
        // With both (PEM files), a client that opens with a TLS handshake gets https, on the same
        // port as plain http.
        std::string tlsCertificate, tlsKey;
    };

    // Two constructors rather than a default argument: the compiler cannot use Options'
    // member initialisers inside the class that encloses it.
    SimulatedSite();
    explicit SimulatedSite(const Options& options);
    ~SimulatedSite();

    SimulatedSite(const SimulatedSite&) = delete;
    SimulatedSite& operator=(const SimulatedSite&) = delete;

    bool Start(int port = 0);
    void Stop();
    int GetPort() const;
    std::string GetHostPort() const;
    static int UnusedPort();

    // The performer list. GetPerformers returns what the last list answer was made from, or,
    // right after SetPerformers, what the next one will be made from.
    void SetPerformers(const std::vector<Performer>& performers);
    void SetChurn(double churn);
    void SetScript(const std::string& body);
    std::vector<Performer> GetPerformers() const;

    // The account and the update script, changeable while running.
    void SetAccount(const std::string& user, const std::string& password);
    void SetFavorites(const std::vector<std::string>& favorites);
    void SetCurrentVersion(const std::string& version);

    void SetFault(const std::string& path, const Fault& fault, int times = -1);
    void ClearFault(const std::string& path);
    void ClearFaults();
    // Spoils about share of all requests (0: none) with faults drawn from seed, the same
    // sequence for the same seed. A path's own fault comes first; the preview page is spared.
    void SetRandomFaults(double share, unsigned seed);

    std::vector<Request> GetRequests() const;
    size_t CountRequests(const std::string& path) const;
    void ClearRequests();
    // Connections being served right now (a client that went away is counted until the
    // server notices, which takes well under a second).
    size_t CountOpenConnections() const;
    // Blocks until at least count requests for path have arrived, or timeoutMs has passed.
    bool WaitForRequests(const std::string& path, size_t count, int timeoutMs) const;

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

}
