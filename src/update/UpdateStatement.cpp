#include "update/UpdateStatement.h"

#include "shell/Version.h"

#include <wx/ffile.h>
#include <wx/tokenzr.h>

#include <sodium.h>

#include <cstring>
#include <vector>

namespace
{
const char* const SIGNATURE_WORD = "ed25519 ";
const char* const HEADING = "Parlo update";
const size_t SHA256_HEX_SIZE = 2 * crypto_hash_sha256_BYTES;

bool IsLowerHex(const std::string& text, size_t length)
{
    if ( text.size() != length )
        return false;
    for ( char c : text )
    {
        if ( !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) )
            return false;
    }
    return true;
}

bool IsNumber(const std::string& text)
{
    if ( text.empty() || text.size() > 18 )
        return false;
    for ( char c : text )
    {
        if ( c < '0' || c > '9' )
            return false;
    }
    return true;
}

// A version of three numbers, as the update script is asked with.
bool IsVersion(const wxString& text)
{
    const Version version(text);
    return version.GetString() == wxString::Format("%d.%d.%d", version.GetMajor(), version.GetMinor(),
                                                   version.GetRelease());
}
}

const char* UpdateStatement::GetRoleName(Role role)
{
    switch ( role )
    {
        case PLUGIN:
            return "plugin";
        case SKIN:
            return "skin";
        case CATALOG:
            return "mo";
        case MANIFEST:
            return "manifest";
        case ROLE_COUNT:
            break;
    }
    return "";
}

bool UpdateStatement::Read(const std::string& body, const unsigned char* publicKey, wxString& why)
{
    if ( sodium_init() < 0 )
    {
        why = "the signature checker cannot start";
        return false;
    }
    if ( body.size() > MAX_SIZE )
    {
        why = "the statement is too long";
        return false;
    }
    const size_t end = body.find('\n');
    const size_t wordLength = strlen(SIGNATURE_WORD);
    if ( end == std::string::npos || body.compare(0, wordLength, SIGNATURE_WORD) != 0 )
    {
        why = "the statement is not signed";
        return false;
    }
    const std::string signatureHex = body.substr(wordLength, end - wordLength);
    unsigned char signature[crypto_sign_BYTES];
    size_t signatureLength = 0;
    if ( !IsLowerHex(signatureHex, 2 * crypto_sign_BYTES)
         || sodium_hex2bin(signature, sizeof signature, signatureHex.data(), signatureHex.size(), nullptr,
                           &signatureLength, nullptr) != 0
         || signatureLength != sizeof signature )
    {
        why = "the statement's signature is damaged";
        return false;
    }
    const std::string text = body.substr(end + 1);
    if ( crypto_sign_verify_detached(signature, reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                                     publicKey) != 0 )
    {
        why = "the statement is not signed with the publisher's key";
        return false;
    }
    UpdateStatement read;
    if ( !read.ReadText(text, why) )
        return false;
    *this = read;
    return true;
}

bool UpdateStatement::ReadText(const std::string& text, wxString& why)
{
    std::vector<std::string> lines;
    size_t from = 0;
    while ( from < text.size() )
    {
        size_t end = text.find('\n', from);
        if ( end == std::string::npos )
            end = text.size();
        lines.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    if ( lines.empty() || lines[0] != HEADING )
    {
        why = "the statement is not an update's";
        return false;
    }
    for ( size_t i = 1; i < lines.size(); ++i )
    {
        std::vector<std::string> words;
        wxStringTokenizer tokens(wxString::FromUTF8(lines[i]), " ", wxTOKEN_STRTOK);
        while ( tokens.HasMoreTokens() )
            words.push_back(tokens.GetNextToken().ToStdString());
        if ( words.empty() )
            continue;
        if ( words[0] == "version" )
        {
            if ( words.size() != 2 || !IsVersion(words[1]) || !m_version.empty() )
            {
                why = "the statement's version cannot be read";
                return false;
            }
            m_version = words[1];
            continue;
        }
        for ( int role = 0; role < ROLE_COUNT; ++role )
        {
            if ( words[0] != GetRoleName(static_cast<Role>(role)) )
                continue;
            File& file = m_files[role];
            if ( words.size() != 3 || !IsNumber(words[1]) || !IsLowerHex(words[2], SHA256_HEX_SIZE) || file.named )
            {
                why = wxString::Format("the statement's line for the %s cannot be read", words[0]);
                return false;
            }
            file.named = true;
            file.size = std::stoull(words[1]);
            file.sha256 = words[2];
        }
        // Any other line is the publisher's to add: newer programs may read it.
    }
    if ( m_version.empty() || !m_files[PLUGIN].named )
    {
        why = "the statement names no version or no plug-in";
        return false;
    }
    return true;
}

bool UpdateStatement::Vouches(Role role, const wxString& path, wxString& why) const
{
    const File& file = m_files[role];
    if ( !file.named )
    {
        why = wxString::Format("the statement names no %s", GetRoleName(role));
        return false;
    }
    std::string sha256;
    unsigned long long size = 0;
    if ( !HashFile(path, sha256, size) )
    {
        why = "cannot read " + path;
        return false;
    }
    if ( size != file.size || sha256 != file.sha256 )
    {
        why = wxString::Format("the %s is not the one the statement names (%llu bytes, %llu named)",
                               GetRoleName(role), size, file.size);
        return false;
    }
    return true;
}

bool UpdateStatement::HashFile(const wxString& path, std::string& sha256, unsigned long long& size)
{
    if ( sodium_init() < 0 )
        return false;
    wxFFile file(path, "rb");
    if ( !file.IsOpened() )
        return false;
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    size = 0;
    std::vector<unsigned char> buffer(64 * 1024);
    for ( ;; )
    {
        const size_t read = file.Read(buffer.data(), buffer.size());
        if ( read == 0 )
            break;
        crypto_hash_sha256_update(&state, buffer.data(), read);
        size += read;
    }
    if ( file.Error() )
        return false;
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256_final(&state, digest);
    char hex[SHA256_HEX_SIZE + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    sha256 = hex;
    return true;
}
