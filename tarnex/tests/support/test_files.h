// Files and folders for the installer's tests: writing test packages,
// reading results back, clearing what a case left behind.
#pragma once

#include <string>

namespace testfiles {

// Writes the bytes, creating missing parent folders; a file that cannot be
// written fails the running test.
void WriteBytes(const std::wstring& path, const std::string& bytes);

// The whole file; "" when it does not exist or cannot be opened (files held
// open for writing by the code under test are read too).
std::string ReadBytes(const std::wstring& path);

bool Exists(const std::wstring& path);
bool IsFolder(const std::wstring& path);

// Deletes the folder with everything in it, read-only files included.
void RemoveTree(const std::wstring& folder);

}  // namespace testfiles
