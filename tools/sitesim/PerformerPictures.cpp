#include "sitesim/PerformerPictures.h"

#include "sitesim/ThumbnailMaker.h"
#include "sitesim/UrlText.h"

namespace sitesim
{

namespace
{
const size_t MAX_CACHED_THUMBNAILS = 4096;
}

PerformerPictures::PerformerPictures(std::mutex& mutex)
    : m_mutex(mutex)
{
}

Answer PerformerPictures::ThumbnailAnswer(const std::string& name)
{
    if ( !UrlText::IsPerformerName(name) )
        return {404, Answer::HTML_TYPE, Answer::Page("404 Not Found", "No such picture.")};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_thumbnails.find(name);
        if ( it != m_thumbnails.end() )
            return {200, Answer::JPEG_TYPE, it->second};
    }
    const std::string jpeg = ThumbnailMaker::Make(name);
    if ( jpeg.empty() )
        return {500, Answer::HTML_TYPE,
                Answer::Page("500 Internal Server Error", "The picture could not be made.")};
    std::lock_guard<std::mutex> lock(m_mutex);
    if ( m_thumbnails.size() >= MAX_CACHED_THUMBNAILS )
        m_thumbnails.clear();
    m_thumbnails[name] = jpeg;
    return {200, Answer::JPEG_TYPE, jpeg};
}

Answer PerformerPictures::PreviewAnswer(const Request& request)
{
    const std::string name = UrlText::EscapeHtml(UrlText::PercentDecode(request.query));
    const std::string title = name.empty() ? std::string("Lumora") : name + " - Lumora";
    std::string body = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
                       "</title></head>\n<body>\n";
    if ( name.empty() )
    {
        body += "<h1>Lumora</h1>\n<p>Pick a performer from the list.</p>\n";
    }
    else
    {
        body += "<h1>" + name + "</h1>\n";
        body += "<img src=\"/WebArchive/" + name + "/thumbs/LinkedImage.jpg\" width=\"120\" "
                "height=\"90\" alt=\"" + name + "\">\n";
        body += "<p>" + name + " is on Lumora. Free preview.</p>\n";
    }
    body += "</body></html>\n";
    return {200, Answer::HTML_TYPE, body};
}

}
