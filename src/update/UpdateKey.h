#pragma once

#include <wx/filename.h>
#include <wx/string.h>

#include "update/UpdateStatement.h"

// The one key an update must be signed with. A build for release holds its publisher's public
// key. A build made without one holds the test key that the simulated site signs with, and trusts
// it only where that build was made: beside its own program there, and beside the copies its tests
// make, stands the file named like the program with the extension "trust-test-key". Installed
// (which copies no such file), it trusts no key and offers no self-update.
class UpdateKey
{
public:
    // The key for the program at application; false, saying why, when there is none.
    static bool Get(const wxFileName& application, unsigned char key[UpdateStatement::KEY_SIZE], wxString& why);
};
