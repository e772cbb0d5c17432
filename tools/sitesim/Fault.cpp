#include "sitesim/Fault.h"

namespace sitesim
{

namespace
{
// A fault of kind with one setting other than its default.
template <typename Value>
Fault With(Fault::Kind kind, Value Fault::*setting, Value value)
{
    Fault fault;
    fault.kind = kind;
    fault.*setting = value;
    return fault;
}
}

Fault Fault::Delay(int ms)
{
    return With(DELAY, &Fault::delayMs, ms);
}

Fault Fault::HttpError(int status)
{
    return With(HTTP_ERROR, &Fault::status, status);
}

Fault Fault::Truncate(size_t sentBytes)
{
    return With(TRUNCATE, &Fault::size, sentBytes);
}

Fault Fault::Oversize(size_t bytes)
{
    return With(OVERSIZE, &Fault::size, bytes);
}

Fault Fault::WrongType(const std::string& contentType)
{
    return With(WRONG_TYPE, &Fault::contentType, contentType);
}

Fault Fault::WrongLength(size_t declaredLength)
{
    return With(WRONG_LENGTH, &Fault::size, declaredLength);
}

Fault Fault::Of(Kind kind)
{
    Fault fault;
    fault.kind = kind;
    return fault;
}

const char* Fault::KindName(Kind kind)
{
    switch ( kind )
    {
        case NONE: return "NONE";
        case DELAY: return "DELAY";
        case HTTP_ERROR: return "HTTP_ERROR";
        case TRUNCATE: return "TRUNCATE";
        case OVERSIZE: return "OVERSIZE";
        case WRONG_TYPE: return "WRONG_TYPE";
        case WRONG_LENGTH: return "WRONG_LENGTH";
        case GARBAGE: return "GARBAGE";
        case ENDLESS_BODY: return "ENDLESS_BODY";
        case ENDLESS_LINE: return "ENDLESS_LINE";
        case CLOSE: return "CLOSE";
        case LONG_LINE: return "LONG_LINE";
    }
    return "?";
}

}
