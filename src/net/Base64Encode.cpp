#include "net/Base64Encode.h"

namespace
{
const char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const unsigned int LINE_LENGTH = 72;
}

wxString Base64Encode(const void* data, unsigned int length)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    wxString text;
    text.reserve(length * 4 / 3 + length / 25);
    unsigned int column = 0;
    auto emit = [&text, &column](char c) {
        text += c;
        if ( ++column == LINE_LENGTH )
        {
            text += "\r\n";
            column = 0;
        }
    };

    for ( unsigned int i = 0; i < length; i += 3 )
    {
        const bool hasB1 = i + 1 < length;
        const bool hasB2 = i + 2 < length;
        const unsigned char b0 = bytes[i];
        const unsigned char b1 = hasB1 ? bytes[i + 1] : 0;
        const unsigned char b2 = hasB2 ? bytes[i + 2] : 0;
        emit(ALPHABET[b0 >> 2]);
        emit(ALPHABET[((b0 & 0x03) << 4) | (b1 >> 4)]);
        emit(hasB1 ? ALPHABET[((b1 & 0x0F) << 2) | (b2 >> 6)] : '=');
        emit(hasB2 ? ALPHABET[b2 & 0x3F] : '=');
    }
    return text;
}
