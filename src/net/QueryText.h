#pragma once

#include <wx/string.h>

// Values put into a URL's query must reach the server as typed: a "&", "#", "+", "%", a blank
// or a line break would otherwise change the request or break it.
class QueryText
{
public:
    QueryText() = delete;

    // Percent-encodes the UTF-8 bytes of value, all but letters, digits, "-", ".", "_" and "~",
    // so that plain letters and digits go out unchanged.
    static wxString Encode(const wxString& value);
};
