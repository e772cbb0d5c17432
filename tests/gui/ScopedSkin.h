#pragma once

#include "common/ScopedProgramName.h"
#include "common/TestSupport.h"

// Every image handler there is, the standard BMP one included, and the handler for local
// files: what the window tests start with, and what a released skin store takes from the process.
void AddAllHandlers();

// Runs what is in its scope as the given program, so that the next skin store reads the archive
// beside it; at the end that store is released and the process gets back its program name and
// the handlers the store took with it.
class ScopedSkin
{
public:
    explicit ScopedSkin(const wxString& program = TestSupport::BuildDir() + "/Parlo");
    ~ScopedSkin();

    ScopedSkin(const ScopedSkin&) = delete;
    ScopedSkin& operator=(const ScopedSkin&) = delete;

private:
    ScopedProgramName m_program;
};
