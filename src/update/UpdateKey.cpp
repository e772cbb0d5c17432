#include "update/UpdateKey.h"

#include <sodium.h>

#include <cstring>

namespace
{
// Hexadecimal, from the build: the publisher's key (empty in a build without one), and the
// simulated site's test key.
const char* const RELEASE_KEY = PARLO_RELEASE_UPDATE_KEY;
const char* const TEST_KEY = PARLO_TEST_UPDATE_KEY;

bool FromHex(const char* hex, unsigned char key[UpdateStatement::KEY_SIZE])
{
    size_t length = 0;
    return sodium_init() >= 0
           && sodium_hex2bin(key, UpdateStatement::KEY_SIZE, hex, strlen(hex), nullptr, &length, nullptr) == 0
           && length == UpdateStatement::KEY_SIZE;
}
}

bool UpdateKey::Get(const wxFileName& application, unsigned char key[UpdateStatement::KEY_SIZE], wxString& why)
{
    if ( *RELEASE_KEY )
    {
        if ( FromHex(RELEASE_KEY, key) )
            return true;
        why = "the publisher's key this program was built with cannot be read";
        return false;
    }
    wxFileName marker(application);
    marker.SetExt("trust-test-key");
    if ( !marker.FileExists() )
    {
        why = "this program was built without a publisher's key, so nothing can vouch for an update";
        return false;
    }
    if ( !FromHex(TEST_KEY, key) )
    {
        why = "the test key cannot be read";
        return false;
    }
    return true;
}
