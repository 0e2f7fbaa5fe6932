#include "ui/free_space.h"

#include "services/message_box.h"
#include "ui/portable/size_text.h"

namespace tarnex {

std::int64_t GetFreeSpace(const wchar_t* rootPath) {
    // Quotas count: the caller's share, not the volume's total free space.
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(rootPath, &available, nullptr, nullptr)) return -1;
    return static_cast<std::int64_t>(available.QuadPart);
}

std::wstring FormatSize(std::int64_t bytes) {
    const SizeUnits units{LoadText(TextId::kSizeBytes), LoadText(TextId::kSizeGigabytes),
                          LoadText(TextId::kSizeMegabytes), LoadText(TextId::kSizeKilobytes)};
    return FormatSize(bytes, units);
}

}  // namespace tarnex
