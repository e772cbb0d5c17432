#include "sitesim/TlsContext.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace sitesim
{

namespace
{
std::string LastError()
{
    char text[256] = {0};
    ERR_error_string_n(ERR_get_error(), text, sizeof(text));
    ERR_clear_error();
    return text;
}
}

TlsContext::TlsContext(const std::string& certificateFile, const std::string& keyFile)
{
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if ( !context )
    {
        m_why = LastError();
        return;
    }
    if ( SSL_CTX_use_certificate_chain_file(context, certificateFile.c_str()) != 1 )
        m_why = certificateFile + ": " + LastError();
    else if ( SSL_CTX_use_PrivateKey_file(context, keyFile.c_str(), SSL_FILETYPE_PEM) != 1 )
        m_why = keyFile + ": " + LastError();
    else if ( SSL_CTX_check_private_key(context) != 1 )
        m_why = keyFile + " is not the key of " + certificateFile;
    if ( !m_why.empty() )
    {
        SSL_CTX_free(context);
        return;
    }
    // Writes go out as far as the connection takes them; the caller comes back for the rest,
    // perhaps from another place in its buffer.
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    m_context = context;
}

TlsContext::~TlsContext()
{
    SSL_CTX_free(m_context);
}

SSL* TlsContext::NewSession(int sock) const
{
    if ( !m_context )
        return nullptr;
    SSL* session = SSL_new(m_context);
    if ( session && SSL_set_fd(session, sock) != 1 )
    {
        SSL_free(session);
        return nullptr;
    }
    return session;
}

}
