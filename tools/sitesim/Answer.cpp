#include "sitesim/Answer.h"

namespace sitesim
{

const char* const Answer::LIST_TYPE = "application/x-javascript";
const char* const Answer::HTML_TYPE = "text/html";
const char* const Answer::TEXT_TYPE = "text/plain";
const char* const Answer::JPEG_TYPE = "image/jpeg";
const char* const Answer::BINARY_TYPE = "application/octet-stream";

std::string Answer::Page(const std::string& title, const std::string& text)
{
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
           "</title></head>\n<body><h1>" + title + "</h1>\n<p>" + text + "</p>\n</body></html>\n";
}

}
