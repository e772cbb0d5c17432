#include "sitesim/RequestLog.h"

#include "sitesim/ConnectionStream.h"
#include "sitesim/UrlText.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace sitesim
{

namespace
{
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

RequestLog::RequestLog(bool logRequests, std::mutex& mutex)
    : m_logRequests(logRequests)
    , m_mutex(mutex)
{
}

Request RequestLog::MakeRecord(const httplib::Request& request, const ConnectionStream& stream)
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

void RequestLog::AddLocked(Request& record)
{
    record.serial = ++m_requestSerial;
    m_requests.push_back(record);
}

void RequestLog::NotifyArrived()
{
    m_requestArrived.notify_all();
}

void RequestLog::NoteEncoding(size_t serial, const std::string& encoding)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if ( Request* record = FindLocked(serial) )
        record->encoding = encoding;
}

void RequestLog::LogExchange(const ConnectionStream& stream)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if ( Request* record = FindLocked(stream.GetRequestSerial()) )
            record->bodyBytes = stream.GetBodyBytes();
    }
    if ( !m_logRequests )
        return;
    std::lock_guard<std::mutex> lock(m_logMutex);
    std::printf("%s\n", stream.DescribeExchange().c_str());
    std::fflush(stdout);
}

std::vector<Request> RequestLog::GetRequests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

size_t RequestLog::CountRequests(const std::string& path) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return CountRequestsLocked(path);
}

void RequestLog::ClearRequests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
}

bool RequestLog::WaitForRequests(const std::string& path, size_t count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_requestArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [&] { return CountRequestsLocked(path) >= count; });
}

size_t RequestLog::CountRequestsLocked(const std::string& path) const
{
    return static_cast<size_t>(std::count_if(m_requests.begin(), m_requests.end(),
                                             [&path](const Request& r) { return r.path == path; }));
}

// The newest record first: the one asked for is nearly always the last.
Request* RequestLog::FindLocked(size_t serial)
{
    for ( auto it = m_requests.rbegin(); it != m_requests.rend(); ++it )
    {
        if ( it->serial == serial )
            return &*it;
    }
    return nullptr;
}

}
