#pragma once

#include "sitesim/Answer.h"
#include "sitesim/Fault.h"
#include "sitesim/FillerSource.h"
#include "sitesim/Request.h"

#include <httplib.h>

#include <mutex>
#include <random>
#include <string>

namespace sitesim
{

class ConnectionStream;
class SiteRoutes;
class StopSwitch;

// The answers as faults spoil them: errors, dropped and cut connections, wrong lengths and types,
// garbage, and oversized, endless and one-line bodies.
class FaultApplier
{
public:
    // The garbage follows from seed. mutex is the site's lock, which guards all of its parts.
    FaultApplier(SiteRoutes& routes, StopSwitch& stop, unsigned seed, std::mutex& mutex);

    // Answers the request the way the fault spoils it (with no fault, as it is). Returns the
    // status for the log, 0 when the connection is dropped without an answer.
    int ApplyFault(const Fault& fault, const Request& record, httplib::Response& response,
                   ConnectionStream& stream);

private:
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

    SiteRoutes& m_routes;
    StopSwitch& m_stop;

    // Both guarded by the site's lock.
    std::mutex& m_mutex;
    std::mt19937 m_random;
    unsigned m_fillerSeed = 0;
};

}
