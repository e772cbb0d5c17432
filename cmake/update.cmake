# An update is installed only when it is signed with the publisher's Ed25519 key. A build for
# release is configured with the public half of that key:
#     cmake -DPARLO_UPDATE_KEY=<64 hexadecimal digits> ...
# A build without one holds the simulated site's test key instead and trusts it only where it was
# built, beside the file Parlo.trust-test-key, which is never installed (src/update/UpdateKey.h).
set(PARLO_UPDATE_KEY "" CACHE STRING
    "The publisher's public Ed25519 key for signed updates, in hexadecimal (empty: a development build)")
if(PARLO_UPDATE_KEY AND NOT PARLO_UPDATE_KEY MATCHES "^[0-9a-fA-F]+$")
    message(FATAL_ERROR "PARLO_UPDATE_KEY must be a public Ed25519 key in hexadecimal (64 digits)")
endif()
string(LENGTH "${PARLO_UPDATE_KEY}" key_length)
if(PARLO_UPDATE_KEY AND NOT key_length EQUAL 64)
    message(FATAL_ERROR "PARLO_UPDATE_KEY must be a public Ed25519 key in hexadecimal (64 digits)")
endif()
string(TOLOWER "${PARLO_UPDATE_KEY}" PARLO_UPDATE_KEY_HEX)

# The public half of a test key, whose secret half the simulated site signs with
# (tools/sitesim/TestUpdateKey.cpp). Anyone can sign with it: it vouches for nothing a user installs.
set(PARLO_TEST_UPDATE_KEY_HEX 1d5dd691e48c369caa5d8b4dd136f4b7ac5bbaaf9e4c33ea7c888b4cf94d620a)

set(PARLO_TEST_KEY_MARKER ${CMAKE_BINARY_DIR}/Parlo.trust-test-key)
if(PARLO_UPDATE_KEY_HEX)
    file(REMOVE ${PARLO_TEST_KEY_MARKER})
else()
    file(WRITE ${PARLO_TEST_KEY_MARKER}
        "This development build of Parlo installs updates signed with the simulated site's test key.\n"
        "A build for users is made with -DPARLO_UPDATE_KEY=<the publisher's public key>.\n")
endif()

# Signatures and hashes come from libsodium.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET GLOBAL libsodium)
