#pragma once

#include <wx/string.h>

// A certificate authority made for one test with the openssl program, in a folder of its own,
// with the certificates it signs for a test site. Its certificate is what the program under test
// is told to trust.
class TestAuthority
{
public:
    // Makes the authority's key and certificate in dir, under the given common name.
    TestAuthority(const wxString& dir, const wxString& name);

    bool IsOk() const { return m_ok; }
    // The authority's certificate (PEM): the store the program trusts.
    wxString GetCertificateFile() const { return m_dir + "/authority.pem"; }

    // Signs a certificate for a server, named by subjectAltName ("IP:127.0.0.1,DNS:localhost"),
    // and writes it and its key as BASE.pem and BASE.key in the folder; false on failure.
    bool Issue(const wxString& base, const wxString& subjectAltName);
    wxString GetCertificate(const wxString& base) const { return m_dir + "/" + base + ".pem"; }
    wxString GetKey(const wxString& base) const { return m_dir + "/" + base + ".key"; }

private:
    bool Run(const wxString& command) const;

    wxString m_dir;
    bool m_ok = false;
};
