// The run of a single-file package: the installer program with the
// package's files carried after its image. It checks what it carries,
// unpacks the package into a folder of its own, runs the package from
// there with the same command line, as the installer it unpacked (in this
// program: the single file is that installer's own program, and a second
// start of it would only cost time), removes the folder and ends with the
// package run's exit code. A program that carries nothing is the package's
// installer and runs as that.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>

namespace tarnex {

// Nothing when the program carries no payload; otherwise the whole run of
// the single file and its exit code: runPackage's, called once the package
// is unpacked with the context standing for the unpacked installer
// (SetCarriedPackage), or when the payload is refused 1620 in the quiet run
// (0 with a person at the screen, who was told).
std::optional<int> RunSingleFileIfCarried(HINSTANCE instance, const wchar_t* arguments,
                                          const std::function<int()>& runPackage);

}  // namespace tarnex
