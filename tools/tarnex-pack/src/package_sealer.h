// The package's seal (tarnex/portable/package_seal.h) on the builder's
// side: the digests of a package folder, the seal block written at the end
// of the installer's copy before it is signed, and the check of a finished
// package (--verify).
#pragma once

#include <cstdint>
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

// The program at path as the package ships it: its bytes without a
// certificate table and without a seal block (the directory entry of the
// table cleared).
bool ReadUnsealedProgram(const std::wstring& path, std::string& image, std::wstring& error);

// The package's installer in folder (the one program that carries a seal),
// its name and its seal; false when there is none.
bool FindSealedInstaller(const std::wstring& folder, std::wstring& name, tarnex::PackageSeal& seal);

// One line of report on the signature of the program at path (shown as
// name): not signed, signed by whom, or not matching its bytes; false when
// it does not match or cannot be checked.
bool ReportSignature(const std::wstring& path, const std::wstring& name, std::vector<std::wstring>& report);

// The line of report for a file whose bytes differ from what was sealed.
std::wstring DifferenceLine(const tarnex::SealedFile& sealed, std::uint64_t size, const tarnex::Sha256& digest);

// Checks the package in folder: its installer's seal file by file, and the
// installer's signature. Each finding is one line of report; true when the
// seal and the signature hold.
bool VerifyPackage(const std::wstring& folder, std::vector<std::wstring>& report);

}  // namespace pack
