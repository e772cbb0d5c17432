#pragma once

#include <map>
#include <string>

namespace sitesim
{

// The few text conversions the site needs for queries and pages.
class UrlText
{
public:
    // %XX sequences become bytes; '+' stays '+' (the plug-in sends its values unescaped, so a
    // '+' in a password is a '+'); a broken sequence is kept as it is.
    static std::string PercentDecode(const std::string& text);
    // "a=1&b=2" into decoded keys and values; a key without '=' gets an empty value; the
    // first occurrence of a key wins.
    static std::map<std::string, std::string> ParseQuery(const std::string& query);
    static std::string EscapeHtml(const std::string& text);
    // True for a non-empty name of letters, digits and underscores only.
    static bool IsPerformerName(const std::string& name);
};

}
