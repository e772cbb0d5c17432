#include "ScopedSkin.h"

#include "skin/Skin.h"

#include <wx/filesys.h>
#include <wx/image.h>
#include <wx/log.h>

void AddAllHandlers()
{
    // The toolkit notes every handler that is already there.
    wxLogNull quiet;
    wxImage::InitStandardHandlers();
    wxInitAllImageHandlers();
    if ( !wxFileSystem::HasHandlerForPath("/") )
        wxFileSystem::AddHandler(new wxLocalFSHandler);
}

ScopedSkin::ScopedSkin(const wxString& program)
    : m_program(program)
{
    delete Skin::GetInstance();
}

ScopedSkin::~ScopedSkin()
{
    delete Skin::GetInstance();
    AddAllHandlers();
}
