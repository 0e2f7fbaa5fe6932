#include "description/portable/file_list_index.h"

namespace tarnex {
namespace {

std::wstring FileKey(const FileRecord& record) {
    std::wstring key(record.SourceName);
    key += L'\0';  // no name holds a terminator, so the pair is unambiguous
    key += record.TargetFolder;
    return key;
}

}  // namespace

void FileListIndex::Reset() {
    entries_.clear();
    covered_ = 0;
    largest_ = -1;
}

void FileListIndex::CatchUp(const std::vector<FileRecord>& fileList) {
    if (fileList.size() < covered_) Reset();
    for (; covered_ < fileList.size(); ++covered_) {
        entries_.emplace(FileKey(fileList[covered_]), covered_);  // the first of equal entries wins
        if (fileList[covered_].Number > largest_) largest_ = fileList[covered_].Number;
    }
}

std::ptrdiff_t FileListIndex::Find(const std::vector<FileRecord>& fileList, const FileRecord& record) {
    CatchUp(fileList);
    const std::wstring key = FileKey(record);
    auto found = entries_.find(key);
    if (found != entries_.end() && FileKey(fileList[found->second]) != key) {
        // An indexed entry was changed in place (step 1 rewrites folders).
        Reset();
        CatchUp(fileList);
        found = entries_.find(key);
    }
    return found == entries_.end() ? -1 : static_cast<std::ptrdiff_t>(found->second);
}

}  // namespace tarnex
