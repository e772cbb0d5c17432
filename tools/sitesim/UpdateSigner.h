#pragma once

#include <string>

namespace sitesim
{

// Vouches for an update as its publisher does: a statement of the update's version and of the size
// and SHA-256 of each of its files, signed with an Ed25519 key, in the form the program reads
// (src/update/UpdateStatement.h).
class UpdateSigner
{
public:
    // The seed of the test key pair: it is public here, so it vouches for nothing a user installs.
    // Development builds of the program trust it (cmake/update.cmake holds its public half).
    static const char* const TEST_KEY_SEED;

    // The signed statement for the files (plug-in, skin, catalogue, manifest; an empty name, or
    // a companion that cannot be read, is left out), signed with the key grown from seedHex (64
    // hexadecimal digits). Empty when the plug-in cannot be read or the seed is not one.
    static std::string Sign(const std::string& version, const std::string& plugin, const std::string& skin,
                            const std::string& catalog, const std::string& manifest, const std::string& seedHex);
};

}
