// libFuzzer target: the catalogue's rules over arbitrary user INF files, as
// the catalogue loader applies them. The input is lines of
// "NUMBERS|DEPENDENCES|STATES|flags"; a line "#" starts the next INF file.
// The first byte picks the run mode.
//
// Checked: Numbers grow by one across files whatever NUMBERS says (numbers
// past 2^31 and 2^32 included); a dependency is 0, -1 or the Number of a
// component at or before its own (so the only cycle a package can make is a
// component under itself); an empty field ends the list; the page's state
// rules and the per-mode actions keep to their tables.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "description/portable/component_rules.h"
#include "portable/text_pieces.h"

namespace {

using namespace tarnex;

#define Require(condition)                                                                        \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "catalogue_rules_fuzzer: %s (line %d)\n", #condition, __LINE__); \
            __builtin_trap();                                                                     \
        }                                                                                         \
    } while (false)

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(separator, from);
        parts.push_back(text.substr(from, at == std::wstring::npos ? std::wstring::npos : at - from));
        if (at == std::wstring::npos) return parts;
        from = at + 1;
    }
}

void CheckDependencies(const ComponentRecord& c, const std::wstring& value,
                       const std::vector<std::pair<std::int32_t, std::int32_t>>& pairs) {
    // The fields before the first empty one, each resolved through the pairs
    // of this file so far (the first pair of a local number wins).
    std::size_t expected = 0;
    if (!value.empty())
        for (const std::wstring& field : Split(value, L',')) {
            if (field.empty()) break;
            ++expected;
        }
    Require(c.Dependencies.size() == expected);
    const auto fields = Split(value, L',');
    for (std::size_t i = 0; i < c.Dependencies.size(); ++i) {
        const std::int32_t d = c.Dependencies[i];
        Require(d == 0 || d == kNoDependency || (d >= 1 && d <= c.Number));
        const std::int32_t local = ReadInt(fields[i]);
        std::int32_t resolved = local == 0 ? 0 : kNoDependency;
        for (const auto& pair : pairs)
            if (local != 0 && pair.first == local) {
                resolved = pair.second;
                break;
            }
        Require(d == resolved);
    }
}

void CheckPageAndSteps(std::uint32_t mode, const ComponentRecord& c) {
    const std::uint8_t shown = InitialPageState(mode, c);
    if (mode == kModeAd && c.State == 1 && c.Installed) Require(shown == 2);
    else if (mode == kModeAd && c.State == 2 && !c.Installed) Require(shown == 1);
    else Require(shown == c.State);
    Require(StateCountsAsChosen(c.State) == (c.State != 1 && c.State != 4));

    const bool installing = mode == kModeInst || mode == kModeRep || mode == kModeAd;
    const bool removing = installing || mode == kModeDel || mode == kModeSd;
    Require(RemovalStepsActOn(mode, c) == (removing && c.Installed != 0));
    Require(InstallStepsActOn(mode, c) == (installing && c.Selected != 0));
    const std::wstring section = InstallSectionName(c.EngName, mode);
    Require(section == std::wstring(c.EngName) +
                           (mode == kModeDel || mode == kModeSd ? L" - DefaultUnInstall" : L" - DefaultInstall"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint32_t mode = data[0] % 8;  // 6 and 7: values outside the modes
    std::wstring text;
    for (std::size_t i = 1; i < size; ++i) text += static_cast<wchar_t>(data[i]);

    std::vector<ComponentRecord> list(1);
    list.reserve(66);
    list[0].Number = 0;
    LocalNumberMap map;
    std::vector<std::pair<std::int32_t, std::int32_t>> pairs;
    for (const std::wstring& line : Split(text, L'\n')) {
        if (list.size() > 64) break;
        if (line == L"#") {  // the next INF file: a map of its own
            map = LocalNumberMap();
            pairs.clear();
            continue;
        }
        const auto parts = Split(line, L'|');
        const auto part = [&](std::size_t i) { return i < parts.size() ? parts[i] : std::wstring(); };
        ComponentRecord c;
        c.EngName[0] = L'C';
        c.Number = NextComponentNumber(list);
        Require(c.Number == static_cast<std::int32_t>(list.size()));
        const std::int32_t local = ReadInt(part(0));
        map.Add(local, c.Number);
        pairs.emplace_back(local, c.Number);
        c.Dependencies = ResolveDependencies(part(1), map);
        CheckDependencies(c, part(1), pairs);
        c.State = static_cast<std::uint8_t>(ReadInt(part(2)) & 0xFF);
        const std::wstring flags = part(3);
        c.Installed = !flags.empty() && (flags[0] & 1);
        c.Selected = !flags.empty() && (flags[0] & 2);
        CheckPageAndSteps(mode, c);
        list.push_back(c);
    }

    std::vector<ComponentRecord> summary = list;
    SelectInstalledForSummary(mode, summary);
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (mode == kModeRep) Require(summary[i].Selected == (list[i].Installed ? 1 : list[i].Selected));
        else if (mode == kModeDel || mode == kModeSd) Require(summary[i].Selected == (list[i].Installed ? 1 : 0));
        else Require(summary[i].Selected == list[i].Selected);
    }
    return 0;
}
