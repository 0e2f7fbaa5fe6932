// Lookup of the package-wide file table by SourceName and TargetFolder.
// Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "description/component_record.h"
#include "portable/section_records.h"

namespace tarnex {

// FileList entries by SourceName and TargetFolder, and the largest Number,
// so that adding a file costs the same however long the list is. It follows
// the list by itself: entries appended by others are taken in on the next
// use, and a list that shrank or whose indexed entries changed is indexed
// afresh.
class FileListIndex {
public:
    // The entry with the same SourceName and TargetFolder, or -1.
    std::ptrdiff_t Find(const std::vector<FileRecord>& fileList, const FileRecord& record);
    std::int32_t NextNumber() const { return largest_ + 1; }

private:
    void Reset();
    void CatchUp(const std::vector<FileRecord>& fileList);

    std::unordered_map<std::wstring, FileRef> entries_;
    std::size_t covered_ = 0;
    std::int32_t largest_ = -1;
};

}  // namespace tarnex
