#pragma once

#include "sitesim/Answer.h"
#include "sitesim/Request.h"

#include <mutex>
#include <string>
#include <vector>

namespace sitesim
{

// The sign-in: the account that may sign in, and the favourites it answers with.
class SignIn
{
public:
    // An empty user lets nobody in. mutex is the site's lock, which guards all of its parts.
    SignIn(const std::string& user, const std::string& password, const std::vector<std::string>& favorites,
           std::mutex& mutex);

    void SetAccount(const std::string& user, const std::string& password);
    void SetFavorites(const std::vector<std::string>& favorites);

    Answer SignInAnswer(const Request& request);

private:
    std::mutex& m_mutex;
    std::string m_user;
    std::string m_password;
    std::vector<std::string> m_favorites;
};

}
