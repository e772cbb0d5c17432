// Feeds arbitrary bytes to the performer list parser: it must neither crash nor hang, and
// what it returns must be a list keyed by its users' names.
#include "sync/PerformerListParser.h"

#include <wx/init.h>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static wxInitializer initializer;
    return initializer.IsOk() ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PerformerListParser parser;
    UserList list;
    if ( parser.Parse(reinterpret_cast<const char*>(data), size, list) != PerformerListParser::COMPLETE )
        std::abort();
    for ( UserList::const_iterator it = list.begin(); it != list.end(); ++it )
    {
        const int status = it->second.GetStatus();
        if ( it->first != it->second.GetName() || it->first.empty() || (status & ~0x1F) != 0 )
            std::abort();
    }
    return 0;
}
