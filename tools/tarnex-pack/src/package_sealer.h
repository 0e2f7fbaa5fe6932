// The package's seal (tarnex/portable/package_seal.h) on the builder's
// side: the digests of a package folder, the seal block written at the end
// of the installer's copy before it is signed, and the check of a finished
// package (--verify).
#pragma once

#include <string>
#include <vector>

#include "portable/package_seal.h"

namespace pack {

// The name, size and SHA-256 of every file of folder but the one named
// except (the installer), in the order the folder lists them.
bool DigestFolder(const std::wstring& folder, const std::wstring& except, std::vector<tarnex::SealedFile>& files,
                  std::wstring& error);

// Replaces whatever seal and signature the program at path carries by the
// seal's block, so that a signature made afterwards covers it.
bool WriteSeal(const std::wstring& path, const tarnex::PackageSeal& seal, std::wstring& error);

// Checks the package in folder: its installer's seal file by file, and the
// installer's signature. Each finding is one line of report; true when the
// seal and the signature hold.
bool VerifyPackage(const std::wstring& folder, std::vector<std::wstring>& report);

}  // namespace pack
