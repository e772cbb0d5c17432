#pragma once

#include "sitesim/Request.h"

#include <httplib.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace sitesim
{

class ConnectionStream;

// The requests the site received, kept for the tests to count and wait for, and with
// logRequests one line per exchange on stdout.
class RequestLog
{
public:
    // mutex is the site's lock, which guards all of its parts.
    RequestLog(bool logRequests, std::mutex& mutex);

    // The record of a request as it arrived on stream, not yet numbered.
    static Request MakeRecord(const httplib::Request& request, const ConnectionStream& stream);
    // Numbers the record and keeps it; the caller holds the lock, and calls NotifyArrived once it
    // let go of it.
    void AddLocked(Request& record);
    void NotifyArrived();

    // How the answer to the request numbered serial was compressed.
    void NoteEncoding(size_t serial, const std::string& encoding);
    // The exchange on stream is over: its body's size is kept, and the line printed.
    void LogExchange(const ConnectionStream& stream);

    std::vector<Request> GetRequests() const;
    size_t CountRequests(const std::string& path) const;
    void ClearRequests();
    bool WaitForRequests(const std::string& path, size_t count, int timeoutMs) const;

private:
    size_t CountRequestsLocked(const std::string& path) const;
    Request* FindLocked(size_t serial);

    const bool m_logRequests;

    // Guarded by the site's lock.
    std::mutex& m_mutex;
    mutable std::condition_variable m_requestArrived;
    std::vector<Request> m_requests;
    size_t m_requestSerial = 0;

    // Keeps the printed lines whole.
    std::mutex m_logMutex;
};

}
