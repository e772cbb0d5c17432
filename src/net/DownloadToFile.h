#pragma once

#include <wx/string.h>

// Stores the body of url in the file at path, blocking. True only when the server declared the
// body as exactly "application/octet-stream" and the file holds exactly "Content-Length" bytes;
// on false nothing new is left at path (a file that was there before stays as it was). With
// maxBytes set, a body declared longer than that is not taken at all.
bool DownloadToFile(const wxString& url, const wxString& path, long long maxBytes = -1);
