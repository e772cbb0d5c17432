#pragma once

#include <wx/string.h>

// Stores the body of url in the file at path, blocking. True only when the server declared the
// body as exactly "application/octet-stream" and the file holds exactly "Content-Length" bytes;
// on false no file is left at path once it was touched (a file there before is gone too).
bool DownloadToFile(const wxString& url, const wxString& path);
