// Writes a planned package: everything goes into a work folder beside the
// output folder, which is renamed into place only when all is written, so
// a failure leaves nothing behind.
#pragma once

#include <windows.h>

#include <string>

#include "manifest.h"
#include "package_plan.h"

namespace pack {

// The INF files' encoding when the manifest names no CodePage: UTF-16
// little-endian with a byte-order mark, which the setup API reads the same
// on every system.
constexpr UINT kUtf16Inf = 1200;

// The INF text in the package's code page (kUtf16Inf: with its byte-order
// mark); false when a character has no spelling there.
bool EncodeInf(const std::wstring& text, UINT codePage, std::string& bytes);

class CodeSigner;

// False with what went wrong in error; the output folder then does not exist.
// The installer's copy carries the package's seal, and signer's signature
// when one is given.
bool WritePackage(const Manifest& manifest, PackagePlan& plan, UINT codePage, const std::wstring& outputFolder,
                  const CodeSigner* signer, std::wstring& error);

}  // namespace pack
