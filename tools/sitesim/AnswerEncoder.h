#pragma once

#include "sitesim/Answer.h"
#include "sitesim/Request.h"

#include <httplib.h>

namespace sitesim
{

// The answers' compression: gzip for a client that takes it, where it pays.
class AnswerEncoder
{
public:
    // The answer compressed when the client takes gzip and it is worth it.
    static Answer Encoded(const Request& request, Answer answer);
    // The headers that tell the client how the answer's body came.
    static void SetEncoding(httplib::Response& response, const Answer& answer);
};

}
