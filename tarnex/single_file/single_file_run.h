// The run of a single-file package: the installer program with the
// package's files carried after its image. It checks what it carries,
// unpacks the package into a folder of its own, runs the package's
// installer from there with the same command line, waits for it, removes
// the folder and ends with the installer's exit code. A program that
// carries nothing is the package's installer and runs as that.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tarnex {

// Nothing when the program carries no payload; otherwise the whole run of
// the single file and its exit code: the inner installer's, or when the
// payload is refused 1620 in the quiet run (0 with a person at the screen,
// who was told).
std::optional<int> RunSingleFileIfCarried(HINSTANCE instance, const wchar_t* arguments);

// In the package's installer a single file started: the single file's own
// folder, with a backslash, where the package came from. Nothing in any
// other run (the program is not in an unpacking folder, or was not started
// by a single file).
std::optional<std::wstring> SingleFileSourceFolder();

}  // namespace tarnex
