#pragma once

#include <wx/string.h>

class wxWindow;

// With PARLO_SCREENSHOTS set to a folder, saves what window shows there as name, for the README;
// otherwise does nothing.
void Screenshot(wxWindow* window, const wxString& name);
