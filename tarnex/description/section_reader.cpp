#include "description/section_reader.h"

#include <type_traits>

#include "description/portable/line_parsers.h"
#include "portable/inf_schema.h"
#include "portable/text_pieces.h"
#include "services/app_context.h"
#include "services/setup_log.h"

namespace tarnex {
namespace {

namespace schema = tarnex::inf;

void LogSkipped(const std::wstring& section, const std::wstring& line, const wchar_t* why) {
    WriteLogF(L"Section \"%s\": line \"%s\" skipped: %s\r\n", section.c_str(), line.c_str(), why);
}

// Kinds 1 and 2. The section's destination comes from DestinationDirs; a
// section without one is skipped as a whole (the caller has logged it).
void ReadFileLine(SetupDescription& d, InfFile& inf, const std::wstring& section, const std::wstring& destination,
                  const std::wstring& line, ComponentRecord& component) {
    const FileLine fields = SplitFileLine(line);
    std::wstring disks;
    if (!inf.GetValue(schema::kSourceDisksFiles, fields.SourceName, disks)) return;  // no entry: skipped silently

    FileRecord record;
    if (!FillFileNames(fields, record)) return LogSkipped(section, line, L"file name too long");
    ApplySourceDisksValue(disks, record);
    if (!ApplyDestinationDir(destination, App().SystemFolder, record))
        return LogSkipped(section, line, L"destination folder too long");
    bool created = false;
    const FileRef ref = AddOrFindFile(d.FileList, d.FileIndex, record, &created);
    AddFileReference(component, ref, created);
}

template <typename Entry, typename Parse>
void ReadEntry(std::vector<Entry>& list, const std::wstring& section, const std::wstring& line, Parse parse,
               std::int32_t before = -1) {
    Entry entry;
    if (!parse(line, entry)) return LogSkipped(section, line, L"field too long");
    entry.Index = static_cast<std::int32_t>(list.size());
    if constexpr (std::is_same_v<Entry, LaunchEntry> || std::is_same_v<Entry, DllEntry>) entry.Before = before;
    list.push_back(entry);
}

}  // namespace

void ReadComponentSections(SetupDescription& d, InfFile& inf, const std::wstring& installSection,
                           ComponentRecord& component) {
    for (int kind = kCopyFiles; kind <= kDllAfter; ++kind) {
        std::wstring names;
        if (!inf.GetValue(installSection, schema::KindKey(kind), names)) continue;
        std::wstring name;
        while (!names.empty()) {
            const int more = SplitToken(names, L",", name);
            if (name.empty()) break;  // an empty name ends the list
            ReadSectionLines(d, inf, name, kind, component);
            if (!more) break;
        }
    }
}

int ReadSectionLines(SetupDescription& d, InfFile& inf, const std::wstring& section, int kind,
                     ComponentRecord& component) {
    const int count = inf.GetLineCount(section);
    if (count <= 0) return 0;

    std::wstring destination;
    if (kind == kCopyFiles || kind == kDelFiles) {
        if (!inf.GetValue(schema::kDestinationDirs, section, destination)) {
            WriteLogF(L"Section \"%s\" skipped: no DestinationDirs entry\r\n", section.c_str());
            return 0;
        }
    }

    std::wstring line;
    for (int more = inf.FindFirstLine(section, line, 0); more; more = inf.FindNextLine(line, 0)) {
        switch (kind) {
            case kCopyFiles:
            case kDelFiles:
                ReadFileLine(d, inf, section, destination, line, component);
                break;
            case kAddReg:
            case kDelReg:
                ReadEntry(component.RegistryEntries, section, line, ParseRegistryLine);
                break;
            case kEnvVars:
                ReadEntry(component.EnvVars, section, line, ParseEnvVarLine);
                break;
            case kLinks:
                ReadEntry(component.Links, section, line, ParseLinkLine);
                break;
            case kExeBefore:
            case kExeAfter:
                ReadEntry(component.Launches, section, line, ParseLaunchLine, kind == kExeBefore ? 1 : 0);
                break;
            case kDllBefore:
            case kDllAfter:
                ReadEntry(component.Dlls, section, line, ParseDllLine, kind == kDllBefore ? 1 : 0);
                break;
            default:
                return 0;
        }
    }
    return 1;
}

}  // namespace tarnex
