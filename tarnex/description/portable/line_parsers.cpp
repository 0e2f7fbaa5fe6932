#include "description/portable/line_parsers.h"

#include <climits>
#include <cstdint>

#include "run/text_utils.h"

namespace tarnex {
namespace {

const std::wstring kComma = L",";

std::wstring Next(std::wstring& rest) {
    std::wstring token;
    SplitToken(rest, kComma, token);
    return token;
}

std::uint16_t To16(std::int64_t value) {
    if (value < 0) return 0;
    if (value > 0xFFFF) return 0xFFFF;
    return static_cast<std::uint16_t>(value);
}

// Sizes are unsigned 32-bit byte counts; the leading-digits rule, clamped.
std::uint32_t ReadSize(const std::wstring& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + static_cast<std::uint64_t>(text[i] - L'0');
        if (value > UINT32_MAX) return UINT32_MAX;
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace

FileLine SplitFileLine(std::wstring line) {
    FileLine out;
    out.SourceName = Next(line);
    out.TargetName = Next(line);
    if (out.TargetName.empty()) out.TargetName = out.SourceName;
    const std::wstring flags = Next(line);
    out.FileFlags = flags.empty() ? 0 : ReadInt(flags);
    return out;
}

bool FillFileNames(const FileLine& line, FileRecord& record) {
    record.FileFlags = line.FileFlags;
    return CopyWhole(record.SourceName, line.SourceName) && CopyWhole(record.TargetName, line.TargetName);
}

void ApplySourceDisksValue(std::wstring value, FileRecord& record) {
    Next(value);  // disk: not used
    record.Size = ReadSize(Next(value));

    std::wstring date = Next(value);
    std::wstring part;
    SplitToken(date, L"-", part);
    record.Time.Year = To16(ReadInt(part));
    SplitToken(date, L"-", part);
    record.Time.Month = To16(ReadInt(part));
    SplitToken(date, L"-", part);
    record.Time.Day = To16(ReadInt(part));

    std::wstring time = Next(value);
    SplitToken(time, L":", part);
    // Wider than the field: an hour past 2^31 read as its 32-bit limit still
    // takes the afternoon's 12 without overflowing.
    std::int64_t hour = ReadInt(part);
    SplitToken(time, L":", part);
    record.Time.Minute = To16(ReadInt(part));
    SplitToken(time, L":", part);
    // "07p": the first two characters are the seconds; a third "p" is
    // afternoon (12 stays 12), any other third character is ignored.
    record.Time.Second = To16(ReadInt(part.substr(0, 2)));
    if (part.size() > 2 && part[2] == L'p' && hour != 12) hour += 12;
    record.Time.Hour = To16(hour);
    record.Time.DayOfWeek = 0;
    record.Time.Milliseconds = 0;

    vrel::CopyToField(record.FileVersion, std::wstring_view(value));
}

bool ApplyDestinationDir(const std::wstring& value, const std::wstring& systemFolder, FileRecord& record) {
    return CopyWhole(record.TargetFolder, value == L"11" ? systemFolder : value);
}

FileRef AddOrFindFile(std::vector<FileRecord>& fileList, FileListIndex& index, const FileRecord& record,
                      bool* created) {
    const std::ptrdiff_t found = index.Find(fileList, record);
    if (created != nullptr) *created = found < 0;
    if (found >= 0) return static_cast<FileRef>(found);
    fileList.push_back(record);
    fileList.back().Number = index.NextNumber();
    return fileList.size() - 1;
}

void AddFileReference(ComponentRecord& component, FileRef ref, bool isNew) {
    if (!isNew)
        for (FileRef existing : component.Files)
            if (existing == ref) return;
    component.Files.push_back(ref);
}

// Every field is split off before any is stored, so a field that does not
// fit never shifts the fields after it.
bool ParseRegistryLine(std::wstring line, RegistryEntry& entry) {
    const std::wstring root = Next(line), subKey = Next(line), valueName = Next(line), type = Next(line),
                       data = Next(line);  // anything after Data is ignored
    entry.Root = ReadInt(root);
    entry.ValueType = ReadInt(type);
    bool fits = CopyWhole(entry.SubKey, subKey);
    fits = CopyWhole(entry.ValueName, valueName) && fits;
    return CopyWhole(entry.Data, data) && fits;
}

bool ParseEnvVarLine(std::wstring line, EnvVarEntry& entry) {
    const std::wstring name = Next(line), system = Next(line), replace = Next(line);
    entry.System = ReadInt(system);
    entry.Replace = ReadInt(replace);
    const bool fits = CopyWhole(entry.Name, name);
    return CopyWhole(entry.Value, line) && fits;  // the rest of the line, commas included
}

bool ParseLinkLine(std::wstring line, LinkEntry& entry) {
    const std::wstring folder = Next(line), linkName = Next(line), target = Next(line), workingFolder = Next(line);
    bool fits = CopyWhole(entry.Folder, folder);
    fits = CopyWhole(entry.LinkName, linkName) && fits;
    fits = CopyWhole(entry.Target, target) && fits;
    fits = CopyWhole(entry.WorkingFolder, workingFolder) && fits;
    return CopyWhole(entry.Arguments, line) && fits;  // the rest of the line
}

bool ParseLaunchLine(std::wstring line, LaunchEntry& entry) {
    const std::wstring commandLine = Next(line), fileName = Next(line), fromPackage = Next(line), wait = Next(line),
                       useExitCode = Next(line), show = Next(line), message = Next(line);
    entry.FromPackage = ReadInt(fromPackage);
    entry.Wait = ReadInt(wait);
    entry.UseExitCode = ReadInt(useExitCode);
    entry.Show = ReadInt(show);
    vrel::CopyToField(entry.Message, std::wstring_view(message));  // only shown: cut
    const bool fits = CopyWhole(entry.CommandLine, commandLine);
    return CopyWhole(entry.FileName, fileName) && fits;
}

bool ParseDllLine(std::wstring line, DllEntry& entry) {
    const std::wstring path = Next(line), name = Next(line), value = Next(line);
    entry.Value = ReadInt(value);
    const bool fits = CopyWhole(entry.Path, path);
    return CopyWhole(entry.Name, name) && fits;
}

void ParseOsNumbers(std::wstring list, std::int32_t (&numbers)[kOsCount]) {
    for (std::int32_t& number : numbers) number = list.empty() ? 0 : ReadInt(Next(list));
}

bool ParsePackageKey(std::wstring value, std::int32_t& root, wchar_t (&path)[kOptionField]) {
    root = ReadInt(Next(value));  // without a comma the whole value is the root
    return CopyWhole(path, value);
}

bool ParseRequiredKeyLine(std::wstring line, RequiredKey& key) {
    std::wstring field[8];
    for (std::wstring& f : field) f = Next(line);
    vrel::CopyToField(key.AppName, std::wstring_view(field[0]));
    key.Root = ReadInt(field[1]);
    key.TestValue = ReadInt(field[3]);
    key.CompareData = ReadInt(field[5]);
    key.ValueType = ReadInt(field[6]);
    bool fits = CopyWhole(key.SubKey, field[2]);
    fits = CopyWhole(key.ValueName, field[4]) && fits;
    return CopyWhole(key.ExpectedData, field[7]) && fits;
}

}  // namespace tarnex
