// The files a manifest names, seen through the file system of the machine
// that builds the package.
#pragma once

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

// Sets a file's last-write time to a local stamp (whole seconds).
bool SetLocalWriteTime(const std::wstring& path, const tarnex::FileStamp& stamp);

}  // namespace pack
