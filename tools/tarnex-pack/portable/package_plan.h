// The package planned from a manifest: which files go where and under which
// names, how the components are numbered, ordered and grouped into user INF
// files, and what the package folder holds. Everything is checked here
// before anything is written. Portable: files are seen through FileSource.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "manifest.h"
#include "portable/section_records.h"

namespace pack {

// What the package records of a file.
struct FileFacts {
    std::uint64_t size = 0;
    tarnex::FileStamp stamp;  // local time of the last write, whole seconds
    std::wstring version;     // "a.b.c.d" of the version resource, "" without one
};

// The files the manifest names, as the machine that builds sees them.
class FileSource {
public:
    virtual ~FileSource() = default;
    virtual bool IsFolder(const std::wstring& path) = 0;
    // False when path is no file that can be read.
    virtual bool Facts(const std::wstring& path, FileFacts& facts) = 0;
    // Every file below folder, relative to it ("\"-separated), in a stable order.
    virtual bool ListFiles(const std::wstring& folder, std::vector<std::wstring>& files) = 0;
};

struct PlannedFile {
    std::wstring sourcePath;    // where the builder reads it
    std::wstring sourceName;    // in the cabinet or the package folder; key in SourceDisksFiles
    std::wstring targetFolder;  // as DestinationDirs holds it: "%65600%\sub\" or "11"
    std::wstring targetName;
    std::int32_t kind = 0;      // FileFlags
    bool sign = false;          // to be signed before it goes into the cabinet
    FileFacts facts;            // for cabinet files the stamp is the cabinet's (even seconds)
    int line = 0;
};

// One CopyFiles/DelFiles section: the files of a component for one folder.
struct FileSection {
    std::wstring name;
    std::wstring destination;  // DestinationDirs value
    std::vector<std::size_t> files;  // into PackagePlan::files
};

struct PlannedComponent {
    const ComponentSpec* spec = nullptr;
    std::int32_t localNumber = 0;
    std::vector<std::int32_t> dependencies;  // local numbers of its parents; {0} at the top level
    std::vector<FileSection> sections;
};

// A user INF file with its cabinet: one tree of components.
struct PlannedInf {
    std::wstring infName, cabinetName;
    std::vector<PlannedComponent> components;  // parents before children
    std::vector<std::size_t> cabinetFiles;     // into PackagePlan::files
};

// A file copied into the package folder as it is.
struct PackageCopy {
    std::wstring sourcePath;
    std::wstring packageName;
};

struct PackagePlan {
    std::vector<PlannedFile> files;
    std::vector<PlannedInf> infs;
    std::vector<std::size_t> installerFiles;  // component 0's files (loose), the description's own last
    std::vector<PackageCopy> copies;          // the installer, licence, pictures, helper programs
    std::wstring descriptionName;             // the installer's base name + ".inf"
    std::wstring pagePictureNames[kPageCount];
    std::wstring iconName;                    // the list of programs' icon, beside the installer's copy
    std::uint64_t cabinetBytes = 0;           // the files the cabinets take, before compression
};

struct PlanInputs {
    std::wstring filesFolder;    // where relative sources are found, with a trailing backslash
    std::wstring installerPath;  // the installer program to copy
    // True when the INF files' code page can spell the text.
    std::function<bool(const std::wstring&)> spellable;
};

// Plans the package; false with diagnostics (by manifest line) when anything
// is wrong. The description file's own facts are filled in when it is written.
bool PlanPackage(const Manifest& manifest, const PlanInputs& inputs, FileSource& files, PackagePlan& plan,
                 std::vector<Diagnostic>& diagnostics);

// The DOS form a cabinet stores: even seconds, years 1980 to 2107.
tarnex::FileStamp CabinetStamp(const tarnex::FileStamp& stamp);

}  // namespace pack
