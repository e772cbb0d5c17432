#include "sitesim/UrlText.h"

namespace sitesim
{

namespace
{
int HexValue(char c)
{
    if ( c >= '0' && c <= '9' )
        return c - '0';
    if ( c >= 'a' && c <= 'f' )
        return c - 'a' + 10;
    if ( c >= 'A' && c <= 'F' )
        return c - 'A' + 10;
    return -1;
}
}

std::string UrlText::PercentDecode(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for ( size_t i = 0; i < text.size(); ++i )
    {
        if ( text[i] == '%' && i + 2 < text.size() )
        {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if ( high >= 0 && low >= 0 )
            {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::map<std::string, std::string> UrlText::ParseQuery(const std::string& query)
{
    std::map<std::string, std::string> params;
    size_t start = 0;
    while ( start <= query.size() )
    {
        size_t end = query.find('&', start);
        if ( end == std::string::npos )
            end = query.size();
        const std::string pair = query.substr(start, end - start);
        if ( !pair.empty() )
        {
            const size_t equals = pair.find('=');
            const std::string key = PercentDecode(pair.substr(0, equals));
            const std::string value =
                equals == std::string::npos ? std::string() : PercentDecode(pair.substr(equals + 1));
            params.emplace(key, value);
        }
        start = end + 1;
    }
    return params;
}

std::string UrlText::EscapeHtml(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for ( const char c : text )
    {
        switch ( c )
        {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

bool UrlText::IsPerformerName(const std::string& name)
{
    if ( name.empty() )
        return false;
    for ( const char c : name )
    {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '_';
        if ( !ok )
            return false;
    }
    return true;
}

}
