#pragma once

#include <string>
#include <utility>

namespace sitesim
{

// What the site answers a request with: status, Content-Type and body, compressed or not.
struct Answer
{
    static const char* const LIST_TYPE;
    static const char* const HTML_TYPE;
    static const char* const TEXT_TYPE;
    static const char* const JPEG_TYPE;
    static const char* const BINARY_TYPE;

    Answer() = default;
    Answer(int status_, std::string type_, std::string body_)
        : status(status_)
        , type(std::move(type_))
        , body(std::move(body_))
    {
    }

    // A small html page: title as its title and heading, text as its only paragraph.
    static std::string Page(const std::string& title, const std::string& text);

    int status = 200;
    std::string type;
    std::string body;
    std::string encoding; // "gzip" when the body is compressed
};

}
