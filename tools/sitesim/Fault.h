#pragma once

#include <cstddef>
#include <string>

namespace sitesim
{

// How the simulated site spoils an answer.
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

}
