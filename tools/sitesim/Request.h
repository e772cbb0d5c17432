#pragma once

#include "sitesim/Fault.h"

#include <map>
#include <string>

namespace sitesim
{

// One request as the simulated site received it, kept for the tests to look at.
struct Request
{
    std::string method;
    std::string path;   // as received, without the query (an absolute-form target is reduced to its path)
    std::string query;  // raw, still percent-encoded
    std::string target; // the request line's target exactly as received
    std::map<std::string, std::string> headers;
    std::map<std::string, std::string> params; // query keys and values, percent-decoded ('+' kept)
    Fault::Kind fault = Fault::NONE;           // how the answer was spoiled, if it was
    size_t serial = 0;                         // the request's number, from 1, in order of arrival
    unsigned long connection = 0;              // the number of the connection that carried it
    bool secure = false;                       // it came over TLS
    std::string encoding;                      // how the answer was compressed ("gzip"), if it was
    size_t bodyBytes = 0;                      // what was sent after the answer's head, once sent

    // A header by name, ignoring case; empty when absent.
    std::string Header(const std::string& name) const;
};

}
