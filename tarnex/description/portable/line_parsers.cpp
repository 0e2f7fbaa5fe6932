#include "description/portable/line_parsers.h"

#include <climits>
#include <cstdint>

#include "portable/inf_schema.h"
#include "portable/text_pieces.h"

namespace tarnex {
namespace {

const std::wstring kComma = L",";

std::wstring Next(std::wstring& rest) {
    std::wstring token;
    SplitToken(rest, kComma, token);
    return token;
}

namespace schema = tarnex::inf;

// The fields of a line in the schema's order; the last one takes the rest
// of the line, commas included, where the schema says so.
template <std::size_t Count>
void SplitFields(std::wstring line, std::wstring (&fields)[Count], bool restInLast = false) {
    for (std::size_t i = 0; i < Count; ++i) fields[i] = restInLast && i + 1 == Count ? line : Next(line);
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
    std::wstring f[schema::kFileFieldCount];
    SplitFields(std::move(line), f);
    FileLine out;
    out.SourceName = f[schema::kFileSource];
    out.TargetName = f[schema::kFileTarget].empty() ? out.SourceName : f[schema::kFileTarget];
    out.FileFlags = f[schema::kFileKind].empty() ? 0 : ReadInt(f[schema::kFileKind]);
    return out;
}

bool FillFileNames(const FileLine& line, FileRecord& record) {
    record.FileFlags = line.FileFlags;
    return CopyWhole(record.SourceName, line.SourceName) && CopyWhole(record.TargetName, line.TargetName);
}

void ApplySourceDisksValue(std::wstring value, FileRecord& record) {
    std::wstring f[schema::kSourceDisksFieldCount];  // the disk is not used
    SplitFields(std::move(value), f, true);
    record.Size = ReadSize(f[schema::kDiskSize]);

    std::wstring& date = f[schema::kDiskDate];
    std::wstring part;
    SplitToken(date, L"-", part);
    record.Time.Year = To16(ReadInt(part));
    SplitToken(date, L"-", part);
    record.Time.Month = To16(ReadInt(part));
    SplitToken(date, L"-", part);
    record.Time.Day = To16(ReadInt(part));

    std::wstring& time = f[schema::kDiskTime];
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

    vrel::CopyToField(record.FileVersion, std::wstring_view(f[schema::kDiskVersion]));
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
    std::wstring f[schema::kRegFieldCount];
    SplitFields(std::move(line), f);  // anything after Data is ignored
    entry.Root = ReadInt(f[schema::kRegRoot]);
    entry.ValueType = ReadInt(f[schema::kRegType]);
    bool fits = CopyWhole(entry.SubKey, f[schema::kRegSubKey]);
    fits = CopyWhole(entry.ValueName, f[schema::kRegValueName]) && fits;
    return CopyWhole(entry.Data, f[schema::kRegData]) && fits;
}

bool ParseEnvVarLine(std::wstring line, EnvVarEntry& entry) {
    std::wstring f[schema::kEnvFieldCount];
    SplitFields(std::move(line), f, true);
    entry.System = ReadInt(f[schema::kEnvSystem]);
    entry.Replace = ReadInt(f[schema::kEnvReplace]);
    const bool fits = CopyWhole(entry.Name, f[schema::kEnvName]);
    return CopyWhole(entry.Value, f[schema::kEnvValue]) && fits;
}

bool ParseLinkLine(std::wstring line, LinkEntry& entry) {
    std::wstring f[schema::kLinkFieldCount];
    SplitFields(std::move(line), f, true);
    bool fits = CopyWhole(entry.Folder, f[schema::kLinkFolder]);
    fits = CopyWhole(entry.LinkName, f[schema::kLinkName]) && fits;
    fits = CopyWhole(entry.Target, f[schema::kLinkTarget]) && fits;
    fits = CopyWhole(entry.WorkingFolder, f[schema::kLinkWorkingFolder]) && fits;
    return CopyWhole(entry.Arguments, f[schema::kLinkArguments]) && fits;
}

bool ParseLaunchLine(std::wstring line, LaunchEntry& entry) {
    std::wstring f[schema::kRunFieldCount];
    SplitFields(std::move(line), f);
    entry.FromPackage = ReadInt(f[schema::kRunFromPackage]);
    entry.Wait = ReadInt(f[schema::kRunWait]);
    entry.UseExitCode = ReadInt(f[schema::kRunUseExitCode]);
    entry.Show = ReadInt(f[schema::kRunShow]);
    vrel::CopyToField(entry.Message, std::wstring_view(f[schema::kRunMessage]));  // only shown: cut
    const bool fits = CopyWhole(entry.CommandLine, f[schema::kRunCommandLine]);
    return CopyWhole(entry.FileName, f[schema::kRunFileName]) && fits;
}

bool ParseDllLine(std::wstring line, DllEntry& entry) {
    std::wstring f[schema::kDllFieldCount];
    SplitFields(std::move(line), f);
    entry.Value = ReadInt(f[schema::kDllValue]);
    const bool fits = CopyWhole(entry.Path, f[schema::kDllPath]);
    return CopyWhole(entry.Name, f[schema::kDllName]) && fits;
}

void ParseOsNumbers(std::wstring list, std::int32_t (&numbers)[kOsCount]) {
    for (std::int32_t& number : numbers) number = list.empty() ? 0 : ReadInt(Next(list));
}

bool ParsePackageKey(std::wstring value, std::int32_t& root, wchar_t (&path)[kOptionField]) {
    root = ReadInt(Next(value));  // without a comma the whole value is the root
    return CopyWhole(path, value);
}

bool ParseRequiredKeyLine(std::wstring line, RequiredKey& key) {
    std::wstring f[schema::kRequiredKeyFieldCount];
    SplitFields(std::move(line), f);
    vrel::CopyToField(key.AppName, std::wstring_view(f[schema::kRequiredAppName]));
    key.Root = ReadInt(f[schema::kRequiredRoot]);
    key.TestValue = ReadInt(f[schema::kRequiredTestValue]);
    key.CompareData = ReadInt(f[schema::kRequiredCompareData]);
    key.ValueType = ReadInt(f[schema::kRequiredValueType]);
    bool fits = CopyWhole(key.SubKey, f[schema::kRequiredSubKey]);
    fits = CopyWhole(key.ValueName, f[schema::kRequiredValueName]) && fits;
    return CopyWhole(key.ExpectedData, f[schema::kRequiredExpectedData]) && fits;
}

}  // namespace tarnex
