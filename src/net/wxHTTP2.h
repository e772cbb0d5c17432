#pragma once

#include "net/HttpClient.h"

// An HTTP client that sends Basic authentication: with a user name set, every request carries
// "Authorization: Basic ..." (replaced, never duplicated, from one request to the next). It is a
// wxHTTP through our own client, which is safe on the worker thread that sends it.
class wxHTTP2 : public HttpClient
{
public:
    wxHTTP2();
    ~wxHTTP2() override;

    wxInputStream* GetInputStream(const wxString& path) override;

    // These hide the base class's own credentials, which it would send by itself.
    void SetUser(const wxString& user);
    void SetPassword(const wxString& password);

    // "Basic " and the encoded "user:password", as one header line; empty without a user name.
    static wxString MakeAuthorization(const wxString& user, const wxString& password);

private:
    wxString m_user;
    wxString m_password;
};
