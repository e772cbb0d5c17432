#pragma once

#include <wx/toplevel.h>

#include <vector>

// Every top-level window of the given kind that still exists, those about to be deleted
// included.
template <class Window>
std::vector<Window*> TopWindows()
{
    std::vector<Window*> found;
    for ( wxWindow* window : wxTopLevelWindows )
    {
        if ( Window* wanted = dynamic_cast<Window*>(window) )
            found.push_back(wanted);
    }
    return found;
}
