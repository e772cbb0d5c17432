#pragma once

#include <wx/arrstr.h>

// Reads the sign-in service's answer: one favourite per line, the first run of letters, digits
// and underscores of a line being the name. A line is read only when more of the body follows
// it, so the line that ends the body is never taken; each name is kept once, in the order of
// its first line.
class FavoritesParser
{
public:
    FavoritesParser() = delete;

    static wxArrayString Parse(const char* body, size_t size);
};
