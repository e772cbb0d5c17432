#include "sitesim/FaultApplier.h"

#include "sitesim/AnswerEncoder.h"
#include "sitesim/ConnectionStream.h"
#include "sitesim/SiteRoutes.h"
#include "sitesim/StopSwitch.h"

#include <algorithm>
#include <memory>

namespace sitesim
{

namespace
{
const size_t DEFAULT_OVERSIZE = 4 * 1024 * 1024;
const size_t DEFAULT_GARBAGE = 4096;
const size_t DEFAULT_LENGTH_EXCESS = 100;
const size_t DEFAULT_LONG_LINE = 300 * 1024;
const size_t PIECE_SIZE = 16 * 1024;

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

FillerSource::Style FillerStyleFor(const std::string& path, const std::string& type)
{
    if ( path == SiteRoutes::LIST_PATH )
        return FillerSource::LIST_BLOCKS;
    if ( path == SiteRoutes::SIGN_IN_PATH )
        return FillerSource::NAME_LINES;
    if ( type == Answer::HTML_TYPE )
        return FillerSource::HTML;
    return FillerSource::BYTES;
}
}

FaultApplier::FaultApplier(SiteRoutes& routes, StopSwitch& stop, unsigned seed, std::mutex& mutex)
    : m_routes(routes)
    , m_stop(stop)
    , m_mutex(mutex)
    , m_random(seed ^ 0x5eed5eedu)
{
}

int FaultApplier::ApplyFault(const Fault& fault, const Request& record, httplib::Response& response,
                             ConnectionStream& stream)
{
    switch ( fault.kind )
    {
        case Fault::NONE:
            break;
        case Fault::CLOSE:
            stream.Abort();
            return 0;
        case Fault::DELAY:
            if ( m_stop.Pause(fault.delayMs) )
                break;
            // Stopped while waiting: nobody is left to answer.
            stream.Abort();
            return 0;
        case Fault::HTTP_ERROR:
            return SendError(response, fault.status);
        case Fault::OVERSIZE:
        {
            const std::string type = m_routes.NormalType(record);
            SendFiller(response, type, FillerStyleFor(record.path, type),
                       fault.size ? fault.size : DEFAULT_OVERSIZE);
            return 200;
        }
        case Fault::GARBAGE:
            response.status = 200;
            response.set_content(Garbage(fault.size ? fault.size : DEFAULT_GARBAGE),
                                 m_routes.NormalType(record));
            return 200;
        case Fault::ENDLESS_BODY:
            SendEndless(response, m_routes.NormalType(record), FillerSource::LIST_BLOCKS);
            return 200;
        case Fault::ENDLESS_LINE:
            SendEndless(response, m_routes.NormalType(record), FillerSource::LIST_LINE);
            return 200;
        case Fault::WRONG_TYPE:
        {
            Answer answer = AnswerEncoder::Encoded(record, m_routes.MakeAnswer(record));
            answer.type = fault.contentType.empty() ? std::string(Answer::TEXT_TYPE) : fault.contentType;
            return SendAnswer(response, answer);
        }
        case Fault::TRUNCATE:
            return SendTruncated(response, AnswerEncoder::Encoded(record, m_routes.MakeAnswer(record)),
                                 fault.size);
        case Fault::WRONG_LENGTH:
            return SendWrongLength(response, AnswerEncoder::Encoded(record, m_routes.MakeAnswer(record)),
                                   fault.size);
        case Fault::LONG_LINE:
            return SendAfterLongLine(response, record, m_routes.MakeAnswer(record),
                                     fault.size ? fault.size : DEFAULT_LONG_LINE);
    }
    return SendAnswer(response, AnswerEncoder::Encoded(record, m_routes.MakeAnswer(record)));
}

int FaultApplier::SendAnswer(httplib::Response& response, const Answer& answer)
{
    response.status = answer.status;
    if ( !answer.type.empty() )
    {
        response.set_content(answer.body, answer.type);
        AnswerEncoder::SetEncoding(response, answer);
    }
    return answer.status;
}

int FaultApplier::SendError(httplib::Response& response, int status)
{
    const std::string title = std::to_string(status) + " " + ReasonPhrase(status);
    response.status = status;
    response.set_content(Answer::Page(title, "The server could not answer this request."), Answer::HTML_TYPE);
    return status;
}

// sentBytes 0 sends half the body.
int FaultApplier::SendTruncated(httplib::Response& response, const Answer& answer, size_t sentBytes)
{
    // The declared length must exceed what is sent, or nothing would be cut.
    const size_t length = std::max<size_t>(answer.body.size(), 1);
    const size_t sent = std::min(sentBytes ? sentBytes : answer.body.size() / 2, length - 1);
    SendProvided(response, answer, length, sent);
    return answer.status;
}

// declaredLength 0 claims a little more than the body.
int FaultApplier::SendWrongLength(httplib::Response& response, const Answer& answer, size_t declaredLength)
{
    const size_t declared = declaredLength ? declaredLength : answer.body.size() + DEFAULT_LENGTH_EXCESS;
    SendProvided(response, answer, declared, answer.body.size());
    return answer.status;
}

int FaultApplier::SendAfterLongLine(httplib::Response& response, const Request& record, const Answer& answer,
                                    size_t lineBytes)
{
    const std::string line = FillerSource(FillerSource::LIST_LINE, NextFillerSeed()).Next(lineBytes);
    Answer longer = answer;
    longer.body = line + answer.body;
    if ( longer.type.empty() )
        longer.type = Answer::TEXT_TYPE;
    return SendAnswer(response, AnswerEncoder::Encoded(record, longer));
}

void FaultApplier::SendProvided(httplib::Response& response, const Answer& answer, size_t declared, size_t sent)
{
    auto body = std::make_shared<std::string>(answer.body);
    response.status = answer.status;
    AnswerEncoder::SetEncoding(response, answer);
    response.set_content_provider(
        declared, answer.type.empty() ? std::string(Answer::TEXT_TYPE) : answer.type,
        [body, declared, sent](size_t offset, size_t, httplib::DataSink& sink) {
            const size_t end = std::min(sent, body->size());
            if ( offset < end && !sink.write(body->data() + offset, end - offset) )
                return false;
            // Returning false makes the server drop the connection; returning true with
            // nothing written would have it ask again forever.
            return end >= declared;
        });
}

void FaultApplier::SendFiller(httplib::Response& response, const std::string& type, FillerSource::Style style,
                              size_t size)
{
    auto source = std::make_shared<FillerSource>(style, NextFillerSeed());
    response.status = 200;
    response.set_content_provider(size, type,
                                  [source](size_t, size_t length, httplib::DataSink& sink) {
                                      const std::string piece = source->Next(std::min(length, PIECE_SIZE));
                                      return sink.write(piece.data(), piece.size());
                                  });
}

void FaultApplier::SendEndless(httplib::Response& response, const std::string& type, FillerSource::Style style)
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
        return m_stop.Pause(0);
    });
}

std::string FaultApplier::Garbage(size_t size)
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
unsigned FaultApplier::NextFillerSeed()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return ++m_fillerSeed;
}

}
