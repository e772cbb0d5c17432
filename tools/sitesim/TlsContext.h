#pragma once

#include <string>

// As OpenSSL declares them.
typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace sitesim
{

// What the site needs to answer https: its certificate chain and private key, both PEM files.
class TlsContext
{
public:
    TlsContext(const std::string& certificateFile, const std::string& keyFile);
    ~TlsContext();

    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    // False when the files could not be read or do not belong together; Why says why.
    bool IsOk() const { return m_context != nullptr; }
    const std::string& Why() const { return m_why; }

    // A server session over the connected socket, for the caller to free; null on failure.
    SSL* NewSession(int sock) const;

private:
    SSL_CTX* m_context = nullptr;
    std::string m_why;
};

}
