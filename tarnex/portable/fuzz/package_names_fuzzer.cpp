// libFuzzer target: the names a package joins to folders (cabinet entries,
// target names, INF paths, shortcut names) through the path guard, and the
// version texts of packaged files. The first byte picks the case.
//
// The guard is checked against how Windows resolves a path: whatever it
// accepts, joined to a folder, stays below that folder and names no device,
// however trailing dots, blanks and both separators are read. Version texts
// are checked for a consistent order, and the text of a file's version
// resource against its four numbers. A quiet command line the installer
// accepts must mean what its plain search for "/u" and "/r" makes of it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <tuple>

#include "portable/access_filter.h"
#include "portable/env_pieces.h"
#include "portable/path_guard.h"
#include "portable/quiet_switches.h"
#include "portable/replace_rules.h"

namespace {

using namespace tarnex;

#define Require(condition)                                                                      \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "package_names_fuzzer: %s (line %d)\n", #condition, __LINE__); \
            __builtin_trap();                                                                   \
        }                                                                                       \
    } while (false)

std::wstring Text(const std::uint8_t* data, std::size_t size) {
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

bool IsDevice(std::wstring component) {
    component = component.substr(0, component.find(L'.'));
    while (!component.empty() && component.back() == L' ') component.pop_back();
    for (wchar_t& c : component)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    if (component == L"CON" || component == L"PRN" || component == L"AUX" || component == L"NUL" ||
        component == L"CONIN$" || component == L"CONOUT$")
        return true;
    const std::wstring port = component.substr(0, 3);
    return component.size() == 4 && (port == L"COM" || port == L"LPT") &&
           ((component[3] >= L'0' && component[3] <= L'9') || component[3] == L'\u00B9' ||
            component[3] == L'\u00B2' || component[3] == L'\u00B3');
}

// How deep below its folder a relative path ends when every component made
// only of dots and blanks may climb (Windows drops trailing dots and blanks;
// older systems took "..." as two levels up); -1 when it may leave the
// folder, names a device, or is no relative path at all.
int Depth(const std::wstring& name) {
    if (name.empty() || name[0] == L'\\' || name[0] == L'/' || name.find(L':') != std::wstring::npos) return -1;
    int depth = 0;
    std::size_t from = 0;
    for (;;) {
        const std::size_t end = name.find_first_of(L"\\/", from);
        const std::wstring part = name.substr(from, end == std::wstring::npos ? std::wstring::npos : end - from);
        if (IsDevice(part)) return -1;
        std::wstring trimmed = part;
        while (!trimmed.empty() && (trimmed.back() == L'.' || trimmed.back() == L' ')) trimmed.pop_back();
        if (trimmed.empty() && part.find(L'.') != std::wstring::npos) {
            depth -= static_cast<int>(part.size());  // as many levels as it has characters, at worst
            if (depth < 0) return -1;
        } else if (!part.empty()) {
            ++depth;
        }
        if (end == std::wstring::npos) return depth;
        from = end + 1;
    }
}

void GuardCase(const std::wstring& name) {
    if (StaysInsideFolder(name)) {
        Require(Depth(name) >= 0);
        // The temporary copy's name stays inside too.
        Require(Depth(L"vrel_" + name) >= 0);
    }
    Require(NamesDevice(name) == IsDevice(name));
}

// A cabinet entry, the record's SourceName and TargetName (separated by
// "|"): what the extraction writes when the entry matches.
void CabinetEntryCase(const std::wstring& text, int accessVersion) {
    const std::size_t bar = text.find(L'|');
    const std::wstring entry = text.substr(0, bar);
    const std::wstring target = bar == std::wstring::npos ? entry : text.substr(bar + 1);
    const bool written = !AccessFilterPassesOver(entry, accessVersion) && StaysInsideFolder(entry) &&
                         StaysInsideFolder(target);
    if (written) Require(Depth(target) >= 1 && Depth(L"vrel_" + target) >= 1);
    const std::wstring other = accessVersion == 1 ? L"2000_" : L"97_";
    if (entry.compare(0, other.size(), other) == 0) Require(!written);
}

// Version texts: a consistent order; the text of a version resource orders
// as its four numbers.
void VersionCase(const std::uint8_t* data, std::size_t size, const std::wstring& text) {
    const std::size_t bar = text.find(L'|');
    const std::wstring a = text.substr(0, bar), b = bar == std::wstring::npos ? L"" : text.substr(bar + 1);
    const int ab = CompareVersionText(a, b), ba = CompareVersionText(b, a);
    if (a.empty() || b.empty()) Require(ab == (a.empty() && b.empty() ? 2 : a.empty() ? -1 : 1));
    else Require(ab == -ba && CompareVersionText(a, a) == 0);
    if (size >= 16) {
        std::uint32_t v[4];
        for (int i = 0; i < 4; ++i) v[i] = static_cast<std::uint32_t>(data[4 * i] | data[4 * i + 1] << 8 | data[4 * i + 2] << 16 | data[4 * i + 3] << 24);
        const std::wstring x = FormatFileVersion(v[0], v[1]), y = FormatFileVersion(v[2], v[3]);
        const auto tx = std::make_tuple(v[0] >> 16, v[0] & 0xFFFF, v[1] >> 16, v[1] & 0xFFFF);
        const auto ty = std::make_tuple(v[2] >> 16, v[2] & 0xFFFF, v[3] >> 16, v[3] & 0xFFFF);
        Require(CompareVersionText(x, y) == (tx < ty ? -1 : ty < tx ? 1 : 0));
    }
}

// A variable's value and a list: pieces, adding, taking back.
void EnvCase(const std::wstring& text) {
    const std::size_t bar = text.find(L'|');
    const std::wstring value = text.substr(0, bar), list = bar == std::wstring::npos ? L"" : text.substr(bar + 1);
    for (const std::wstring& piece : SplitEnvPieces(value)) {
        Require(!piece.empty() && piece.find(L';') == std::wstring::npos);
        const std::wstring added = AppendEnvPiece(list, piece);
        if (EnvPiecePresent(list, piece)) {
            Require(added.empty());
            continue;
        }
        Require(EnvPiecePresent(added, piece));
        Require(RemoveEnvPiece(added, piece).has_value());
    }
}

}  // namespace

// A quiet command line that is accepted means what the program's substring
// search for "/u" and "/r" makes of it, and gives a folder without "/".
void QuietSwitchesCase(const std::wstring& text) {
    const QuietSwitches s = ParseQuietSwitches(text);
    if (!s.quiet || !s.error.empty()) return;
    Require(s.removal == (text.find(L"/u") != std::wstring::npos));
    Require(s.continuation == (text.find(L"/r") != std::wstring::npos));
    Require(s.installFolder.find(L'/') == std::wstring::npos);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::wstring text = Text(data + 1, size - 1);
    switch (data[0] % 8) {
    case 0:
    case 1: GuardCase(text); break;
    case 2: CabinetEntryCase(text, 1); break;
    case 3: CabinetEntryCase(text, 2); break;
    case 4: VersionCase(data + 1, size - 1, text); break;
    case 5: QuietSwitchesCase(text); break;
    default: EnvCase(text); break;
    }
    return 0;
}
