#include "sitesim/SiteRoutes.h"

#include "sitesim/PerformerList.h"
#include "sitesim/PerformerPictures.h"
#include "sitesim/SignIn.h"
#include "sitesim/UpdateOffer.h"
#include "sitesim/UrlText.h"

namespace sitesim
{

const char* const SiteRoutes::LIST_PATH = "/include/js/online_performers.js";
const char* const SiteRoutes::SIGN_IN_PATH = "/tovrik";
const char* const SiteRoutes::PREVIEW_PATH = "/preview.shtml";
const char* const SiteRoutes::UPDATE_PATH = "/cgi-bin/app/update.cgi";

namespace
{
const char* const THUMB_PREFIX = "/WebArchive/";
const char* const THUMB_SUFFIX = "/thumbs/LinkedImage.jpg";

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// "NAME" of "/WebArchive/NAME/thumbs/LinkedImage.jpg", or empty for other paths.
bool ThumbnailName(const std::string& path, std::string& name)
{
    if ( !StartsWith(path, THUMB_PREFIX) || !EndsWith(path, THUMB_SUFFIX) )
        return false;
    const size_t start = std::char_traits<char>::length(THUMB_PREFIX);
    const size_t end = path.size() - std::char_traits<char>::length(THUMB_SUFFIX);
    name = end > start ? path.substr(start, end - start) : std::string();
    return true;
}
}

SiteRoutes::SiteRoutes(PerformerList& list, SignIn& signIn, PerformerPictures& pictures, UpdateOffer& update)
    : m_list(list)
    , m_signIn(signIn)
    , m_pictures(pictures)
    , m_update(update)
{
}

Answer SiteRoutes::MakeAnswer(const Request& request)
{
    if ( request.method != "GET" && request.method != "HEAD" )
        return {405, Answer::HTML_TYPE, Answer::Page("405 Method Not Allowed", "Only GET is served here.")};

    std::string name;
    if ( request.path == LIST_PATH )
        return m_list.ListAnswer();
    if ( request.path == SIGN_IN_PATH )
        return m_signIn.SignInAnswer(request);
    if ( ThumbnailName(request.path, name) )
        return m_pictures.ThumbnailAnswer(name);
    if ( request.path == PREVIEW_PATH )
        return PerformerPictures::PreviewAnswer(request);
    if ( request.path == UPDATE_PATH )
        return m_update.UpdateAnswer(request);
    return {404, Answer::HTML_TYPE,
            Answer::Page("404 Not Found", "There is nothing at " + UrlText::EscapeHtml(request.path) + ".")};
}

std::string SiteRoutes::NormalType(const Request& request)
{
    std::string name;
    if ( request.path == LIST_PATH )
        return Answer::LIST_TYPE;
    if ( request.path == SIGN_IN_PATH )
        return Answer::TEXT_TYPE;
    if ( ThumbnailName(request.path, name) && UrlText::IsPerformerName(name) )
        return Answer::JPEG_TYPE;
    if ( request.path == UPDATE_PATH )
        return m_update.NormalType(request);
    return Answer::HTML_TYPE;
}

}
