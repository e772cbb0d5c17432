#pragma once

#include "sitesim/Answer.h"
#include "sitesim/Request.h"

#include <map>
#include <mutex>
#include <string>

namespace sitesim
{

// The performers' pictures: each one's thumbnail, drawn once and then kept, and the preview page
// that shows it.
class PerformerPictures
{
public:
    // mutex is the site's lock, which guards all of its parts.
    explicit PerformerPictures(std::mutex& mutex);

    Answer ThumbnailAnswer(const std::string& name);
    static Answer PreviewAnswer(const Request& request);

private:
    std::mutex& m_mutex;
    std::map<std::string, std::string> m_thumbnails;
};

}
