#include "sitesim/WholeFile.h"

#include <fstream>

namespace sitesim
{

bool WholeFile::Read(const std::string& path, std::string& contents)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if ( !file )
        return false;
    const std::streamoff size = file.tellg();
    if ( size < 0 || !file.seekg(0) )
        return false;
    contents.resize(static_cast<size_t>(size));
    if ( size > 0 && !file.read(&contents[0], size) )
        return false;
    // A file that grew meanwhile is read as far as it was long; one that shrank fails above.
    return true;
}

}
