// The files a manifest names, seen through the file system of the machine
// that builds the package.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "package_plan.h"

namespace pack {

class WindowsFileSource : public FileSource {
public:
    bool IsFolder(const std::wstring& path) override;
    bool Facts(const std::wstring& path, FileFacts& facts) override;
    bool ListFiles(const std::wstring& folder, std::vector<std::wstring>& files) override;
};

// The current local time, whole seconds, as a file record holds it.
tarnex::FileStamp LocalNow();

// The whole file into bytes; false when it cannot be read or is larger
// than limit bytes.
bool ReadWholeFile(const std::wstring& path, std::string& bytes, std::uint64_t limit);

// Positioned reads and writes on an open file, for files too large to hold
// in memory. ReadAt gives fewer bytes than asked only at the file's end.
bool FileSizeOf(HANDLE file, std::uint64_t& size);
bool ReadAt(HANDLE file, std::uint64_t offset, char* bytes, DWORD size, DWORD& read);
bool WriteAt(HANDLE file, std::uint64_t offset, std::string_view bytes);
// Cuts the file at size.
bool TruncateAt(HANDLE file, std::uint64_t size);

// Removes folder and everything below it, as far as it can.
void RemoveTree(const std::wstring& folder);

// A folder removed with everything below it when this goes, however the
// run ends; an empty path stands for none.
class TemporaryFolder {
public:
    explicit TemporaryFolder(std::wstring path) : path_(std::move(path)) {}
    ~TemporaryFolder() {
        if (!path_.empty()) RemoveTree(path_);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

private:
    std::wstring path_;
};

// Sets a file's last-write time to a local stamp (whole seconds).
bool SetLocalWriteTime(const std::wstring& path, const tarnex::FileStamp& stamp);

}  // namespace pack
