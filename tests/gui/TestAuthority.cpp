#include "TestAuthority.h"

#include <cstdlib>
#include <fstream>

namespace
{
// Elliptic-curve keys: made in an instant.
const char KEY[] = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
}

TestAuthority::TestAuthority(const wxString& dir, const wxString& name)
    : m_dir(dir)
{
    m_ok = Run(wxString::Format("openssl req -x509 %s -keyout '%s/authority.key' -out '%s' -days 2 -subj '/CN=%s'",
                                KEY, m_dir, GetCertificateFile(), name));
}

bool TestAuthority::Issue(const wxString& base, const wxString& subjectAltName)
{
    const wxString extensions = m_dir + "/" + base + ".ext";
    std::ofstream(extensions.ToStdString()) << "basicConstraints=CA:FALSE\n"
                                            << "keyUsage=digitalSignature,keyEncipherment\n"
                                            << "extendedKeyUsage=serverAuth\n"
                                            << "subjectAltName=" << subjectAltName.ToStdString() << "\n";
    const wxString request = m_dir + "/" + base + ".csr";
    return m_ok
           && Run(wxString::Format("openssl req %s -keyout '%s' -out '%s' -subj '/CN=%s'", KEY, GetKey(base),
                                   request, base))
           && Run(wxString::Format("openssl x509 -req -in '%s' -CA '%s' -CAkey '%s/authority.key' -CAcreateserial "
                                   "-out '%s' -days 2 -extfile '%s'",
                                   request, GetCertificateFile(), m_dir, GetCertificate(base), extensions));
}

bool TestAuthority::Run(const wxString& command) const
{
    const wxString quiet = command + " >'" + m_dir + "/openssl.log' 2>&1";
    return std::system(quiet.utf8_str().data()) == 0;
}
