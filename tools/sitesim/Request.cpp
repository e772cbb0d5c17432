#include "sitesim/Request.h"

#include <algorithm>
#include <cctype>

namespace sitesim
{

std::string Request::Header(const std::string& name) const
{
    for ( const auto& header : headers )
    {
        if ( header.first.size() == name.size() &&
             std::equal(header.first.begin(), header.first.end(), name.begin(), [](char a, char b) {
                 return std::tolower(static_cast<unsigned char>(a)) ==
                        std::tolower(static_cast<unsigned char>(b));
             }) )
            return header.second;
    }
    return std::string();
}

}
