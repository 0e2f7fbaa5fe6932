// The one in-memory description of the package: options of the description
// file, the INF files, the component list and the package-wide file table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "description/component_record.h"
#include "description/portable/file_list_index.h"
#include "portable/os_version_rules.h"
#include "portable/section_records.h"

namespace tarnex {

inline constexpr std::size_t kOptionField = 260;
inline constexpr std::size_t kValueNameField = 256;
inline constexpr std::size_t kPagePictureField = 130;
inline constexpr std::size_t kOsCount = kOsTokenCount;  // 95 ... XP, then Server 2003 ... 11
inline constexpr std::size_t kPageCount = 9;   // wizard pages 0..8

struct InfFileEntry {
    wchar_t InfPath[kPathField] = {};
    wchar_t CabinetPath[kPathField] = {};
    std::vector<std::int32_t> Numbers;  // components the INF file describes
};

// One line of RequiredKeyRegistry.
struct RequiredKey {
    std::int32_t Index = 0;
    wchar_t ValueName[kValueNameField] = {};
    wchar_t ExpectedData[kOptionField] = {};
    std::int32_t ValueType = 0;  // 0 REG_SZ, 1 REG_BINARY, 2 REG_DWORD, other REG_NONE
    std::int32_t Root = 0;       // root index 1..4
    wchar_t SubKey[kOptionField] = {};
    wchar_t AppName[kOptionField] = {};
    std::int32_t TestValue = 0;    // 0: the key's existence is enough
    std::int32_t CompareData = 0;  // 0: the value's existence with its type is enough
};

struct SetupDescription {
    std::vector<ComponentRecord> ComponentList;
    std::vector<FileRecord> FileList;
    FileListIndex FileIndex;  // the readers' lookup of FileList; follows the list by itself
    std::int32_t Access = 0;
    std::int32_t AccessVersion = 0;  // 0 none, 1 Access 97, 2 Access 2000, 3 both
    std::int32_t License = 0;
    std::int32_t SupportMode = 0;
    std::int32_t InstalledCount = 0;
    wchar_t Name[kOptionField] = {};
    wchar_t NameGen[kOptionField] = {};
    wchar_t NameUnInst[kOptionField] = {};
    wchar_t InstallFolder[kOptionField] = {};
    wchar_t SetNameUI[kOptionField] = {};
    std::int32_t KeyRoot = -1;
    wchar_t KeyPath[kOptionField] = {};
    std::vector<InfFileEntry> InfFiles;
    std::int32_t BackWindow = 0;
    std::int32_t BackWindowPicture = 0;
    wchar_t BackName[kOptionField] = {};
    std::int32_t OSVersions[kOsCount] = {};
    std::int32_t OSServicePacks[kOsCount] = {};
    wchar_t ProgramFilesFolder[kOptionField] = {};
    std::vector<RequiredKey> RequiredKeys;
    wchar_t PreviousInstallFolder[kOptionField] = {};
    wchar_t PagePictures[kPageCount][kPagePictureField] = {};
    // Optional OPTIONS keys shown in Windows' list of installed programs.
    wchar_t DisplayVersion[kOptionField] = {};
    wchar_t Publisher[kOptionField] = {};
    wchar_t URLInfoAbout[kOptionField] = {};
    wchar_t HelpLink[kOptionField] = {};
    wchar_t Comments[kOptionField] = {};
    wchar_t Contact[kOptionField] = {};
    // The file name of the list's icon, installed beside the installer's
    // copy; empty: the installer's copy shows its own.
    wchar_t DisplayIcon[kOptionField] = {};

    FileRecord& FileOf(FileRef ref) { return FileList[ref]; }
    const FileRecord& FileOf(FileRef ref) const { return FileList[ref]; }
};

// The one description of the run, created empty at start.
SetupDescription& Description();

// Reads the description file (ProgramFolder + ProgramName + ".inf") into the
// description, with component 0 read from the install or uninstall section
// chosen by the run mode. 1 on success, 0 on failure (the text kInfCannotOpen was shown when
// the file could not be opened; the caller shows the text kDescriptionUnreadable).
int LoadSetupDescription(SetupDescription& description);
// The same for the description file programName + ".inf" in folder (ending
// in a backslash; the INF files it lists are read from there too), with the
// sections of mode; the program's caption is left as it is.
int LoadSetupDescriptionFrom(SetupDescription& description, const std::wstring& folder,
                             const std::wstring& programName, std::uint32_t mode);

// 1 when the required key, value and data are present.
int IsPresent(const RequiredKey& key);

}  // namespace tarnex
