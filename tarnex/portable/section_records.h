// The records of a component's install sections: files, registry entries,
// environment variables, shortcuts, helper programs and library entries.
// Plain owned data (fixed text fields are the package format's storage
// capacities, terminator included); no Windows header needed.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#endif

namespace tarnex {

// Capacities of the record fields, in characters including the terminator.
inline constexpr std::size_t kNameField = 256;
inline constexpr std::size_t kPathField = 260;
inline constexpr std::size_t kVersionField = 30;
inline constexpr std::size_t kCommandLineField = 520;
inline constexpr std::size_t kDllNameField = 130;

// The ten kinds of an install section, by the number the reader is called with.
enum SectionKind : int {
    kCopyFiles = 1,
    kDelFiles = 2,
    kAddReg = 3,
    kDelReg = 4,
    kEnvVars = 5,
    kLinks = 6,
    kExeBefore = 7,
    kExeAfter = 8,
    kDllBefore = 9,
    kDllAfter = 10,
};

// FileFlags values of a FileRecord.
enum FileKind : std::int32_t {
    kPlainFile = 0,      // unpacked from the cabinet
    kSelfRegDll = 1,     // DllRegisterServer / DllUnregisterServer
    kServiceExe = 2,     // "/service", stopped before it is unregistered
    kComServerExe = 3,   // "/regserver" and "/unregserver"
    kRegFile = 4,        // REG file written to the registry in step 10
    kLooseFile = 6,      // copied from the package folder, not the cabinet
};

// Stamp of a packaged file; the layout of the system's SYSTEMTIME
// (day of week and milliseconds stay 0).
struct FileStamp {
    std::uint16_t Year = 0;
    std::uint16_t Month = 0;
    std::uint16_t DayOfWeek = 0;
    std::uint16_t Day = 0;
    std::uint16_t Hour = 0;
    std::uint16_t Minute = 0;
    std::uint16_t Second = 0;
    std::uint16_t Milliseconds = 0;
};

// One distinct file of the package. FileList owns them; components refer to
// them by index into FileList.
struct FileRecord {
    std::int32_t Number = 0;                // 1 + the largest Number in FileList
    wchar_t SourceName[kNameField] = {};    // name in the cabinet / package folder
    wchar_t TargetName[kNameField] = {};    // name in the destination folder
    wchar_t TargetFolder[kPathField] = {};  // ends in a backslash; may hold "%65600%"
    std::int32_t FileFlags = kPlainFile;    // FileKind
    std::uint32_t Size = 0;                 // bytes
    FileStamp Time;
    wchar_t FileVersion[kVersionField] = {};
    std::int32_t RefCount = 0;      // selected components referencing the file
    std::int32_t Extracted = 0;     // step 3 wrote the temporary copy
    std::int32_t KeepExisting = 0;  // the existing file was kept; step 5 leaves it
    std::int32_t PathRefused = 0;   // step 1: TargetFolder outgrew its field; never touched
    std::int32_t PlaceFree = 0;     // step 3 found no file at the target path
};

// AddReg / DelReg line: Root, SubKey, ValueName, ValueType, Data.
struct RegistryEntry {
    std::int32_t Index = 0;
    wchar_t ValueName[kNameField] = {};
    wchar_t Data[kPathField] = {};
    std::int32_t ValueType = 0;  // 0 REG_SZ, 2 REG_DWORD (Data as decimal), other: nothing written
    std::int32_t Root = 0;       // root index 1..4
    wchar_t SubKey[kPathField] = {};
};

// EnvVars line: Name, System, Replace, Value (rest of the line).
struct EnvVarEntry {
    std::int32_t Index = 0;
    wchar_t Name[kNameField] = {};
    wchar_t Value[kPathField] = {};  // may hold several ";"-separated parts
    std::int32_t System = 0;         // non-zero: the system's variables
    std::int32_t Replace = 0;        // non-zero: set; 0: add missing parts
};

// Links line: Folder, LinkName, Target, WorkingFolder, Arguments (rest).
struct LinkEntry {
    std::int32_t Index = 0;
    wchar_t LinkName[kNameField] = {};  // without ".lnk"
    wchar_t Target[kPathField] = {};
    wchar_t WorkingFolder[kPathField] = {};
    wchar_t Arguments[kPathField] = {};
    wchar_t Folder[kPathField] = {};  // "CSIDL_..." optionally followed by "\subfolder"
};

// EXEBefore / EXEAfter line: CommandLine, FileName, FromPackage, Wait,
// UseExitCode, Show, Message.
struct LaunchEntry {
    std::int32_t Index = 0;
    wchar_t CommandLine[kCommandLineField] = {};
    wchar_t FileName[kPathField] = {};  // the program's name as it occurs in CommandLine
    std::int32_t Wait = 0;
    std::int32_t UseExitCode = 0;
    std::int32_t Show = 0;
    std::int32_t Before = 0;       // 1 EXEBefore, 0 EXEAfter
    std::int32_t FromPackage = 0;  // CommandLine is relative to the package folder
    wchar_t Message[kPathField] = {};  // shown when the program reports failure
};

// DLLBefore / DLLAfter line: Path, Name, Value. Read and kept; no step acts on them.
struct DllEntry {
    std::int32_t Index = 0;
    wchar_t Path[kPathField] = {};
    wchar_t Name[kDllNameField] = {};
    std::int32_t Value = 0;
    std::int32_t Before = 0;  // 1 DLLBefore, 0 DLLAfter
};

// What one write of the REG file importer produces.
enum class RegWriteKind : int {
    KeyOnly = 0,     // key line: the key is created, nothing set
    String = 1,      // REG_SZ
    DoubleWord = 2,  // REG_DWORD from eight hexadecimal digits
    Binary = 3,      // REG_BINARY from hexadecimal byte pairs
};

// Result protocol of a helper program (EXEBefore / EXEAfter).
inline constexpr std::uint32_t kLaunchStopInstall = 1;
inline constexpr std::uint32_t kLaunchNeedsRestart = 2;

#ifdef _WIN32
inline SYSTEMTIME ToSystemTime(const FileStamp& s) {
    SYSTEMTIME t{};
    t.wYear = s.Year;
    t.wMonth = s.Month;
    t.wDayOfWeek = s.DayOfWeek;
    t.wDay = s.Day;
    t.wHour = s.Hour;
    t.wMinute = s.Minute;
    t.wSecond = s.Second;
    t.wMilliseconds = s.Milliseconds;
    return t;
}
#endif

}  // namespace tarnex
