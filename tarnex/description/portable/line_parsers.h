// Field splitting of the record lines of install sections, of
// SourceDisksFiles values and of DestinationDirs values. Portable.
//
// Fixed text fields are the package format's capacities. A field that names
// something (a file, folder, key, value, program) and does not fit its field
// makes the whole line unusable: acting on a cut name would touch the wrong
// file or key. The parsers report such lines by returning false and the
// reader skips them with a log entry. Texts only shown to the user (a
// launch's Message) are cut to the field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vrel/bounded_copy.h"

#include "description/component_record.h"
#include "description/portable/file_list_index.h"
#include "description/setup_description.h"
#include "portable/section_records.h"

namespace tarnex {

// A CopyFiles / DelFiles line: SourceName [, TargetName [, FileFlags]].
struct FileLine {
    std::wstring SourceName;
    std::wstring TargetName;  // SourceName when empty
    std::int32_t FileFlags = 0;
};
FileLine SplitFileLine(std::wstring line);

// Fills SourceName, TargetName and FileFlags; false when a name does not fit.
bool FillFileNames(const FileLine& line, FileRecord& record);

// SourceDisksFiles value "disk, size, yyyy-mm-dd, hh:mm:ss[p], version...":
// Size, Time and FileVersion of the record (the version is cut to its field).
void ApplySourceDisksValue(std::wstring value, FileRecord& record);

// DestinationDirs value: "11" is the system folder; anything else is the
// folder itself. False when the folder does not fit TargetFolder.
bool ApplyDestinationDir(const std::wstring& value, const std::wstring& systemFolder, FileRecord& record);

// The record of an existing FileList entry with the same SourceName and
// TargetFolder (case-sensitive), else the record appended with its Number
// (1 + the largest Number in the list). Returns the entry's index; created
// tells whether it was appended.
FileRef AddOrFindFile(std::vector<FileRecord>& fileList, FileListIndex& index, const FileRecord& record,
                      bool* created = nullptr);

// Adds ref to the component's Files unless it is there already. A file the
// reader has just created cannot be there: isNew spares the search.
void AddFileReference(ComponentRecord& component, FileRef ref, bool isNew = false);

// Record lines of the other kinds; false when a field does not fit. Index
// and Before are the caller's.
bool ParseRegistryLine(std::wstring line, RegistryEntry& entry);
bool ParseEnvVarLine(std::wstring line, EnvVarEntry& entry);
bool ParseLinkLine(std::wstring line, LinkEntry& entry);
bool ParseLaunchLine(std::wstring line, LaunchEntry& entry);
bool ParseDllLine(std::wstring line, DllEntry& entry);

// Options of the description file. OSVersions / OSServicePacks: one integer
// per system of the table; missing ones read 0, more are ignored.
void ParseOsNumbers(std::wstring list, std::int32_t (&numbers)[kOsCount]);

// Key: the root index before the first comma, the subkey path after it
// (without a comma the whole value is the root and the path is empty).
// False when the path does not fit.
bool ParsePackageKey(std::wstring value, std::int32_t& root, wchar_t (&path)[kOptionField]);

// A RequiredKeyRegistry line: AppName, Root, SubKey, TestValue, ValueName,
// CompareData, ValueType, ExpectedData; missing fields read empty or 0.
// False when SubKey, ValueName or ExpectedData does not fit (AppName is
// only shown: cut). Index is the caller's.
bool ParseRequiredKeyLine(std::wstring line, RequiredKey& key);

// Copies text into a fixed field; false (field untouched) when it does not fit.
template <std::size_t N>
bool CopyWhole(wchar_t (&field)[N], const std::wstring& text) {
    if (!vrel::FitsField(std::wstring_view(text), N)) return false;
    vrel::CopyToField(field, std::wstring_view(text));
    return true;
}

}  // namespace tarnex
