#include "sitesim/UpdateSigner.h"

#include "sitesim/WholeFile.h"

#include <sodium.h>

namespace sitesim
{

const char* const UpdateSigner::TEST_KEY_SEED = "d53708b8369bfeb4eaecc6d069d66d93accc5bcb16e76f4b513df9c0ac3db310";

namespace
{
std::string Hex(const unsigned char* data, size_t size)
{
    std::string hex(2 * size + 1, '\0');
    sodium_bin2hex(&hex[0], hex.size(), data, size);
    hex.pop_back();
    return hex;
}

// "ROLE SIZE SHA256\n" for the file at path; false when it cannot be read.
bool FileLine(const char* role, const std::string& path, std::string& line)
{
    std::string contents;
    if ( !WholeFile::Read(path, contents) )
        return false;
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(contents.data()), contents.size());
    line = std::string(role) + " " + std::to_string(contents.size()) + " " + Hex(digest, sizeof digest) + "\n";
    return true;
}
}

std::string UpdateSigner::Sign(const std::string& version, const std::string& plugin, const std::string& skin,
                               const std::string& catalog, const std::string& manifest, const std::string& seedHex)
{
    unsigned char seed[crypto_sign_SEEDBYTES];
    size_t seedLength = 0;
    if ( sodium_init() < 0 || seedHex.size() != 2 * sizeof seed
         || sodium_hex2bin(seed, sizeof seed, seedHex.data(), seedHex.size(), nullptr, &seedLength, nullptr) != 0
         || seedLength != sizeof seed )
        return std::string();
    std::string statement = "Parlo update\nversion " + version + "\n";
    const std::pair<const char*, const std::string*> files[] = {
        { "plugin", &plugin }, { "skin", &skin }, { "mo", &catalog }, { "manifest", &manifest } };
    for ( const auto& file : files )
    {
        if ( file.second->empty() )
            continue;
        // A companion the site cannot read is not offered either; without the plug-in there is
        // no update at all.
        std::string line;
        if ( FileLine(file.first, *file.second, line) )
            statement += line;
        else if ( file.second == &plugin )
            return std::string();
    }
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char secretKey[crypto_sign_SECRETKEYBYTES];
    crypto_sign_seed_keypair(publicKey, secretKey, seed);
    unsigned char signature[crypto_sign_BYTES];
    crypto_sign_detached(signature, nullptr, reinterpret_cast<const unsigned char*>(statement.data()),
                         statement.size(), secretKey);
    sodium_memzero(secretKey, sizeof secretKey);
    return "ed25519 " + Hex(signature, sizeof signature) + "\n" + statement;
}

}
