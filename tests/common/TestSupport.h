#pragma once

#include <wx/string.h>

#include <functional>
#include <string>

// Shared by both test programs.
namespace TestSupport
{
// Turns the toolkit's asserts into test failures, from any thread.
void InstallAssertHandler();

// Runs pending events (and, where there is a GUI, idle work) until done() holds or
// timeoutMs passes; returns done()'s last answer. Never a bare sleep.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000);
// As WaitFor, running the toolkit's idle work each time, which deletes destroyed windows.
bool WaitIdle(const std::function<bool()>& done, int timeoutMs = 10000);

// The folder that holds Parlo, Parlo.so and the other build outputs.
wxString BuildDir();

// The bytes of a file, or "(missing)" when it cannot be read.
std::string FileContents(const wxString& path);

// A fresh empty folder under the system's temporary folder, removed by the caller.
wxString MakeTempDir();
void RemoveDir(const wxString& dir);
}
