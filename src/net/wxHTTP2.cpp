#include "net/wxHTTP2.h"

#include "net/Base64Encode.h"

wxHTTP2::wxHTTP2() = default;

wxHTTP2::~wxHTTP2() = default;

void wxHTTP2::SetUser(const wxString& user)
{
    m_user = user;
}

void wxHTTP2::SetPassword(const wxString& password)
{
    m_password = password;
}

wxString wxHTTP2::MakeAuthorization(const wxString& user, const wxString& password)
{
    if ( user.empty() )
        return wxString();
    // The buffer points into the string: the string must outlive it.
    const wxString joined = user + ":" + password;
    const wxScopedCharBuffer credentials = joined.utf8_str();
    wxString encoded = Base64Encode(credentials.data(), static_cast<unsigned int>(credentials.length()));
    // Long credentials get the encoder's line breaks, which would split the header in two.
    encoded.Replace("\r\n", wxEmptyString);
    return "Basic " + encoded;
}

wxInputStream* wxHTTP2::GetInputStream(const wxString& path)
{
    if ( !m_user.empty() )
        SetHeader("Authorization", MakeAuthorization(m_user, m_password));
    return HttpClient::GetInputStream(path);
}
