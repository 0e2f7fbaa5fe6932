// Files and folders for the installer's tests: writing test packages,
// reading results back, scratch folders, clearing what a case left behind.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testfiles {

// A local date and time as the UTC file time a cabinet's stamp gives.
FILETIME CabinetTimeUtc(int year, int month, int day, int hour, int minute, int second);

// Writes the bytes, creating missing parent folders; a file that cannot be
// written fails the running test.
void WriteBytes(const std::wstring& path, const std::string& bytes);

// The whole file; "" when it does not exist or cannot be opened (files held
// open for writing by the code under test are read too; one held for itself
// alone is waited for a quarter of a second).
std::string ReadBytes(const std::wstring& path);

// The text as a UTF-16 little-endian file holds it, byte-order mark first
// (Notepad's "Unicode").
std::string Utf16File(const std::wstring& text);

// A UTF-16 text file without byte-order mark (the setup log, reports of
// helper programs); "" when it cannot be read.
std::wstring ReadUtf16(const std::wstring& path);

bool Exists(const std::wstring& path);
// Polls until the path is gone; false when it is still there after timeoutMs.
bool WaitUntilGone(const std::wstring& path, unsigned timeoutMs = 20000);

// The names of the files (not folders) directly in folder (ending in "\"),
// in the order of their names.
std::vector<std::wstring> FilesIn(const std::wstring& folder);
// The self-removal raises this process so its batch waits for it to end;
// a test that ran it puts the process and the thread back to normal.
void RestoreNormalPriority();
bool IsFolder(const std::wstring& path);

// Deletes the folder with everything in it, read-only files included.
void RemoveTree(const std::wstring& folder);

// The test program's full path, and its folder with a backslash.
std::wstring TestProgramPath();
std::wstring TestProgramFolder();

// A fresh, empty folder under the temp folder, named after tag and unique
// to the process and the call; ends in a backslash.
std::wstring MakeScratchFolder(const std::wstring& tag);

// A MakeScratchFolder folder, removed with everything in it at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& tag) : path_(MakeScratchFolder(tag)) {}
    ~ScratchFolder() { RemoveTree(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + name; }

private:
    std::wstring path_;
};

}  // namespace testfiles
