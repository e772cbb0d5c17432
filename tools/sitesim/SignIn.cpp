#include "sitesim/SignIn.h"

namespace sitesim
{

SignIn::SignIn(const std::string& user, const std::string& password, const std::vector<std::string>& favorites,
               std::mutex& mutex)
    : m_mutex(mutex)
    , m_user(user)
    , m_password(password)
    , m_favorites(favorites)
{
}

void SignIn::SetAccount(const std::string& user, const std::string& password)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_user = user;
    m_password = password;
}

void SignIn::SetFavorites(const std::vector<std::string>& favorites)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_favorites = favorites;
}

Answer SignIn::SignInAnswer(const Request& request)
{
    const auto user = request.params.find("username");
    const auto password = request.params.find("password");
    std::lock_guard<std::mutex> lock(m_mutex);
    if ( m_user.empty() || user == request.params.end() || password == request.params.end() ||
         user->second != m_user || password->second != m_password )
        return {401, std::string(), std::string()};
    std::string body;
    for ( const std::string& favorite : m_favorites )
        body += favorite + "\n";
    // Ends with an empty line, as the site's text answers do: a reader may leave the last
    // line of a body unread.
    body += "\n";
    return {200, Answer::TEXT_TYPE, body};
}

}
