#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The simulated site: a real HTTP server on 127.0.0.1 that answers every request the plug-in
// makes (performer list, sign-in, thumbnails, preview page, update script), with a churning
// performer model and faults that tests switch on per path. Plain C++17: no toolkit needed.
namespace sitesim
{

struct Performer
{
    // The status words the list script can express.
    static constexpr int OFFLINE = 0x00;
    static constexpr int ONLINE = 0x01;
    static constexpr int FREE = 0x03;
    static constexpr int BUSY_PUBLIC = 0x0D;
    static constexpr int BUSY_PRIVATE = 0x15;

    std::string name;
    int status = ONLINE;

    bool operator==(const Performer& other) const
    {
        return name == other.name && status == other.status;
    }
    bool operator!=(const Performer& other) const { return !(*this == other); }
};

struct Fault
{
    enum Kind
    {
        NONE,
        DELAY,        // pause delayMs, then the normal answer; Stop ends the pause (no answer then)
        HTTP_ERROR,   // status with a short html body
        TRUNCATE,     // Content-Length of the whole body, only size bytes sent (0: half), then close
        OVERSIZE,     // 200 with size bytes (0: 4 MiB) of filler that looks like the path's content
        WRONG_TYPE,   // the normal answer with contentType as its Content-Type
        WRONG_LENGTH, // the whole body with Content-Length size (0: body + 100), then close
        GARBAGE,      // 200, the normal Content-Type, size random bytes (0: 4096) with NUL and bad UTF-8
        ENDLESS_BODY, // 200 without length, list lines forever until the client leaves or Stop
        ENDLESS_LINE, // the same, as one line that never ends
        CLOSE,        // the connection is closed without any answer
        LONG_LINE     // one line of size bytes (0: 300 KiB) without a line break, then the normal body
    };

    Kind kind = NONE;
    int status = 500;
    int delayMs = 4000;
    size_t size = 0;
    std::string contentType;

    static Fault Delay(int ms);
    static Fault HttpError(int status);
    static Fault Truncate(size_t sentBytes);
    static Fault Oversize(size_t bytes);
    static Fault WrongType(const std::string& contentType);
    static Fault WrongLength(size_t declaredLength = 0);
    static Fault Of(Kind kind);

    static const char* KindName(Kind kind);
};

struct Request
{
    std::string method;
    std::string path;   // as received, without the query (an absolute-form target is reduced to its path)
    std::string query;  // raw, still percent-encoded
    std::string target; // the request line's target exactly as received
    std::map<std::string, std::string> headers;
    std::map<std::string, std::string> params; // query keys and values, percent-decoded ('+' kept)
    Fault::Kind fault = Fault::NONE;           // how the answer was spoiled, if it was

    // A header by name, ignoring case; empty when absent.
    std::string Header(const std::string& name) const;
};

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
        bool logRequests = false;   // one line per request on stdout
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
