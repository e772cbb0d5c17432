#include "sitesim/SimulatedSite.h"

#include "sitesim/ConnectionStream.h"
#include "sitesim/FaultMix.h"
#include "sitesim/FillerSource.h"
#include "sitesim/PerformerModel.h"
#include "sitesim/PerformerScript.h"
#include "sitesim/SiteServer.h"
#include "sitesim/ThumbnailMaker.h"
#include "sitesim/TlsContext.h"
#include "sitesim/UpdateSigner.h"
#include "sitesim/UrlText.h"

#include <httplib.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace sitesim
{

namespace
{
const char* const LIST_PATH = "/include/js/online_performers.js";
const char* const SIGN_IN_PATH = "/tovrik";
const char* const PREVIEW_PATH = "/preview.shtml";
const char* const UPDATE_PATH = "/cgi-bin/app/update.cgi";
const char* const THUMB_PREFIX = "/WebArchive/";
const char* const THUMB_SUFFIX = "/thumbs/LinkedImage.jpg";

const char* const LIST_TYPE = "application/x-javascript";
const char* const HTML_TYPE = "text/html";
const char* const TEXT_TYPE = "text/plain";
const char* const JPEG_TYPE = "image/jpeg";
const char* const BINARY_TYPE = "application/octet-stream";

const size_t DEFAULT_OVERSIZE = 4 * 1024 * 1024;
const size_t DEFAULT_GARBAGE = 4096;
const size_t DEFAULT_LENGTH_EXCESS = 100;
const size_t DEFAULT_LONG_LINE = 300 * 1024;
const size_t PIECE_SIZE = 16 * 1024;
const size_t MAX_CACHED_THUMBNAILS = 4096;
// Shorter answers are not worth compressing: they would grow.
const size_t MIN_COMPRESSED_SIZE = 256;

struct Answer
{
    Answer() = default;
    Answer(int status_, std::string type_, std::string body_)
        : status(status_)
        , type(std::move(type_))
        , body(std::move(body_))
    {
    }

    int status = 200;
    std::string type;
    std::string body;
    std::string encoding; // "gzip" when the body is compressed
};

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// "NAME" of "/WebArchive/NAME/thumbs/LinkedImage.jpg", or empty for other paths.
bool ThumbnailName(const std::string& path, std::string& name)
{
    if ( !StartsWith(path, THUMB_PREFIX) || !EndsWith(path, THUMB_SUFFIX) )
        return false;
    const size_t start = std::char_traits<char>::length(THUMB_PREFIX);
    const size_t end = path.size() - std::char_traits<char>::length(THUMB_SUFFIX);
    name = end > start ? path.substr(start, end - start) : std::string();
    return true;
}

const char* ReasonPhrase(int status)
{
    switch ( status )
    {
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 408: return "Request Timeout";
        case 429: return "Too Many Requests";
        case 500: return "Internal Server Error";
        case 502: return "Bad Gateway";
        case 503: return "Service Unavailable";
        case 504: return "Gateway Timeout";
        default: return "Error";
    }
}

std::string Page(const std::string& title, const std::string& text)
{
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
           "</title></head>\n<body><h1>" + title + "</h1>\n<p>" + text + "</p>\n</body></html>\n";
}

bool ReadFile(const std::string& path, std::string& contents)
{
    std::ifstream file(path, std::ios::binary);
    if ( !file )
        return false;
    contents.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

FillerSource::Style FillerStyleFor(const std::string& path, const std::string& type)
{
    if ( path == LIST_PATH )
        return FillerSource::LIST_BLOCKS;
    if ( path == SIGN_IN_PATH )
        return FillerSource::NAME_LINES;
    if ( type == HTML_TYPE )
        return FillerSource::HTML;
    return FillerSource::BYTES;
}

// Whether an "Accept-Encoding" value takes gzip: named (or "*") without "q=0".
bool AcceptsGzip(const std::string& accepted)
{
    size_t start = 0;
    while ( start < accepted.size() )
    {
        size_t end = accepted.find(',', start);
        if ( end == std::string::npos )
            end = accepted.size();
        std::string item = accepted.substr(start, end - start);
        start = end + 1;
        std::transform(item.begin(), item.end(), item.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        item.erase(std::remove(item.begin(), item.end(), ' '), item.end());
        const std::string name = item.substr(0, item.find(';'));
        if ( name != "gzip" && name != "x-gzip" && name != "*" )
            continue;
        const size_t quality = item.find(";q=");
        return quality == std::string::npos || std::strtod(item.c_str() + quality + 3, nullptr) > 0;
    }
    return false;
}

// The site's text answers compress well; pictures and files do not.
bool IsCompressible(const std::string& type)
{
    return type == LIST_TYPE || type == HTML_TYPE || type == TEXT_TYPE;
}

std::string Gzip(const std::string& data)
{
    z_stream stream{};
    // 15 window bits, and 16 for the gzip wrapper.
    if ( deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK )
        return std::string();
    std::string compressed(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(&compressed[0]);
    stream.avail_out = static_cast<uInt>(compressed.size());
    const int result = deflate(&stream, Z_FINISH);
    compressed.resize(stream.total_out);
    deflateEnd(&stream);
    return result == Z_STREAM_END ? compressed : std::string();
}

// The answer compressed when the client takes gzip and it is worth it.
Answer Encoded(const Request& request, Answer answer)
{
    if ( !AcceptsGzip(request.Header("Accept-Encoding")) || !IsCompressible(answer.type) ||
         answer.body.size() < MIN_COMPRESSED_SIZE )
        return answer;
    std::string compressed = Gzip(answer.body);
    if ( compressed.empty() )
        return answer;
    answer.body.swap(compressed);
    answer.encoding = "gzip";
    return answer;
}

void SetEncoding(httplib::Response& response, const Answer& answer)
{
    response.set_header("Vary", "Accept-Encoding");
    if ( !answer.encoding.empty() )
        response.set_header("Content-Encoding", answer.encoding);
}

// An absolute-form target (as sent through a proxy) names the path after its authority.
std::string OriginPath(const std::string& rawPath)
{
    const size_t scheme = rawPath.find("://");
    if ( rawPath.empty() || rawPath[0] == '/' || scheme == std::string::npos )
        return rawPath;
    const size_t slash = rawPath.find('/', scheme + 3);
    return slash == std::string::npos ? std::string("/") : rawPath.substr(slash);
}
}

// The site.

class SimulatedSite::Impl
{
public:
    explicit Impl(const Options& options);

    bool Start(int port);
    void Stop();
    int GetPort() const { return m_port; }
    size_t CountOpenConnections() const;

    void SetPerformers(const std::vector<Performer>& performers);
    void SetChurn(double churn);
    void SetScript(const std::string& body);
    std::vector<Performer> GetPerformers() const;

    void SetAccount(const std::string& user, const std::string& password);
    void SetFavorites(const std::vector<std::string>& favorites);
    void SetCurrentVersion(const std::string& version);

    void SetFault(const std::string& path, const Fault& fault, int times);
    void ClearFault(const std::string& path);
    void ClearFaults();
    void SetRandomFaults(double share, unsigned seed);

    std::vector<Request> GetRequests() const;
    size_t CountRequests(const std::string& path) const;
    void ClearRequests();
    bool WaitForRequests(const std::string& path, size_t count, int timeoutMs) const;

private:
    struct FaultEntry
    {
        Fault fault;
        int times = -1;
    };

    void Serve(const httplib::Request& request, httplib::Response& response, ConnectionStream& stream);
    void LogExchange(const ConnectionStream& stream);

    Request MakeRecord(const httplib::Request& request, const ConnectionStream& stream) const;
    Fault Admit(Request& record);
    Fault TakeFaultLocked(const std::string& path);
    size_t CountRequestsLocked(const std::string& path) const;
    bool Pause(int ms);

    int ApplyFault(const Fault& fault, const Request& record, httplib::Response& response,
                   ConnectionStream& stream);

    Answer MakeAnswer(const Request& request);
    Answer ListAnswer();
    Answer SignInAnswer(const Request& request);
    Answer ThumbnailAnswer(const std::string& name);
    Answer PreviewAnswer(const Request& request);
    Answer UpdateAnswer(const Request& request);
    std::string UpdateFileLocked(const Request& request) const;
    std::string StatementLocked(const Request& request) const;
    bool OfferedLocked(const Request& request) const;
    std::string NormalType(const Request& request);

    int SendAnswer(httplib::Response& response, const Answer& answer);
    int SendError(httplib::Response& response, int status);
    int SendTruncated(httplib::Response& response, const Answer& answer, size_t sentBytes);
    int SendWrongLength(httplib::Response& response, const Answer& answer, size_t declaredLength);
    int SendAfterLongLine(httplib::Response& response, const Request& record, const Answer& answer,
                          size_t lineBytes);
    void SendProvided(httplib::Response& response, const Answer& answer, size_t declared, size_t sent);
    void SendFiller(httplib::Response& response, const std::string& type, FillerSource::Style style,
                    size_t size);
    void SendEndless(httplib::Response& response, const std::string& type, FillerSource::Style style);
    std::string Garbage(size_t size);
    unsigned NextFillerSeed();

    Options m_options;

    // Everything below m_mutex is guarded by it.
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_requestArrived;
    PerformerModel m_model;
    bool m_modelFresh = true; // the model has not been served since it was made or set
    double m_churn;
    bool m_useScript = false;
    std::string m_script;
    std::map<std::string, FaultEntry> m_faults;
    FaultMix m_faultMix;
    std::vector<Request> m_requests;
    size_t m_requestSerial = 0;
    std::map<std::string, std::string> m_thumbnails;
    std::string m_statement;
    std::mt19937 m_random;
    unsigned m_fillerSeed = 0;

    // Start and Stop, and the pauses that Stop cuts short.
    mutable std::mutex m_runMutex;
    std::unique_ptr<SiteServer> m_server;
    std::shared_ptr<const TlsContext> m_tls;
    std::thread m_thread;
    std::atomic<int> m_port{0};
    std::mutex m_stopMutex;
    std::condition_variable m_stopChanged;
    bool m_stopping = false;

    std::mutex m_logMutex;
};

SimulatedSite::Impl::Impl(const Options& options)
    : m_options(options)
    , m_model(options.performers, options.seed, options.favorites)
    , m_churn(options.churn)
    , m_random(options.seed ^ 0x5eed5eedu)
{
}

bool SimulatedSite::Impl::Start(int port)
{
    std::lock_guard<std::mutex> runLock(m_runMutex);
    if ( m_server || port < 0 || port > 65535 )
        return false;
    if ( !m_options.updateFile.empty() && m_options.updateStatement )
    {
        // Made from the files as they are now: whatever changes them later is a tampering. Files
        // that cannot be read give no statement, as they give no update.
        const std::string seed =
            m_options.updateSigningSeed.empty() ? UpdateSigner::TEST_KEY_SEED : m_options.updateSigningSeed;
        const std::string statement =
            UpdateSigner::Sign(m_options.updateVersion, m_options.updateFile, m_options.updateSkinFile,
                               m_options.updateMoFile, m_options.updateManifestFile, seed);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_statement = statement;
    }
    if ( !m_options.tlsCertificate.empty() )
    {
        auto tls = std::make_shared<TlsContext>(m_options.tlsCertificate, m_options.tlsKey);
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
        [this](const ConnectionStream& stream) { LogExchange(stream); }, m_tls);
    if ( !server->Open(port) )
        return false;
    {
        std::lock_guard<std::mutex> lock(m_stopMutex);
        m_stopping = false;
    }
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
    {
        std::lock_guard<std::mutex> lock(m_stopMutex);
        m_stopping = true;
    }
    m_stopChanged.notify_all();
    m_server->Close();
    m_thread.join();
    m_server.reset();
}

size_t SimulatedSite::Impl::CountOpenConnections() const
{
    std::lock_guard<std::mutex> lock(m_runMutex);
    return m_server ? m_server->CountConnections() : 0;
}

bool SimulatedSite::Impl::Pause(int ms)
{
    std::unique_lock<std::mutex> lock(m_stopMutex);
    return !m_stopChanged.wait_for(lock, std::chrono::milliseconds(std::max(ms, 0)),
                                   [this] { return m_stopping; });
}

void SimulatedSite::Impl::SetPerformers(const std::vector<Performer>& performers)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_model.SetPerformers(performers);
    m_modelFresh = true;
}

void SimulatedSite::Impl::SetChurn(double churn)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_churn = churn;
}

void SimulatedSite::Impl::SetScript(const std::string& body)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_script = body;
    m_useScript = !body.empty();
}

std::vector<Performer> SimulatedSite::Impl::GetPerformers() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_model.GetPerformers();
}

void SimulatedSite::Impl::SetAccount(const std::string& user, const std::string& password)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_options.user = user;
    m_options.password = password;
}

void SimulatedSite::Impl::SetFavorites(const std::vector<std::string>& favorites)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_options.favorites = favorites;
}

void SimulatedSite::Impl::SetCurrentVersion(const std::string& version)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_options.currentVersion = version;
}

void SimulatedSite::Impl::SetFault(const std::string& path, const Fault& fault, int times)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if ( fault.kind == Fault::NONE || times == 0 )
        m_faults.erase(path);
    else
        m_faults[path] = FaultEntry{fault, times < 0 ? -1 : times};
}

void SimulatedSite::Impl::ClearFault(const std::string& path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.erase(path);
}

void SimulatedSite::Impl::ClearFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.clear();
}

void SimulatedSite::Impl::SetRandomFaults(double share, unsigned seed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faultMix = FaultMix(share, seed);
}

std::vector<Request> SimulatedSite::Impl::GetRequests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

size_t SimulatedSite::Impl::CountRequests(const std::string& path) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return CountRequestsLocked(path);
}

void SimulatedSite::Impl::ClearRequests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
}

bool SimulatedSite::Impl::WaitForRequests(const std::string& path, size_t count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_requestArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [&] { return CountRequestsLocked(path) >= count; });
}

Request SimulatedSite::Impl::MakeRecord(const httplib::Request& request,
                                        const ConnectionStream& stream) const
{
    Request record;
    record.method = request.method;
    record.target = request.target;
    const size_t question = request.target.find('?');
    record.path = OriginPath(request.target.substr(0, question));
    if ( question != std::string::npos )
        record.query = request.target.substr(question + 1);
    record.params = UrlText::ParseQuery(record.query);
    record.connection = stream.GetSerial();
    record.secure = stream.IsSecure();
    for ( const auto& header : stream.GetReceivedHeaders() )
    {
        // The library adds the peer's address as headers; they were never sent.
        if ( header.first == "REMOTE_ADDR" || header.first == "REMOTE_PORT" ||
             header.first == "LOCAL_ADDR" || header.first == "LOCAL_PORT" )
            continue;
        record.headers.emplace(header.first, header.second);
    }
    return record;
}

Fault SimulatedSite::Impl::TakeFaultLocked(const std::string& path)
{
    const auto it = m_faults.find(path);
    if ( it == m_faults.end() )
        return Fault();
    const Fault fault = it->second.fault;
    if ( it->second.times > 0 && --it->second.times == 0 )
        m_faults.erase(it);
    return fault;
}

size_t SimulatedSite::Impl::CountRequestsLocked(const std::string& path) const
{
    return static_cast<size_t>(std::count_if(m_requests.begin(), m_requests.end(),
                                             [&path](const Request& r) { return r.path == path; }));
}

void SimulatedSite::Impl::Serve(const httplib::Request& request, httplib::Response& response,
                                ConnectionStream& stream)
{
    Request record = MakeRecord(request, stream);
    const Fault fault = Admit(record);
    stream.SetRequestSerial(record.serial);
    const int status = ApplyFault(fault, record, response, stream);
    const std::string encoding = response.get_header_value("Content-Encoding");
    std::string remark = fault.kind == Fault::NONE ? std::string() : Fault::KindName(fault.kind);
    if ( !encoding.empty() )
    {
        remark += (remark.empty() ? "" : " ") + encoding;
        std::lock_guard<std::mutex> lock(m_mutex);
        for ( auto it = m_requests.rbegin(); it != m_requests.rend(); ++it )
        {
            if ( it->serial == record.serial )
            {
                it->encoding = encoding;
                break;
            }
        }
    }
    stream.NoteExchange(record.method, record.target, status, remark);
}

// Keeps the request for the tests and settles the fault that its answer gets.
Fault SimulatedSite::Impl::Admit(Request& record)
{
    Fault fault;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        fault = TakeFaultLocked(record.path);
        // The preview page opens in the user's browser, where our faults would prove nothing.
        if ( fault.kind == Fault::NONE && record.path != PREVIEW_PATH )
            fault = m_faultMix.Next();
        record.fault = fault.kind;
        record.serial = ++m_requestSerial;
        m_requests.push_back(record);
    }
    m_requestArrived.notify_all();
    return fault;
}

// Answers the request the way the fault spoils it (with no fault, as it is). Returns the
// status for the log, 0 when the connection is dropped without an answer.
int SimulatedSite::Impl::ApplyFault(const Fault& fault, const Request& record,
                                    httplib::Response& response, ConnectionStream& stream)
{
    switch ( fault.kind )
    {
        case Fault::NONE:
            break;
        case Fault::CLOSE:
            stream.Abort();
            return 0;
        case Fault::DELAY:
            if ( Pause(fault.delayMs) )
                break;
            // Stopped while waiting: nobody is left to answer.
            stream.Abort();
            return 0;
        case Fault::HTTP_ERROR:
            return SendError(response, fault.status);
        case Fault::OVERSIZE:
        {
            const std::string type = NormalType(record);
            SendFiller(response, type, FillerStyleFor(record.path, type),
                       fault.size ? fault.size : DEFAULT_OVERSIZE);
            return 200;
        }
        case Fault::GARBAGE:
            response.status = 200;
            response.set_content(Garbage(fault.size ? fault.size : DEFAULT_GARBAGE), NormalType(record));
            return 200;
        case Fault::ENDLESS_BODY:
            SendEndless(response, NormalType(record), FillerSource::LIST_BLOCKS);
            return 200;
        case Fault::ENDLESS_LINE:
            SendEndless(response, NormalType(record), FillerSource::LIST_LINE);
            return 200;
        case Fault::WRONG_TYPE:
        {
            Answer answer = Encoded(record, MakeAnswer(record));
            answer.type = fault.contentType.empty() ? std::string(TEXT_TYPE) : fault.contentType;
            return SendAnswer(response, answer);
        }
        case Fault::TRUNCATE:
            return SendTruncated(response, Encoded(record, MakeAnswer(record)), fault.size);
        case Fault::WRONG_LENGTH:
            return SendWrongLength(response, Encoded(record, MakeAnswer(record)), fault.size);
        case Fault::LONG_LINE:
            return SendAfterLongLine(response, record, MakeAnswer(record),
                                     fault.size ? fault.size : DEFAULT_LONG_LINE);
    }
    return SendAnswer(response, Encoded(record, MakeAnswer(record)));
}

int SimulatedSite::Impl::SendAnswer(httplib::Response& response, const Answer& answer)
{
    response.status = answer.status;
    if ( !answer.type.empty() )
    {
        response.set_content(answer.body, answer.type);
        SetEncoding(response, answer);
    }
    return answer.status;
}

int SimulatedSite::Impl::SendError(httplib::Response& response, int status)
{
    const std::string title = std::to_string(status) + " " + ReasonPhrase(status);
    response.status = status;
    response.set_content(Page(title, "The server could not answer this request."), HTML_TYPE);
    return status;
}

// sentBytes 0 sends half the body.
int SimulatedSite::Impl::SendTruncated(httplib::Response& response, const Answer& answer, size_t sentBytes)
{
    // The declared length must exceed what is sent, or nothing would be cut.
    const size_t length = std::max<size_t>(answer.body.size(), 1);
    const size_t sent = std::min(sentBytes ? sentBytes : answer.body.size() / 2, length - 1);
    SendProvided(response, answer, length, sent);
    return answer.status;
}

// declaredLength 0 claims a little more than the body.
int SimulatedSite::Impl::SendWrongLength(httplib::Response& response, const Answer& answer,
                                         size_t declaredLength)
{
    const size_t declared = declaredLength ? declaredLength : answer.body.size() + DEFAULT_LENGTH_EXCESS;
    SendProvided(response, answer, declared, answer.body.size());
    return answer.status;
}

int SimulatedSite::Impl::SendAfterLongLine(httplib::Response& response, const Request& record,
                                           const Answer& answer, size_t lineBytes)
{
    const std::string line = FillerSource(FillerSource::LIST_LINE, NextFillerSeed()).Next(lineBytes);
    Answer longer = answer;
    longer.body = line + answer.body;
    if ( longer.type.empty() )
        longer.type = TEXT_TYPE;
    return SendAnswer(response, Encoded(record, longer));
}

void SimulatedSite::Impl::SendProvided(httplib::Response& response, const Answer& answer,
                                       size_t declared, size_t sent)
{
    auto body = std::make_shared<std::string>(answer.body);
    response.status = answer.status;
    SetEncoding(response, answer);
    response.set_content_provider(
        declared, answer.type.empty() ? std::string(TEXT_TYPE) : answer.type,
        [body, declared, sent](size_t offset, size_t, httplib::DataSink& sink) {
            const size_t end = std::min(sent, body->size());
            if ( offset < end && !sink.write(body->data() + offset, end - offset) )
                return false;
            // Returning false makes the server drop the connection; returning true with
            // nothing written would have it ask again forever.
            return end >= declared;
        });
}

void SimulatedSite::Impl::SendFiller(httplib::Response& response, const std::string& type,
                                     FillerSource::Style style, size_t size)
{
    auto source = std::make_shared<FillerSource>(style, NextFillerSeed());
    response.status = 200;
    response.set_content_provider(size, type,
                                  [source](size_t, size_t length, httplib::DataSink& sink) {
                                      const std::string piece = source->Next(std::min(length, PIECE_SIZE));
                                      return sink.write(piece.data(), piece.size());
                                  });
}

void SimulatedSite::Impl::SendEndless(httplib::Response& response, const std::string& type,
                                      FillerSource::Style style)
{
    auto source = std::make_shared<FillerSource>(style, NextFillerSeed());
    response.status = 200;
    // No length and no end: the body runs until the client goes or the site stops. Each
    // piece waits for the socket, so nothing piles up here when the client reads slowly, and
    // as fast as the client reads it, so that a client's own limits are what ends it.
    response.set_content_provider(type, [this, source](size_t, httplib::DataSink& sink) {
        const std::string piece = source->Next(PIECE_SIZE);
        if ( !sink.write(piece.data(), piece.size()) )
            return false;
        return Pause(0);
    });
}

std::string SimulatedSite::Impl::Garbage(size_t size)
{
    std::string bytes(size, '\0');
    std::lock_guard<std::mutex> lock(m_mutex);
    for ( char& byte : bytes )
        byte = static_cast<char>(m_random() & 0xFF);
    // Make sure of what a reader must survive: NUL, bytes that are never UTF-8, a lone
    // continuation byte and a cut multi-byte sequence.
    static const char nasty[] = {'\0', '\xFF', '\xFE', '\x80', '\xC3', '\n', '\xE2', '\x82'};
    for ( size_t i = 0; i < sizeof(nasty) && i < size; ++i )
        bytes[(i * 131) % size] = nasty[i];
    return bytes;
}

// Each filler differs from the one before it.
unsigned SimulatedSite::Impl::NextFillerSeed()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return ++m_fillerSeed;
}

// The answer the request's path has when nothing spoils it.
Answer SimulatedSite::Impl::MakeAnswer(const Request& request)
{
    if ( request.method != "GET" && request.method != "HEAD" )
        return {405, HTML_TYPE, Page("405 Method Not Allowed", "Only GET is served here.")};

    std::string name;
    if ( request.path == LIST_PATH )
        return ListAnswer();
    if ( request.path == SIGN_IN_PATH )
        return SignInAnswer(request);
    if ( ThumbnailName(request.path, name) )
        return ThumbnailAnswer(name);
    if ( request.path == PREVIEW_PATH )
        return PreviewAnswer(request);
    if ( request.path == UPDATE_PATH )
        return UpdateAnswer(request);
    return {404, HTML_TYPE,
            Page("404 Not Found", "There is nothing at " + UrlText::EscapeHtml(request.path) + ".")};
}

Answer SimulatedSite::Impl::ListAnswer()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if ( m_useScript )
        return {200, LIST_TYPE, m_script};
    // The first answer after the model was made or set shows it unchanged; every later one
    // is a step further.
    if ( !m_modelFresh )
        m_model.Advance(m_churn);
    m_modelFresh = false;
    return {200, LIST_TYPE, PerformerScript::Render(m_model.GetBlocks(), m_model.GetGeneration())};
}

Answer SimulatedSite::Impl::SignInAnswer(const Request& request)
{
    const auto user = request.params.find("username");
    const auto password = request.params.find("password");
    std::lock_guard<std::mutex> lock(m_mutex);
    if ( m_options.user.empty() || user == request.params.end() || password == request.params.end() ||
         user->second != m_options.user || password->second != m_options.password )
        return {401, std::string(), std::string()};
    std::string body;
    for ( const std::string& favorite : m_options.favorites )
        body += favorite + "\n";
    // Ends with an empty line, as the site's text answers do: a reader may leave the last
    // line of a body unread.
    body += "\n";
    return {200, TEXT_TYPE, body};
}

Answer SimulatedSite::Impl::ThumbnailAnswer(const std::string& name)
{
    if ( !UrlText::IsPerformerName(name) )
        return {404, HTML_TYPE, Page("404 Not Found", "No such picture.")};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_thumbnails.find(name);
        if ( it != m_thumbnails.end() )
            return {200, JPEG_TYPE, it->second};
    }
    const std::string jpeg = ThumbnailMaker::Make(name);
    if ( jpeg.empty() )
        return {500, HTML_TYPE, Page("500 Internal Server Error", "The picture could not be made.")};
    std::lock_guard<std::mutex> lock(m_mutex);
    if ( m_thumbnails.size() >= MAX_CACHED_THUMBNAILS )
        m_thumbnails.clear();
    m_thumbnails[name] = jpeg;
    return {200, JPEG_TYPE, jpeg};
}

Answer SimulatedSite::Impl::PreviewAnswer(const Request& request)
{
    const std::string name = UrlText::EscapeHtml(UrlText::PercentDecode(request.query));
    const std::string title = name.empty() ? std::string("Lumora") : name + " - Lumora";
    std::string body = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
                       "</title></head>\n<body>\n";
    if ( name.empty() )
    {
        body += "<h1>Lumora</h1>\n<p>Pick a performer from the list.</p>\n";
    }
    else
    {
        body += "<h1>" + name + "</h1>\n";
        body += "<img src=\"/WebArchive/" + name + "/thumbs/LinkedImage.jpg\" width=\"120\" "
                "height=\"90\" alt=\"" + name + "\">\n";
        body += "<p>" + name + " is on Lumora. Free preview.</p>\n";
    }
    body += "</body></html>\n";
    return {200, HTML_TYPE, body};
}

bool SimulatedSite::Impl::OfferedLocked(const Request& request) const
{
    const auto version = request.params.find("version");
    const std::string offeredTo = version == request.params.end() ? std::string() : version->second;
    return m_options.currentVersion.empty() || offeredTo != m_options.currentVersion;
}

std::string SimulatedSite::Impl::StatementLocked(const Request& request) const
{
    const auto type = request.params.find("type");
    if ( type == request.params.end() || type->second != "statement" || !OfferedLocked(request) )
        return std::string();
    return m_statement;
}

std::string SimulatedSite::Impl::UpdateFileLocked(const Request& request) const
{
    if ( !OfferedLocked(request) )
        return std::string();
    const auto type = request.params.find("type");
    if ( type == request.params.end() )
        return m_options.updateFile;
    if ( type->second == "skin" )
        return m_options.updateSkinFile;
    if ( type->second == "mo" )
        return m_options.updateMoFile;
    if ( type->second == "manifest" )
        return m_options.updateManifestFile;
    return std::string();
}

Answer SimulatedSite::Impl::UpdateAnswer(const Request& request)
{
    std::string file;
    std::string statement;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        file = UpdateFileLocked(request);
        statement = StatementLocked(request);
    }
    if ( !statement.empty() )
        return {200, BINARY_TYPE, statement};
    if ( file.empty() )
        return {200, HTML_TYPE, Page("Lumora Messenger", "There is no update. You have the latest version.")};
    std::string contents;
    if ( !ReadFile(file, contents) )
        return {500, HTML_TYPE, Page("500 Internal Server Error", "The update cannot be read.")};
    return {200, BINARY_TYPE, contents};
}

std::string SimulatedSite::Impl::NormalType(const Request& request)
{
    std::string name;
    if ( request.path == LIST_PATH )
        return LIST_TYPE;
    if ( request.path == SIGN_IN_PATH )
        return TEXT_TYPE;
    if ( ThumbnailName(request.path, name) && UrlText::IsPerformerName(name) )
        return JPEG_TYPE;
    if ( request.path == UPDATE_PATH )
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return UpdateFileLocked(request).empty() && StatementLocked(request).empty() ? HTML_TYPE : BINARY_TYPE;
    }
    return HTML_TYPE;
}

void SimulatedSite::Impl::LogExchange(const ConnectionStream& stream)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for ( auto it = m_requests.rbegin(); it != m_requests.rend(); ++it )
        {
            if ( it->serial == stream.GetRequestSerial() )
            {
                it->bodyBytes = stream.GetBodyBytes();
                break;
            }
        }
    }
    if ( !m_options.logRequests )
        return;
    std::lock_guard<std::mutex> lock(m_logMutex);
    std::printf("%s\n", stream.DescribeExchange().c_str());
    std::fflush(stdout);
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
    m_impl->SetPerformers(performers);
}

void SimulatedSite::SetChurn(double churn)
{
    m_impl->SetChurn(churn);
}

void SimulatedSite::SetScript(const std::string& body)
{
    m_impl->SetScript(body);
}

std::vector<Performer> SimulatedSite::GetPerformers() const
{
    return m_impl->GetPerformers();
}

void SimulatedSite::SetAccount(const std::string& user, const std::string& password)
{
    m_impl->SetAccount(user, password);
}

void SimulatedSite::SetFavorites(const std::vector<std::string>& favorites)
{
    m_impl->SetFavorites(favorites);
}

void SimulatedSite::SetCurrentVersion(const std::string& version)
{
    m_impl->SetCurrentVersion(version);
}

void SimulatedSite::SetFault(const std::string& path, const Fault& fault, int times)
{
    m_impl->SetFault(path, fault, times);
}

void SimulatedSite::ClearFault(const std::string& path)
{
    m_impl->ClearFault(path);
}

void SimulatedSite::ClearFaults()
{
    m_impl->ClearFaults();
}

void SimulatedSite::SetRandomFaults(double share, unsigned seed)
{
    m_impl->SetRandomFaults(share, seed);
}

std::vector<Request> SimulatedSite::GetRequests() const
{
    return m_impl->GetRequests();
}

size_t SimulatedSite::CountRequests(const std::string& path) const
{
    return m_impl->CountRequests(path);
}

void SimulatedSite::ClearRequests()
{
    m_impl->ClearRequests();
}

size_t SimulatedSite::CountOpenConnections() const
{
    return m_impl->CountOpenConnections();
}

bool SimulatedSite::WaitForRequests(const std::string& path, size_t count, int timeoutMs) const
{
    return m_impl->WaitForRequests(path, count, timeoutMs);
}

}
