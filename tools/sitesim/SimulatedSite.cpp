#include "sitesim/SimulatedSite.h"

#include "sitesim/ConnectionStream.h"
#include "sitesim/FaultApplier.h"
#include "sitesim/FaultTable.h"
#include "sitesim/PerformerList.h"
#include "sitesim/PerformerPictures.h"
#include "sitesim/RequestLog.h"
#include "sitesim/SignIn.h"
#include "sitesim/SiteRoutes.h"
#include "sitesim/SiteServer.h"
#include "sitesim/StopSwitch.h"
#include "sitesim/TlsContext.h"
#include "sitesim/UpdateOffer.h"

#include <httplib.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace sitesim
{

// The site.

// Its parts, and the server that hands them the requests.
class SimulatedSite::Impl
{
public:
    explicit Impl(const Options& options);

    bool Start(int port);
    void Stop();
    int GetPort() const { return m_port; }
    size_t CountOpenConnections() const;

    // Guards all the parts, so that a request's fault and its number are settled at once.
    std::mutex m_mutex;
    // Stop cuts short the answers' pauses.
    StopSwitch m_stop;

    // The parts, which the public face calls directly.
    PerformerList m_list;
    SignIn m_signIn;
    PerformerPictures m_pictures;
    UpdateOffer m_update;
    SiteRoutes m_routes;
    FaultTable m_faults;
    FaultApplier m_applier;
    RequestLog m_requests;

private:
    void Serve(const httplib::Request& request, httplib::Response& response, ConnectionStream& stream);
    Fault Admit(Request& record);

    const std::string m_tlsCertificate, m_tlsKey;

    // Start and Stop.
    mutable std::mutex m_runMutex;
    std::unique_ptr<SiteServer> m_server;
    std::shared_ptr<const TlsContext> m_tls;
    std::thread m_thread;
    std::atomic<int> m_port{0};
};

SimulatedSite::Impl::Impl(const Options& options)
    : m_list(options.performers, options.seed, options.favorites, options.churn, m_mutex)
    , m_signIn(options.user, options.password, options.favorites, m_mutex)
    , m_pictures(m_mutex)
    , m_update(options, m_mutex)
    , m_routes(m_list, m_signIn, m_pictures, m_update)
    , m_faults(m_mutex)
    , m_applier(m_routes, m_stop, options.seed, m_mutex)
    , m_requests(options.logRequests, m_mutex)
    , m_tlsCertificate(options.tlsCertificate)
    , m_tlsKey(options.tlsKey)
{
}

bool SimulatedSite::Impl::Start(int port)
{
    std::lock_guard<std::mutex> runLock(m_runMutex);
    if ( m_server || port < 0 || port > 65535 )
        return false;
    m_update.SignStatement();
    if ( !m_tlsCertificate.empty() )
    {
        auto tls = std::make_shared<TlsContext>(m_tlsCertificate, m_tlsKey);
        if ( !tls->IsOk() )
        {
            std::fprintf(stderr, "sitesim: cannot serve https: %s\n", tls->Why().c_str());
            return false;
        }
        m_tls = tls;
    }
    auto server = std::make_unique<SiteServer>(
        [this](const httplib::Request& request, httplib::Response& response, ConnectionStream& stream) {
            Serve(request, response, stream);
        },
        [this](const ConnectionStream& stream) { m_requests.LogExchange(stream); }, m_tls);
    if ( !server->Open(port) )
        return false;
    m_stop.Clear();
    m_port = server->GetPort();
    m_server = std::move(server);
    m_thread = std::thread([server = m_server.get()] { server->Run(); });
    return true;
}

void SimulatedSite::Impl::Stop()
{
    std::lock_guard<std::mutex> runLock(m_runMutex);
    if ( !m_server )
        return;
    m_stop.Raise();
    m_server->Close();
    m_thread.join();
    m_server.reset();
}

size_t SimulatedSite::Impl::CountOpenConnections() const
{
    std::lock_guard<std::mutex> lock(m_runMutex);
    return m_server ? m_server->CountConnections() : 0;
}

void SimulatedSite::Impl::Serve(const httplib::Request& request, httplib::Response& response,
                                ConnectionStream& stream)
{
    Request record = RequestLog::MakeRecord(request, stream);
    const Fault fault = Admit(record);
    stream.SetRequestSerial(record.serial);
    const int status = m_applier.ApplyFault(fault, record, response, stream);
    const std::string encoding = response.get_header_value("Content-Encoding");
    std::string remark = fault.kind == Fault::NONE ? std::string() : Fault::KindName(fault.kind);
    if ( !encoding.empty() )
    {
        remark += (remark.empty() ? "" : " ") + encoding;
        m_requests.NoteEncoding(record.serial, encoding);
    }
    stream.NoteExchange(record.method, record.target, status, remark);
}

// Keeps the request for the tests and settles the fault that its answer gets.
Fault SimulatedSite::Impl::Admit(Request& record)
{
    Fault fault;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        fault = m_faults.TakeLocked(record.path);
        record.fault = fault.kind;
        m_requests.AddLocked(record);
    }
    m_requests.NotifyArrived();
    return fault;
}

// The public face.

SimulatedSite::SimulatedSite()
    : SimulatedSite(Options())
{
}

SimulatedSite::SimulatedSite(const Options& options)
    : m_impl(std::make_unique<Impl>(options))
{
}

SimulatedSite::~SimulatedSite()
{
    Stop();
}

bool SimulatedSite::Start(int port)
{
    return m_impl->Start(port);
}

void SimulatedSite::Stop()
{
    m_impl->Stop();
}

int SimulatedSite::GetPort() const
{
    return m_impl->GetPort();
}

std::string SimulatedSite::GetHostPort() const
{
    return "127.0.0.1:" + std::to_string(GetPort());
}

int SimulatedSite::UnusedPort()
{
    // A socket bound but never listening keeps the port ours, and a connection to it is
    // refused. It stays open for the life of the process, so the answer stays true.
    static const int port = [] {
        const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if ( sock < 0 )
            return 1;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof(address);
        if ( ::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
             ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length) != 0 )
        {
            ::close(sock);
            return 1;
        }
        return static_cast<int>(ntohs(address.sin_port));
    }();
    return port;
}

void SimulatedSite::SetPerformers(const std::vector<Performer>& performers)
{
    m_impl->m_list.SetPerformers(performers);
}

void SimulatedSite::SetChurn(double churn)
{
    m_impl->m_list.SetChurn(churn);
}

void SimulatedSite::SetScript(const std::string& body)
{
    m_impl->m_list.SetScript(body);
}

std::vector<Performer> SimulatedSite::GetPerformers() const
{
    return m_impl->m_list.GetPerformers();
}

void SimulatedSite::SetAccount(const std::string& user, const std::string& password)
{
    m_impl->m_signIn.SetAccount(user, password);
}

void SimulatedSite::SetFavorites(const std::vector<std::string>& favorites)
{
    m_impl->m_signIn.SetFavorites(favorites);
}

void SimulatedSite::SetCurrentVersion(const std::string& version)
{
    m_impl->m_update.SetCurrentVersion(version);
}

void SimulatedSite::SetFault(const std::string& path, const Fault& fault, int times)
{
    m_impl->m_faults.SetFault(path, fault, times);
}

void SimulatedSite::ClearFault(const std::string& path)
{
    m_impl->m_faults.ClearFault(path);
}

void SimulatedSite::ClearFaults()
{
    m_impl->m_faults.ClearFaults();
}

void SimulatedSite::SetRandomFaults(double share, unsigned seed)
{
    m_impl->m_faults.SetRandomFaults(share, seed);
}

std::vector<Request> SimulatedSite::GetRequests() const
{
    return m_impl->m_requests.GetRequests();
}

size_t SimulatedSite::CountRequests(const std::string& path) const
{
    return m_impl->m_requests.CountRequests(path);
}

void SimulatedSite::ClearRequests()
{
    m_impl->m_requests.ClearRequests();
}

size_t SimulatedSite::CountOpenConnections() const
{
    return m_impl->CountOpenConnections();
}

bool SimulatedSite::WaitForRequests(const std::string& path, size_t count, int timeoutMs) const
{
    return m_impl->m_requests.WaitForRequests(path, count, timeoutMs);
}

}
