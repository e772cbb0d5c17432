#pragma once

#include <wx/defs.h>

class wxFileName;

// Asked by the host, on its main thread: downloads a newer plug-in library when the site offers
// one and the user agrees, and returns its name (an object of the plug-in's own, valid until the
// next call), or null. Companion files fetched with it take effect at the next call.
extern "C" WXEXPORT wxFileName* GetNewPluginFileName();
