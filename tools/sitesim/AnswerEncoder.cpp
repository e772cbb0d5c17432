#include "sitesim/AnswerEncoder.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace sitesim
{

namespace
{
// Shorter answers are not worth compressing: they would grow.
const size_t MIN_COMPRESSED_SIZE = 256;

// Whether an "Accept-Encoding" value takes gzip: named (or "*") without "q=0".
bool AcceptsGzip(const std::string& accepted)
{
    size_t start = 0;
    while ( start < accepted.size() )
    {
        size_t end = accepted.find(',', start);
        if ( end == std::string::npos )
            end = accepted.size();
        std::string item = accepted.substr(start, end - start);
        start = end + 1;
        std::transform(item.begin(), item.end(), item.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        item.erase(std::remove(item.begin(), item.end(), ' '), item.end());
        const std::string name = item.substr(0, item.find(';'));
        if ( name != "gzip" && name != "x-gzip" && name != "*" )
            continue;
        const size_t quality = item.find(";q=");
        return quality == std::string::npos || std::strtod(item.c_str() + quality + 3, nullptr) > 0;
    }
    return false;
}

// The site's text answers compress well; pictures and files do not.
bool IsCompressible(const std::string& type)
{
    return type == Answer::LIST_TYPE || type == Answer::HTML_TYPE || type == Answer::TEXT_TYPE;
}

std::string Gzip(const std::string& data)
{
    z_stream stream{};
    // 15 window bits, and 16 for the gzip wrapper.
    if ( deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK )
        return std::string();
    std::string compressed(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(&compressed[0]);
    stream.avail_out = static_cast<uInt>(compressed.size());
    const int result = deflate(&stream, Z_FINISH);
    compressed.resize(stream.total_out);
    deflateEnd(&stream);
    return result == Z_STREAM_END ? compressed : std::string();
}
}

Answer AnswerEncoder::Encoded(const Request& request, Answer answer)
{
    if ( !AcceptsGzip(request.Header("Accept-Encoding")) || !IsCompressible(answer.type) ||
         answer.body.size() < MIN_COMPRESSED_SIZE )
        return answer;
    std::string compressed = Gzip(answer.body);
    if ( compressed.empty() )
        return answer;
    answer.body.swap(compressed);
    answer.encoding = "gzip";
    return answer;
}

void AnswerEncoder::SetEncoding(httplib::Response& response, const Answer& answer)
{
    response.set_header("Vary", "Accept-Encoding");
    if ( !answer.encoding.empty() )
        response.set_header("Content-Encoding", answer.encoding);
}

}
