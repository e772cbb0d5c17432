// sign-update: the publisher's side of signed updates. Makes a key pair, and signs the statement
// that the update script serves with an update ("&type=statement").
#include "sitesim/UpdateSigner.h"

#include <sodium.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace
{
const char* const USAGE =
    "usage: sign-update --new-key SECRET_FILE\n"
    "       sign-update SECRET_FILE VERSION PLUGIN [SKIN [CATALOGUE [MANIFEST]]]\n"
    "\n"
    "The first form makes a key pair: its secret half goes into SECRET_FILE (readable by you only;\n"
    "it never leaves your hands), its public half is printed, to be built into the program with\n"
    "cmake -DPARLO_UPDATE_KEY=<public key>.\n"
    "The second prints the signed statement for an update of version VERSION made of these files\n"
    "(\"\" for a file the update does not bring): the update script serves it for \"&type=statement\".\n";

int Fail(const std::string& message)
{
    std::fprintf(stderr, "sign-update: %s\n", message.c_str());
    return 1;
}

int NewKey(const std::string& path)
{
    unsigned char seed[crypto_sign_SEEDBYTES];
    randombytes_buf(seed, sizeof seed);
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char secretKey[crypto_sign_SECRETKEYBYTES];
    crypto_sign_seed_keypair(publicKey, secretKey, seed);
    char seedHex[2 * sizeof seed + 1];
    char publicHex[2 * sizeof publicKey + 1];
    sodium_bin2hex(seedHex, sizeof seedHex, seed, sizeof seed);
    sodium_bin2hex(publicHex, sizeof publicHex, publicKey, sizeof publicKey);
    sodium_memzero(seed, sizeof seed);
    sodium_memzero(secretKey, sizeof secretKey);
    const mode_t previous = umask(077);
    std::ofstream file(path, std::ios::trunc);
    file << seedHex << "\n";
    umask(previous);
    sodium_memzero(seedHex, sizeof seedHex);
    if ( !file )
        return Fail("cannot write " + path);
    std::printf("%s\n", publicHex);
    return 0;
}
}

int main(int argc, char** argv)
{
    if ( sodium_init() < 0 )
        return Fail("libsodium cannot start");
    if ( argc == 3 && std::string(argv[1]) == "--new-key" )
        return NewKey(argv[2]);
    if ( argc < 4 || argc > 7 )
    {
        std::fputs(USAGE, stderr);
        return 2;
    }
    std::string seed;
    std::ifstream(argv[1]) >> seed;
    const std::string files[4] = { argv[3], argc > 4 ? argv[4] : "", argc > 5 ? argv[5] : "", argc > 6 ? argv[6] : "" };
    for ( const std::string& file : files )
    {
        if ( !file.empty() && !std::ifstream(file, std::ios::binary) )
            return Fail("cannot read " + file);
    }
    const std::string statement = sitesim::UpdateSigner::Sign(argv[2], files[0], files[1], files[2], files[3], seed);
    if ( statement.empty() )
        return Fail("cannot sign: the secret file holds no key, or the plug-in cannot be read");
    std::fputs(statement.c_str(), stdout);
    return 0;
}
