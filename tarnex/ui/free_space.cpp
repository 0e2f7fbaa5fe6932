#include "ui/free_space.h"

namespace tarnex {

std::int64_t GetFreeSpace(const wchar_t* rootPath) {
    // Quotas count: the caller's share, not the volume's total free space.
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(rootPath, &available, nullptr, nullptr)) return -1;
    return static_cast<std::int64_t>(available.QuadPart);
}

}  // namespace tarnex
