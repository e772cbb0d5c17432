#include "net/QueryText.h"

wxString QueryText::Encode(const wxString& value)
{
    static const char HEX[] = "0123456789ABCDEF";
    const wxScopedCharBuffer utf8 = value.utf8_str();
    wxString encoded;
    encoded.reserve(utf8.length() * 3);
    for ( size_t i = 0; i < utf8.length(); ++i )
    {
        const unsigned char c = static_cast<unsigned char>(utf8.data()[i]);
        if ( (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
             || c == '.' || c == '_' || c == '~' )
        {
            encoded += static_cast<char>(c);
        }
        else
        {
            encoded += '%';
            encoded += HEX[c >> 4];
            encoded += HEX[c & 0x0F];
        }
    }
    return encoded;
}
