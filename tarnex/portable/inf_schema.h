// The package's INF format in one place: the names of its sections and
// keys, the order of the fields of its record lines, and the names of the
// sections built from a component's name. The installer's readers,
// tarnex-pack and the bench's package writer all spell it from here, so a
// package the tool writes is the package the installer reads. Portable.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarnex::inf {

// A yes-or-no value: "Yes" is yes, anything else no.
inline constexpr wchar_t kYes[] = L"Yes";
inline constexpr wchar_t kNo[] = L"No";

// Every INF file.
inline constexpr wchar_t kVersion[] = L"Version";
inline constexpr wchar_t kSignatureKey[] = L"Signature";
inline constexpr wchar_t kSignature[] = L"$Windows NT$";
inline constexpr wchar_t kStrings[] = L"Strings";
inline constexpr wchar_t kDestinationDirs[] = L"DestinationDirs";  // FILE SECTION = FOLDER
inline constexpr wchar_t kSourceDisksFiles[] = L"SourceDisksFiles";  // SOURCE NAME = SourceDisksField...

// The description file (PROGRAM.inf).
inline constexpr wchar_t kOptions[] = L"OPTIONS";
inline constexpr wchar_t kComponents[] = L"COMPONENTS";  // lines "USER INF, CABINET"
inline constexpr wchar_t kWindows[] = L"WINDOWS";        // PAGE NUMBER = PICTURE
inline constexpr wchar_t kRequiredKeyRegistry[] = L"RequiredKeyRegistry";  // RequiredKeyField lines

// Keys of OPTIONS.
namespace option {
inline constexpr wchar_t kAccess[] = L"Access";
inline constexpr wchar_t kLicense[] = L"License";
inline constexpr wchar_t kSupportMode[] = L"SupportMode";
inline constexpr wchar_t kBackWindow[] = L"BackWindow";
inline constexpr wchar_t kBackWindowPicture[] = L"BackWindowPicture";
inline constexpr wchar_t kName[] = L"Name";
inline constexpr wchar_t kNameGen[] = L"NameGen";
inline constexpr wchar_t kNameUnInst[] = L"NameUnInst";
inline constexpr wchar_t kSetNameUI[] = L"SetNameUI";
inline constexpr wchar_t kBackName[] = L"BackName";
inline constexpr wchar_t kDir[] = L"Dir";
inline constexpr wchar_t kKey[] = L"Key";  // ROOT, SUBKEY
inline constexpr wchar_t kOSVersions[] = L"OSVersions";
inline constexpr wchar_t kOSServicePacks[] = L"OSServicePacks";
// Shown in Windows' list of programs; older descriptions lack them.
inline constexpr wchar_t kDisplayVersion[] = L"DisplayVersion";
inline constexpr wchar_t kPublisher[] = L"Publisher";
inline constexpr wchar_t kURLInfoAbout[] = L"URLInfoAbout";
inline constexpr wchar_t kHelpLink[] = L"HelpLink";
inline constexpr wchar_t kComments[] = L"Comments";
inline constexpr wchar_t kContact[] = L"Contact";
inline constexpr wchar_t kDisplayIcon[] = L"DisplayIcon";
}  // namespace option

// The description file's own component: its install sections are built
// from kInstallerComponent, its record sections from kInstallerRecords.
inline constexpr wchar_t kInstallerComponent[] = L"InstallProgram";
inline constexpr wchar_t kInstallerRecords[] = L"Installer";
inline constexpr wchar_t kInstallerFiles[] = L"Installer.Files";

// A user INF file: EngNames lists the components, then each catalogue
// section holds ENGNAME = VALUE for every one of them, in this order.
inline constexpr wchar_t kEngNames[] = L"EngNames";
inline constexpr wchar_t kNumbers[] = L"NUMBERS";
inline constexpr wchar_t kLocNames[] = L"LocNames";
inline constexpr wchar_t kProperties[] = L"PROPERTIES";
inline constexpr wchar_t kCompVersions[] = L"CompVersions";
inline constexpr wchar_t kInstPaths[] = L"InstPaths";
inline constexpr wchar_t kComplexes[] = L"COMPLEXES";
inline constexpr wchar_t kDependences[] = L"DEPENDENCES";
inline constexpr wchar_t kStates[] = L"STATES";
inline constexpr const wchar_t* kCatalogueSections[] = {kNumbers,   kLocNames,  kProperties,  kCompVersions,
                                                       kInstPaths, kComplexes, kDependences, kStates};

// Section names no component's own section may take.
inline constexpr const wchar_t* kFixedUserSections[] = {
    kVersion,   kStrings,   kEngNames,    kNumbers, kLocNames,        kProperties,        kCompVersions,
    kInstPaths, kComplexes, kDependences, kStates,  kDestinationDirs, kSourceDisksFiles};

// The keys of an install section, by its kind (SectionKind 1 to 10); each
// names a list of record sections.
inline constexpr const wchar_t* kKindKeys[] = {L"CopyFiles", L"DelFiles",  L"AddReg",    L"DelReg",    L"EnvVars",
                                              L"Links",     L"EXEBefore", L"EXEAfter", L"DLLBefore", L"DLLAfter"};
inline constexpr std::size_t kKindCount = sizeof kKindKeys / sizeof kKindKeys[0];
const wchar_t* KindKey(int kind);  // kind 1 to 10

// The install section of a component (or of the installer) and its removal
// twin: "BASE - DefaultInstall", "BASE - DefaultUnInstall".
std::wstring InstallSectionName(std::wstring_view base, bool removal);

// The record sections tarnex-pack names after a component: "BASE.Reg" ...
enum class Records { Reg, Env, Links, RunBefore, RunAfter, RemoveBefore, RemoveAfter };
inline constexpr Records kAllRecords[] = {Records::Reg,      Records::Env,          Records::Links,
                                          Records::RunBefore, Records::RunAfter, Records::RemoveBefore,
                                          Records::RemoveAfter};
std::wstring RecordSectionName(std::wstring_view base, Records records);
// The N-th file section of a component (N from 1): "BASE.FilesN".
std::wstring FileSectionName(std::wstring_view base, std::size_t n);

// Every section a component of that name gives: both install sections and
// all record sections.
std::vector<std::wstring> OwnSectionNames(std::wstring_view base);

// The order of the fields of each kind of line. A field marked "the rest"
// takes the rest of the line, commas included.
enum FileField { kFileSource, kFileTarget, kFileKind, kFileFieldCount };
enum SourceDisksField { kDisk, kDiskSize, kDiskDate, kDiskTime, kDiskVersion /* the rest */, kSourceDisksFieldCount };
enum RegField { kRegRoot, kRegSubKey, kRegValueName, kRegType, kRegData, kRegFieldCount };
enum EnvField { kEnvName, kEnvSystem, kEnvReplace, kEnvValue /* the rest */, kEnvFieldCount };
enum LinkField { kLinkFolder, kLinkName, kLinkTarget, kLinkWorkingFolder, kLinkArguments /* the rest */, kLinkFieldCount };
enum RunField {
    kRunCommandLine,
    kRunFileName,
    kRunFromPackage,
    kRunWait,
    kRunUseExitCode,
    kRunShow,
    kRunMessage,
    kRunFieldCount
};
enum DllField { kDllPath, kDllName, kDllValue, kDllFieldCount };
enum RequiredKeyField {
    kRequiredAppName,
    kRequiredRoot,
    kRequiredSubKey,
    kRequiredTestValue,
    kRequiredValueName,
    kRequiredCompareData,
    kRequiredValueType,
    kRequiredExpectedData,
    kRequiredKeyFieldCount
};

}  // namespace tarnex::inf
