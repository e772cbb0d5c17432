#pragma once

#include <wx/string.h>

// Base64 with the standard alphabet and "=" fill, and a CR LF after every 72 characters
// written (so the text ends with CR LF when its length is a multiple of 72). A header
// value cannot carry those breaks: strip them there.
wxString Base64Encode(const void* data, unsigned int length);
