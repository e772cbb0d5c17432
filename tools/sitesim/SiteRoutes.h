#pragma once

#include "sitesim/Answer.h"
#include "sitesim/Request.h"

#include <string>

namespace sitesim
{

class PerformerList;
class PerformerPictures;
class SignIn;
class UpdateOffer;

// The site's paths, and which part answers each of them.
class SiteRoutes
{
public:
    static const char* const LIST_PATH;
    static const char* const SIGN_IN_PATH;
    static const char* const PREVIEW_PATH;
    static const char* const UPDATE_PATH;

    SiteRoutes(PerformerList& list, SignIn& signIn, PerformerPictures& pictures, UpdateOffer& update);

    // The answer the request's path has when nothing spoils it.
    Answer MakeAnswer(const Request& request);
    // The Content-Type of that answer, without making it.
    std::string NormalType(const Request& request);

private:
    PerformerList& m_list;
    SignIn& m_signIn;
    PerformerPictures& m_pictures;
    UpdateOffer& m_update;
};

}
