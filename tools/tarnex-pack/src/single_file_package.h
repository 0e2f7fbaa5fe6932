// The single-file package: the installer program itself with the whole
// package folder carried after its image (tarnex/portable/
// single_file_payload.h), so that one signature covers every byte. Written
// from a package folder that WritePackage made, and checked by --verify.
#pragma once

#include <string>
#include <vector>

namespace pack {

class CodeSigner;

// Writes output from the sealed package in folder and the installer
// program at installer (its image without a seal or signature of its own),
// then signs it when signer is given. Files are streamed, never held
// whole. A package too large for the form is refused before output is
// created. False with why in error; nothing is then left at output.
bool WriteSingleFile(const std::wstring& folder, const std::wstring& installer, const std::wstring& output,
                     const CodeSigner* signer, std::wstring& error);

// Checks a single-file package: its signature, the index's description and
// installer, each payload file's bytes against the index, and the seal of
// the installer inside against the index. Each finding is one line of
// report; true when all holds.
bool VerifySingleFile(const std::wstring& path, std::vector<std::wstring>& report);

}  // namespace pack
