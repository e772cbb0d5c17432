#pragma once

#include <wx/string.h>

#include <string>

// What the publisher vouches for in an update: its version, and the size and SHA-256 of each file
// of it (plug-in, skin archive, catalogue, manifest), in a short text signed with Ed25519. The site
// serves it as one line "ed25519 SIGNATURE" (128 hexadecimal digits) followed by the text itself:
//
//     Parlo update
//     version 1.4.0
//     plugin SIZE SHA256
//     skin SIZE SHA256
//     mo SIZE SHA256
//     manifest SIZE SHA256
//
// A file the update does not bring has no line.
class UpdateStatement
{
public:
    enum Role
    {
        PLUGIN,
        SKIN,
        CATALOG,
        MANIFEST,
        ROLE_COUNT
    };

    // The most a statement may take, signature line included.
    static const size_t MAX_SIZE = 4096;
    // The length of a public key.
    static const size_t KEY_SIZE = 32;

    // Takes body as served; false, saying why, unless the publicKey signed it and it reads as a
    // statement. Nothing of it is taken then.
    bool Read(const std::string& body, const unsigned char* publicKey, wxString& why);

    const wxString& GetVersion() const { return m_version; }
    // Whether the file at path is the one the statement names for role, byte for byte as far as
    // its size and hash can tell; says why not.
    bool Vouches(Role role, const wxString& path, wxString& why) const;

    // The word a role goes by in a statement ("plugin", "skin", "mo", "manifest").
    static const char* GetRoleName(Role role);
    // The SHA-256 of the file at path in lower-case hexadecimal, and its size; false when it
    // cannot be read.
    static bool HashFile(const wxString& path, std::string& sha256, unsigned long long& size);

private:
    struct File
    {
        bool named = false;
        unsigned long long size = 0;
        std::string sha256;
    };

    bool ReadText(const std::string& text, wxString& why);

    wxString m_version;
    File m_files[ROLE_COUNT];
};
