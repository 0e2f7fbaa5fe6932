// libFuzzer target: the description's value and line parsers on arbitrary
// line texts. The first byte picks the parser; the rest is the line text as
// the INF layer hands it out (fields joined by single commas, no NUL).
//
// Each parser is checked against the format as package authors read it:
// the line split at commas into fields, each field in its place (numbers by
// the leading-digits rule, clamped to 32 bits), the fields marked "and the
// rest of the line" taking everything after the previous ones, names that
// do not fit their field refusing the line, texts only shown cut to it.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "description/portable/line_parsers.h"
#include "portable/text_pieces.h"

namespace {

using namespace tarnex;

#define Require(condition)                                                                         \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "description_values_fuzzer: %s (line %d)\n", #condition, __LINE__); \
            __builtin_trap();                                                                      \
        }                                                                                          \
    } while (false)

// Bytes to a line text: each byte one character, except that 0xFF followed
// by two bytes is one character above 0xFF (Cyrillic, symbols); NUL never
// reaches a parser.
std::wstring LineText(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    for (std::size_t i = 0; i < size; ++i) {
        wchar_t c = data[i];
        if (data[i] == 0xFF && i + 2 < size) {
            c = static_cast<wchar_t>(data[i + 1] << 8 | data[i + 2]);
            i += 2;
        }
        if (c != 0) text += c;
    }
    return text;
}

std::vector<std::wstring> Fields(const std::wstring& line, wchar_t separator = L',') {
    std::vector<std::wstring> fields;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = line.find(separator, from);
        fields.push_back(line.substr(from, at == std::wstring::npos ? std::wstring::npos : at - from));
        if (at == std::wstring::npos) return fields;
        from = at + 1;
    }
}

std::wstring Field(const std::vector<std::wstring>& f, std::size_t i) { return i < f.size() ? f[i] : L""; }

// Everything after the first n fields, commas included.
std::wstring Rest(const std::vector<std::wstring>& f, std::size_t n) {
    std::wstring rest;
    for (std::size_t i = n; i < f.size(); ++i) rest += (i > n ? L"," : L"") + f[i];
    return rest;
}

// The leading-digits rule: blanks, a sign, digits; clamped to 32 bits.
std::int64_t Number(const std::wstring& text, std::int64_t low = INT_MIN, std::int64_t high = INT_MAX,
                    bool sign = true) {
    std::size_t i = text.find_first_not_of(L" \t");
    if (i == std::wstring::npos) return 0;
    bool negative = false;
    if (sign && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) value = std::min<std::int64_t>(value * 10 + (text[i] - L'0'), 1LL << 40);
    value = negative ? -value : value;
    return value < low ? low : value > high ? high : value;
}

template <std::size_t N>
bool Terminated(const wchar_t (&field)[N]) {
    for (std::size_t i = 0; i < N; ++i)
        if (field[i] == L'\0') return true;
    return false;
}

// A name field: whole when it fits, and then the line may be kept.
template <std::size_t N>
bool Whole(const wchar_t (&field)[N], const std::wstring& text, bool kept) {
    Require(Terminated(field));
    const bool fits = text.size() < N;
    if (kept) Require(fits && text == field);
    return fits;
}

// A text only shown: cut to the field.
template <std::size_t N>
void Cut(const wchar_t (&field)[N], const std::wstring& text) {
    Require(Terminated(field));
    Require(text.substr(0, N - 1) == field);
}

void FileLineCase(const std::wstring& line) {
    const auto f = Fields(line);
    const FileLine split = SplitFileLine(line);
    Require(split.SourceName == Field(f, 0));
    Require(split.TargetName == (Field(f, 1).empty() ? Field(f, 0) : Field(f, 1)));
    Require(split.FileFlags == (Field(f, 2).empty() ? 0 : Number(Field(f, 2))));
    FileRecord record;
    const bool kept = FillFileNames(split, record);
    const bool sourceFits = Whole(record.SourceName, split.SourceName, kept);
    Require(kept == (Whole(record.TargetName, split.TargetName, kept) && sourceFits));
}

void SourceDisksCase(const std::wstring& value) {
    const auto f = Fields(value);
    FileRecord record;
    ApplySourceDisksValue(value, record);
    Require(record.Size == static_cast<std::uint32_t>(Number(Field(f, 1), 0, UINT32_MAX, false)));
    const auto date = Fields(Field(f, 2), L'-'), time = Fields(Field(f, 3), L':');
    Require(record.Time.Year == Number(Field(date, 0), 0, 0xFFFF) && record.Time.Month == Number(Field(date, 1), 0, 0xFFFF) &&
            record.Time.Day == Number(Field(date, 2), 0, 0xFFFF));
    // The seconds are the first two characters; a third "p" is afternoon.
    const std::wstring seconds = Field(time, 2);
    std::int64_t hour = Number(Field(time, 0));
    if (seconds.size() > 2 && seconds[2] == L'p' && hour != 12) hour += 12;
    Require(record.Time.Hour == (hour < 0 ? 0 : hour > 0xFFFF ? 0xFFFF : hour));
    Require(record.Time.Minute == Number(Field(time, 1), 0, 0xFFFF));
    Require(record.Time.Second == Number(seconds.substr(0, 2), 0, 0xFFFF));
    Require(record.Time.DayOfWeek == 0 && record.Time.Milliseconds == 0);
    Cut(record.FileVersion, Rest(f, 4));
}

void DestinationCase(const std::wstring& value) {
    FileRecord record;
    const std::wstring system = L"C:\\WINDOWS\\system32\\";
    const bool kept = ApplyDestinationDir(value, system, record);
    Require(kept == Whole(record.TargetFolder, value == L"11" ? system : value, kept));
}

void RegistryCase(const std::wstring& line) {
    const auto f = Fields(line);
    RegistryEntry e;
    const bool kept = ParseRegistryLine(line, e);
    Require(e.Root == Number(Field(f, 0)) && e.ValueType == Number(Field(f, 3)));
    bool fits = Whole(e.SubKey, Field(f, 1), kept);
    fits = Whole(e.ValueName, Field(f, 2), kept) && fits;
    Require(kept == (Whole(e.Data, Field(f, 4), kept) && fits));
}

void EnvVarCase(const std::wstring& line) {
    const auto f = Fields(line);
    EnvVarEntry e;
    const bool kept = ParseEnvVarLine(line, e);
    Require(e.System == Number(Field(f, 1)) && e.Replace == Number(Field(f, 2)));
    const bool fits = Whole(e.Name, Field(f, 0), kept);
    Require(kept == (Whole(e.Value, Rest(f, 3), kept) && fits));
}

void LinkCase(const std::wstring& line) {
    const auto f = Fields(line);
    LinkEntry e;
    const bool kept = ParseLinkLine(line, e);
    bool fits = Whole(e.Folder, Field(f, 0), kept);
    fits = Whole(e.LinkName, Field(f, 1), kept) && fits;
    fits = Whole(e.Target, Field(f, 2), kept) && fits;
    fits = Whole(e.WorkingFolder, Field(f, 3), kept) && fits;
    Require(kept == (Whole(e.Arguments, Rest(f, 4), kept) && fits));
}

void LaunchCase(const std::wstring& line) {
    const auto f = Fields(line);
    LaunchEntry e;
    const bool kept = ParseLaunchLine(line, e);
    Require(e.FromPackage == Number(Field(f, 2)) && e.Wait == Number(Field(f, 3)) &&
            e.UseExitCode == Number(Field(f, 4)) && e.Show == Number(Field(f, 5)));
    Cut(e.Message, Field(f, 6));
    const bool fits = Whole(e.CommandLine, Field(f, 0), kept);
    Require(kept == (Whole(e.FileName, Field(f, 1), kept) && fits));
}

void DllCase(const std::wstring& line) {
    const auto f = Fields(line);
    DllEntry e;
    const bool kept = ParseDllLine(line, e);
    Require(e.Value == Number(Field(f, 2)));
    const bool fits = Whole(e.Path, Field(f, 0), kept);
    Require(kept == (Whole(e.Name, Field(f, 1), kept) && fits));
}

void OsNumbersCase(const std::wstring& list) {
    const auto f = Fields(list);
    std::int32_t numbers[kOsCount];
    for (std::int32_t& n : numbers) n = 77;
    ParseOsNumbers(list, numbers);
    for (std::size_t i = 0; i < kOsCount; ++i) Require(numbers[i] == (list.empty() ? 0 : Number(Field(f, i))));
}

void PackageKeyCase(const std::wstring& value) {
    const auto f = Fields(value);
    std::int32_t root = -1;
    wchar_t path[kOptionField] = {};
    const bool kept = ParsePackageKey(value, root, path);
    Require(root == Number(Field(f, 0)));
    Require(kept == Whole(path, Rest(f, 1), kept));
}

void RequiredKeyCase(const std::wstring& line) {
    const auto f = Fields(line);
    RequiredKey key;
    const bool kept = ParseRequiredKeyLine(line, key);
    Cut(key.AppName, Field(f, 0));
    Require(key.Root == Number(Field(f, 1)) && key.TestValue == Number(Field(f, 3)) &&
            key.CompareData == Number(Field(f, 5)) && key.ValueType == Number(Field(f, 6)));
    bool fits = Whole(key.SubKey, Field(f, 2), kept);
    fits = Whole(key.ValueName, Field(f, 4), kept) && fits;
    Require(kept == (Whole(key.ExpectedData, Field(f, 7), kept) && fits));
}

// "%65600%" and "%Program Files%": the text before the first "|" with every
// occurrence replaced by what follows it.
void SubstitutionCase(const std::wstring& input, bool installFolder) {
    const std::wstring pattern = installFolder ? L"%65600%" : L"%Program Files%";
    const std::size_t bar = input.find(L'|');
    const std::wstring text = input.substr(0, bar);
    const std::wstring folder = bar == std::wstring::npos ? L"" : input.substr(bar + 1);
    std::wstring out;
    Require(ReplaceAll(text, pattern, folder, out) == 1);
    std::wstring expected;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(pattern, from)) != std::wstring::npos; from = at + pattern.size())
        expected += text.substr(from, at - from) + folder;
    Require(out == expected + text.substr(from));
    Require(out.size() == text.size() + CountOccurrences(text.c_str(), pattern) * folder.size() -
                              CountOccurrences(text.c_str(), pattern) * pattern.size());
}

void TokenCase(const std::wstring& line) {
    // Splitting at commas one field at a time gives the fields in order.
    std::wstring rest = line, token;
    std::vector<std::wstring> split;
    for (int more = 1; more;) {
        more = SplitToken(rest, L",", token);
        split.push_back(token);
    }
    Require(rest.empty() && split == Fields(line));
    Require(ReadInt(line) == Number(line));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::wstring line = LineText(data + 1, size - 1);
    switch (data[0] % 16) {
    case 0: FileLineCase(line); break;
    case 1: SourceDisksCase(line); break;
    case 2: DestinationCase(line); break;
    case 3: RegistryCase(line); break;
    case 4: EnvVarCase(line); break;
    case 5: LinkCase(line); break;
    case 6: LaunchCase(line); break;
    case 7: DllCase(line); break;
    case 8: OsNumbersCase(line); break;
    case 9: PackageKeyCase(line); break;
    case 10: RequiredKeyCase(line); break;
    case 11: SubstitutionCase(line, true); break;
    case 12: SubstitutionCase(line, false); break;
    default: TokenCase(line); break;
    }
    return 0;
}
