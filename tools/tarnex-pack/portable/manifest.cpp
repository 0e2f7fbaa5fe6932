#include "manifest.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "description/component_record.h"
#include "description/section_records.h"
#include "description/setup_description.h"
#include "portable/path_guard.h"

namespace pack {
namespace {

constexpr std::size_t kMaxDiagnostics = 100;

// ---- text -------------------------------------------------------------

bool DecodeUtf8(std::string_view bytes, std::wstring& text) {
    text.clear();
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        std::uint32_t cp = 0;
        std::size_t extra = 0;
        if (b < 0x80) cp = b;
        else if (b >= 0xC2 && b <= 0xDF) cp = b & 0x1Fu, extra = 1;
        else if (b >= 0xE0 && b <= 0xEF) cp = b & 0x0Fu, extra = 2;
        else if (b >= 0xF0 && b <= 0xF4) cp = b & 0x07u, extra = 3;
        else return false;
        if (i + extra >= bytes.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const unsigned char c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xC0u) != 0x80u) return false;
            cp = (cp << 6) | (c & 0x3Fu);
        }
        // Overlong forms, surrogates and values beyond Unicode are not text.
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            text.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            text.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FFu)));
        } else {
            text.push_back(static_cast<wchar_t>(cp));
        }
        i += extra + 1;
    }
    return true;
}

bool DecodeManifest(std::string_view bytes, std::wstring& text) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        if (bytes.size() % 2 != 0) return false;
        text.clear();
        for (std::size_t i = 2; i < bytes.size(); i += 2)
            text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                                (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        return true;
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return DecodeUtf8(bytes, text);
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring Trim(std::wstring_view text) {
    std::size_t a = 0, b = text.size();
    while (a < b && IsBlank(text[a])) ++a;
    while (b > a && IsBlank(text[b - 1])) --b;
    return std::wstring(text.substr(a, b - a));
}

wchar_t FoldChar(wchar_t c) {
    if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c + 32);
    if (c >= 0x0410 && c <= 0x042F) return static_cast<wchar_t>(c + 0x20);  // А..Я
    if (c >= 0x0400 && c <= 0x040F) return static_cast<wchar_t>(c + 0x50);  // Ѐ..Џ
    return c;
}

// Splits at "|" into at most count fields; the last one takes the rest.
std::vector<std::wstring> SplitFields(const std::wstring& value, std::size_t count) {
    std::vector<std::wstring> fields;
    std::size_t start = 0;
    while (fields.size() + 1 < count) {
        const std::size_t bar = value.find(L'|', start);
        if (bar == std::wstring::npos) break;
        fields.push_back(Trim(std::wstring_view(value).substr(start, bar - start)));
        start = bar + 1;
    }
    fields.push_back(Trim(std::wstring_view(value).substr(start)));
    fields.resize(count);
    return fields;
}

std::vector<std::wstring> SplitList(const std::wstring& value, const wchar_t* separators) {
    std::vector<std::wstring> items;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find_first_of(separators, start);
        if (end == std::wstring::npos) end = value.size();
        std::wstring item = Trim(std::wstring_view(value).substr(start, end - start));
        if (!item.empty()) items.push_back(std::move(item));
        start = end + 1;
    }
    return items;
}

bool ReadNumber(const std::wstring& text, std::int64_t low, std::int64_t high, std::int64_t& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && text[i] == L'-') negative = true, ++i;
    if (i == text.size()) return false;
    std::int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        v = v * 10 + (text[i] - L'0');
        if (v > high + 1) return false;
    }
    value = negative ? -v : v;
    return value >= low && value <= high;
}

// ---- field rules --------------------------------------------------------

// Checks of one field: what the description's reader needs of it.
struct FieldRule {
    std::size_t capacity;      // of the reader's field, terminator included
    bool noComma = false;      // the reader splits the line at commas here
    bool required = false;
};

std::wstring CheckField(const std::wstring& text, const FieldRule& rule) {
    if (rule.required && text.empty()) return L"must not be empty";
    if (text.size() >= rule.capacity)
        return L"is " + std::to_wstring(text.size()) + L" characters long; the installer reads at most " +
               std::to_wstring(rule.capacity - 1);
    if (rule.noComma && text.find(L',') != std::wstring::npos)
        return L"must not hold a comma (the installer splits this line at commas)";
    for (wchar_t c : text)
        if (c < 0x20 && c != L'\t') return L"holds a control character";
    return L"";
}

bool IsRootName(const std::wstring& name, std::int32_t& root) {
    static const std::pair<const wchar_t*, std::int32_t> kRoots[] = {
        {L"HKCR", 1}, {L"HKEY_CLASSES_ROOT", 1}, {L"HKCU", 2}, {L"HKEY_CURRENT_USER", 2},
        {L"HKLM", 3}, {L"HKEY_LOCAL_MACHINE", 3}, {L"HKU", 4},  {L"HKEY_USERS", 4}};
    for (const auto& [text, index] : kRoots)
        if (SameName(name, text)) {
            root = index;
            return true;
        }
    return false;
}

// Keys that other programs share. Removing a package deletes every key it
// names with all that lies below it, so such a key (or one above it) would
// take the system's data with it.
bool IsSharedKey(const std::wstring& key) {
    static const wchar_t* const kShared[] = {
        L"Software\\Classes\\CLSID",
        L"Software\\Classes\\Interface",
        L"Software\\Classes\\TypeLib",
        L"Software\\Classes\\AppID",
        L"Software\\Classes\\*",
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
        L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
        L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths",
        L"Software\\Microsoft\\Windows NT\\CurrentVersion",
        L"Software\\Policies\\Microsoft",
        L"Software\\Wow6432Node\\Microsoft",
        L"System\\CurrentControlSet\\Control\\Session Manager\\Environment",
        L"System\\CurrentControlSet\\Services",
        L"Environment",
        L"Control Panel\\Desktop",
        L"CLSID",
        L"Interface",
        L"TypeLib",
        L"AppID",
        L"*",
        L".DEFAULT\\Software\\Microsoft",
    };
    std::wstring k = key;
    while (!k.empty() && k.back() == L'\\') k.pop_back();
    if (k.empty()) return true;
    const std::wstring folded = FoldName(k);
    for (const wchar_t* shared : kShared) {
        const std::wstring s = FoldName(shared);
        // The key itself, or a key above it.
        if (s == folded || (s.size() > folded.size() && s.compare(0, folded.size(), folded) == 0 &&
                            s[folded.size()] == L'\\'))
            return true;
    }
    return false;
}

std::wstring CheckRegistryKey(const std::wstring& text, std::int32_t& root, std::wstring& path) {
    const std::size_t slash = text.find(L'\\');
    const std::wstring rootName = text.substr(0, slash);
    if (!IsRootName(rootName, root))
        return L"must start with HKCR, HKCU, HKLM or HKU (or their long names) and a backslash";
    path = slash == std::wstring::npos ? L"" : text.substr(slash + 1);
    if (path.empty()) return L"names a whole registry root";
    if (path.find(L"\\\\") != std::wstring::npos || path.back() == L'\\' || path.front() == L'\\')
        return L"has an empty part between backslashes";
    if (IsSharedKey(path))
        return L"names a key other programs share; the removal deletes the key with everything below it";
    return L"";
}

// ---- the reader ---------------------------------------------------------

class Reader {
public:
    Reader(Manifest& manifest, std::vector<Diagnostic>& diagnostics) : m_(manifest), d_(diagnostics) {}

    void Run(const std::wstring& text);

private:
    enum class Section { None, Package, Component, Refused };

    void Error(int line, const std::wstring& message) {
        if (d_.size() < kMaxDiagnostics) d_.push_back({line, message});
    }
    void FieldError(int line, const wchar_t* what, const std::wstring& problem) {
        if (!problem.empty()) Error(line, std::wstring(what) + L" " + problem);
    }

    void Header(int line, const std::wstring& name);
    void PackageKey(int line, const std::wstring& key, const std::wstring& value);
    void ComponentKey(int line, const std::wstring& key, const std::wstring& value);
    bool EntryKey(int line, const std::wstring& key, const std::wstring& value, Entries& entries);
    void Single(int line, const std::wstring& key, const std::wstring& value, Located& slot);
    void Finish();

    void Take(int line, bool folder, const std::wstring& value, ComponentSpec& c);
    void Registry(int line, const std::wstring& value, Entries& entries);
    void Environment(int line, const std::wstring& value, Entries& entries);
    void Shortcut(int line, const std::wstring& value, Entries& entries);
    void Launch(int line, const std::wstring& value, std::vector<RunLine>& list);

    Manifest& m_;
    std::vector<Diagnostic>& d_;
    Section section_ = Section::None;
    bool sawPackage_ = false;
};

void Reader::Run(const std::wstring& text) {
    int line = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring raw = text.substr(start, end - start);
        start = end + 1;
        ++line;
        if (!raw.empty() && raw.back() == L'\r') raw.pop_back();
        const std::wstring content = Trim(raw);
        if (content.empty() || content[0] == L';' || content[0] == L'#') continue;
        if (content[0] == L'[') {
            if (content.back() != L']') {
                Error(line, L"a section header must end with \"]\"");
                section_ = Section::Refused;
                continue;
            }
            Header(line, Trim(std::wstring_view(content).substr(1, content.size() - 2)));
            continue;
        }
        const std::size_t equals = content.find(L'=');
        if (equals == std::wstring::npos) {
            Error(line, L"expected KEY = VALUE");
            continue;
        }
        const std::wstring key = Trim(std::wstring_view(content).substr(0, equals));
        const std::wstring value = Trim(std::wstring_view(content).substr(equals + 1));
        if (key.empty()) Error(line, L"a key is missing before \"=\"");
        else if (section_ == Section::Package) PackageKey(line, key, value);
        else if (section_ == Section::Component) ComponentKey(line, key, value);
        else if (section_ == Section::Refused) continue;  // its header was reported
        else Error(line, L"\"" + key + L"\" comes before any section");
    }
    Finish();
}

void Reader::Header(int line, const std::wstring& name) {
    if (SameName(name, L"Package")) {
        if (sawPackage_) Error(line, L"a second [Package] section");
        sawPackage_ = true;
        m_.package.line = line;
        section_ = Section::Package;
        return;
    }
    const std::wstring prefix = L"Component ";
    if (name.size() > prefix.size() && SameName(std::wstring_view(name).substr(0, prefix.size()), prefix)) {
        ComponentSpec c;
        c.engName = Trim(std::wstring_view(name).substr(prefix.size()));
        c.line = line;
        // The name keys every catalogue section, names the install sections
        // and becomes a registry key: characters with a meaning in any of
        // them are refused.
        if (c.engName.find_first_of(L"[]\\/,;\"%=") != std::wstring::npos)
            Error(line, L"the component name \"" + c.engName + L"\" holds one of [ ] \\ / , ; \" % =");
        FieldError(line, L"the component name", CheckField(c.engName, {tarnex::kEngNameField, false, true}));
        for (const ComponentSpec& other : m_.components)
            if (SameName(other.engName, c.engName))
                Error(line, L"a second component named \"" + c.engName + L"\" (the first is on line " +
                                std::to_wstring(other.line) + L")");
        m_.components.push_back(std::move(c));
        section_ = Section::Component;
        return;
    }
    Error(line, L"unknown section [" + name + L"]; expected [Package] or [Component NAME]");
    section_ = Section::Refused;
}

void Reader::Single(int line, const std::wstring& key, const std::wstring& value, Located& slot) {
    if (slot.given()) {
        Error(line, L"\"" + key + L"\" is given twice (first on line " + std::to_wstring(slot.line) + L")");
        return;
    }
    slot.text = value;
    slot.line = line;
}

void Reader::PackageKey(int line, const std::wstring& key, const std::wstring& value) {
    PackageSpec& p = m_.package;
    if (EntryKey(line, key, value, p.entries)) return;
    const std::pair<const wchar_t*, Located*> singles[] = {
        {L"Name", &p.name},
        {L"NameGen", &p.nameGen},
        {L"NameUnInst", &p.nameUnInst},
        {L"DisplayVersion", &p.displayVersion},
        {L"Publisher", &p.publisher},
        {L"Dir", &p.dir},
        {L"Key", &p.key},
        {L"Installer", &p.installer},
        {L"SetNameUI", &p.setNameUI},
        {L"BackName", &p.backName},
        {L"Access", &p.access},
        {L"SupportMode", &p.supportMode},
        {L"BackWindow", &p.backWindow},
        {L"OSVersions", &p.osVersions},
        {L"OSServicePacks", &p.osServicePacks},
        {L"Files", &p.files},
        {L"CodePage", &p.codePage},
        {L"LicenseFile", &p.licenseFile},
        {L"BackPicture", &p.backPicture},
    };
    for (const auto& [name, slot] : singles)
        if (SameName(key, name)) return Single(line, name, value, *slot);
    for (std::size_t i = 0; i < kPageCount; ++i)
        if (SameName(key, (L"PagePicture" + std::to_wstring(i)).c_str()))
            return Single(line, key, value, p.pagePictures[i]);
    Error(line, L"unknown key \"" + key + L"\" in [Package]");
}

void Reader::ComponentKey(int line, const std::wstring& key, const std::wstring& value) {
    ComponentSpec& c = m_.components.back();
    if (EntryKey(line, key, value, c.entries)) return;
    if (SameName(key, L"File")) return Take(line, false, value, c);
    if (SameName(key, L"Folder")) return Take(line, true, value, c);
    if (SameName(key, L"RunBefore")) return Launch(line, value, c.runBefore);
    if (SameName(key, L"RunAfter")) return Launch(line, value, c.runAfter);
    if (SameName(key, L"RemoveBefore")) return Launch(line, value, c.removeBefore);
    if (SameName(key, L"RemoveAfter")) return Launch(line, value, c.removeAfter);
    if (SameName(key, L"Parent")) {
        if (!c.parents.empty()) return Error(line, L"\"Parent\" is given twice; list several parents on one line");
        for (const std::wstring& parent : SplitList(value, L",")) c.parents.push_back({parent, line});
        return;
    }
    const std::pair<const wchar_t*, Located*> singles[] = {
        {L"LocName", &c.locName},         {L"Properties", &c.properties}, {L"Version", &c.version},
        {L"InstallPath", &c.installPath}, {L"Number", &c.number},         {L"State", &c.state},
        {L"Complex", &c.complex},
    };
    for (const auto& [name, slot] : singles)
        if (SameName(key, name)) return Single(line, name, value, *slot);
    Error(line, L"unknown key \"" + key + L"\" in [Component " + c.engName + L"]");
}

bool Reader::EntryKey(int line, const std::wstring& key, const std::wstring& value, Entries& entries) {
    if (SameName(key, L"Reg")) Registry(line, value, entries);
    else if (SameName(key, L"Env")) Environment(line, value, entries);
    else if (SameName(key, L"Shortcut")) Shortcut(line, value, entries);
    else return false;
    return true;
}

void Reader::Take(int line, bool folder, const std::wstring& value, ComponentSpec& c) {
    const std::vector<std::wstring> f = SplitFields(value, folder ? 3 : 4);
    TakeLine take;
    take.folder = folder;
    take.line = line;
    take.source = f[0];
    if (take.source.empty()) return Error(line, L"the source is missing");

    std::wstring target = f[1];
    if (folder && target.empty()) {
        // By default a folder keeps its own name below the install folder.
        std::wstring source = take.source;
        while (!source.empty() && (source.back() == L'\\' || source.back() == L'/')) source.pop_back();
        const std::size_t slash = source.find_last_of(L"\\/:");
        target = slash == std::wstring::npos ? source : source.substr(slash + 1);
    }
    // "%65600%\..." is the install folder written out; "%11%" the system folder.
    const std::wstring installPrefix = L"%65600%";
    if (target.compare(0, installPrefix.size(), installPrefix) == 0) {
        target.erase(0, installPrefix.size());
        if (!target.empty() && target.front() == L'\\') target.erase(0, 1);
    }
    while (!target.empty() && target.back() == L'\\') target.pop_back();
    if (target == L".") target.clear();
    if (target.compare(0, 4, L"%11%") == 0 && target != L"%11%")
        return Error(line, L"files go to the system folder itself (%11%), not below it");
    if (!target.empty() && target != L"%11%") {
        const std::wstring problem = CheckRelativePath(target);
        if (!problem.empty()) return Error(line, L"the target folder \"" + f[1] + L"\" " + problem);
    }
    take.target = target;

    static const std::pair<const wchar_t*, std::int32_t> kKinds[] = {
        {L"plain", tarnex::kPlainFile},         {L"selfreg", tarnex::kSelfRegDll}, {L"service", tarnex::kServiceExe},
        {L"comserver", tarnex::kComServerExe}, {L"regfile", tarnex::kRegFile}};
    // The kind, and "sign" before or after it ("selfreg sign", "sign").
    bool kindGiven = false;
    for (std::size_t at = 0; at < f[2].size();) {
        const std::size_t end = std::min(f[2].find(L' ', at), f[2].size());
        const std::wstring word = f[2].substr(at, end - at);
        at = end + 1;
        if (word.empty()) continue;
        if (SameName(word, L"sign")) {
            if (folder) return Error(line, L"\"sign\" marks files; sign the files of a folder one by one");
            take.sign = true;
            continue;
        }
        bool known = false;
        for (const auto& [name, kind] : kKinds)
            if (SameName(word, name)) take.kind = kind, known = true;
        if (!known || kindGiven)
            return Error(line, L"unknown kind \"" + f[2] +
                                   L"\"; expected plain, selfreg, service, comserver or regfile, and sign");
        kindGiven = true;
    }
    if (!folder && !f[3].empty()) {
        const std::wstring problem = CheckFileName(f[3]);
        if (!problem.empty()) return Error(line, L"the target name \"" + f[3] + L"\" " + problem);
        // The target is the folder and this name.
        take.target = take.target.empty() ? f[3] : take.target + L"\\" + f[3];
        take.targetIsFolder = false;
    }
    c.takes.push_back(std::move(take));
}

void Reader::Registry(int line, const std::wstring& value, Entries& entries) {
    const std::vector<std::wstring> f = SplitFields(value, 4);
    RegLine r;
    r.line = line;
    const std::wstring problem = CheckRegistryKey(f[0], r.root, r.subKey);
    if (!problem.empty()) return Error(line, L"the registry key \"" + f[0] + L"\" " + problem);
    FieldError(line, L"the registry key", CheckField(r.subKey, {tarnex::kPathField, true}));
    r.valueName = f[1];
    FieldError(line, L"the value name", CheckField(r.valueName, {tarnex::kNameField, true}));
    if (f[2].empty() || SameName(f[2], L"text")) r.type = 0;
    else if (SameName(f[2], L"dword")) r.type = 2;
    else return Error(line, L"unknown value type \"" + f[2] + L"\"; expected text or dword");
    r.data = f[3];
    FieldError(line, L"the data", CheckField(r.data, {tarnex::kPathField, true}));
    std::int64_t number = 0;
    // The installer reads a double word as a signed decimal number.
    if (r.type == 2 && !ReadNumber(r.data, INT32_MIN, INT32_MAX, number))
        Error(line, L"the data of a dword must be a decimal number from -2147483648 to 2147483647");
    entries.registry.push_back(std::move(r));
}

void Reader::Environment(int line, const std::wstring& value, Entries& entries) {
    const std::vector<std::wstring> f = SplitFields(value, 4);
    EnvLine e;
    e.line = line;
    e.name = f[0];
    FieldError(line, L"the variable name", CheckField(e.name, {tarnex::kNameField, true, true}));
    if (e.name.find(L'=') != std::wstring::npos) Error(line, L"the variable name must not hold \"=\"");
    if (f[1].empty() || SameName(f[1], L"user")) e.system = false;
    else if (SameName(f[1], L"system")) e.system = true;
    else return Error(line, L"expected user or system, not \"" + f[1] + L"\"");
    if (f[2].empty() || SameName(f[2], L"set")) e.replace = true;
    else if (SameName(f[2], L"append")) e.replace = false;
    else return Error(line, L"expected set or append, not \"" + f[2] + L"\"");
    e.value = f[3];
    FieldError(line, L"the value", CheckField(e.value, {tarnex::kPathField, false, true}));  // the rest of the line: commas stay
    // The installer applies the ";"-separated parts one by one and stops at
    // an empty one; setting writes each part over the one before.
    bool emptyPart = false;
    for (std::size_t start = 0; start <= e.value.size();) {
        std::size_t end = e.value.find(L';', start);
        if (end == std::wstring::npos) end = e.value.size();
        if (end == start) emptyPart = true;
        else if (emptyPart) return Error(line, L"the value has an empty part before others; the installer stops there");
        start = end + 1;
    }
    if (e.replace && e.value.find(L';') != std::wstring::npos && e.value.find(L';') + 1 < e.value.size())
        return Error(line, L"set keeps only the last of the \";\"-separated parts; use append for a list");
    entries.env.push_back(std::move(e));
}

void Reader::Shortcut(int line, const std::wstring& value, Entries& entries) {
    const std::vector<std::wstring> f = SplitFields(value, 5);
    ShortcutLine s{f[0], f[1], f[2], f[3], f[4], line};
    if (s.folder.compare(0, 6, L"CSIDL_") != 0)
        return Error(line, L"the shortcut folder must start with a special folder, CSIDL_PROGRAMS for instance");
    const std::size_t slash = s.folder.find(L'\\');
    if (slash != std::wstring::npos) {
        const std::wstring problem = CheckRelativePath(s.folder.substr(slash + 1));
        if (!problem.empty()) return Error(line, L"the shortcut folder " + problem);
    }
    FieldError(line, L"the shortcut folder", CheckField(s.folder, {tarnex::kPathField, true}));
    const std::wstring nameProblem = CheckFileName(s.name);
    if (!nameProblem.empty()) return Error(line, L"the shortcut name \"" + s.name + L"\" " + nameProblem);
    FieldError(line, L"the shortcut name", CheckField(s.name, {tarnex::kNameField, true}));
    FieldError(line, L"the shortcut target", CheckField(s.target, {tarnex::kPathField, true, true}));
    FieldError(line, L"the working folder", CheckField(s.workingFolder, {tarnex::kPathField, true}));
    FieldError(line, L"the arguments", CheckField(s.arguments, {tarnex::kPathField}));  // the rest of the line
    entries.shortcuts.push_back(std::move(s));
}

void Reader::Launch(int line, const std::wstring& value, std::vector<RunLine>& list) {
    const std::vector<std::wstring> f = SplitFields(value, 3);
    RunLine r;
    r.line = line;
    r.commandLine = f[0];
    FieldError(line, L"the command line", CheckField(r.commandLine, {tarnex::kCommandLineField, true, true}));
    for (const std::wstring& word : SplitList(f[1], L" \t,")) {
        if (SameName(word, L"package")) r.fromPackage = true;
        else if (SameName(word, L"wait")) r.wait = true;
        else if (SameName(word, L"exitcode")) r.exitCode = true;
        else if (SameName(word, L"show")) r.show = true;
        else return Error(line, L"unknown option \"" + word + L"\"; expected package, wait, exitcode or show");
    }
    r.message = f[2];
    FieldError(line, L"the message", CheckField(r.message, {tarnex::kPathField, true}));

    // The program is the command's first word, quoted or not; the installer
    // finds its working folder by the program's file name.
    std::wstring program;
    if (!r.commandLine.empty() && r.commandLine[0] == L'"') {
        const std::size_t close = r.commandLine.find(L'"', 1);
        if (close == std::wstring::npos) return Error(line, L"the command line has an unclosed quote");
        program = r.commandLine.substr(1, close - 1);
    } else {
        program = r.commandLine.substr(0, r.commandLine.find_first_of(L" \t"));
    }
    const std::size_t slash = program.find_last_of(L"\\/");
    r.fileName = slash == std::wstring::npos ? program : program.substr(slash + 1);
    if (r.fileName.empty()) return Error(line, L"the command line names no program");
    if (r.fromPackage) {
        const std::wstring problem = CheckFileName(program);
        if (!problem.empty())
            return Error(line, L"a program run from the package must lie in the package folder itself: \"" + program +
                                   L"\" " + problem);
    }
    list.push_back(std::move(r));
}

// Checks that need the whole text: required keys and the values whose
// form is judged once.
void Reader::Finish() {
    PackageSpec& p = m_.package;
    if (!sawPackage_) return Error(0, L"the [Package] section is missing");
    const int at = p.line;
    if (!p.name.given()) Error(at, L"[Package] needs Name");
    if (!p.dir.given()) Error(at, L"[Package] needs Dir");
    if (!p.key.given()) Error(at, L"[Package] needs Key");

    const std::pair<const Located*, std::size_t> texts[] = {
        {&p.name, tarnex::kOptionField},       {&p.nameGen, tarnex::kOptionField},
        {&p.nameUnInst, tarnex::kOptionField}, {&p.displayVersion, tarnex::kOptionField},
        {&p.publisher, tarnex::kOptionField},  {&p.backName, tarnex::kOptionField}};
    for (const auto& [value, capacity] : texts)
        if (value->given()) FieldError(value->line, L"the value", CheckField(value->text, {capacity}));
    if (p.name.given() && p.name.text.empty()) Error(p.name.line, L"Name must not be empty");
    // The name keys the uninstall entry: a backslash would make it a path.
    if (p.name.text.find(L'\\') != std::wstring::npos) Error(p.name.line, L"Name must not hold a backslash");

    if (p.dir.given()) {
        const std::wstring& dir = p.dir.text;
        const bool absolute = dir.compare(0, 15, L"%Program Files%") == 0 ||
                              (dir.size() >= 3 && dir[1] == L':' && dir[2] == L'\\') || dir.compare(0, 2, L"\\\\") == 0;
        if (!absolute)
            Error(p.dir.line, L"Dir must be a full path: a drive, \\\\server\\share or %Program Files% first");
        FieldError(p.dir.line, L"Dir", CheckField(InstallFolderOf(p), {tarnex::kOptionField}));
        if (dir.find(L"%65600%") != std::wstring::npos) Error(p.dir.line, L"Dir must not hold %65600%");
    }
    if (p.key.given()) {
        const std::wstring problem = CheckRegistryKey(p.key.text, p.keyRoot, p.keyPath);
        if (!problem.empty()) Error(p.key.line, L"the package key \"" + p.key.text + L"\" " + problem);
        else FieldError(p.key.line, L"the package key", CheckField(p.keyPath, {tarnex::kOptionField}));
    }
    for (const Located* program : {&p.installer, &p.setNameUI}) {
        if (!program->given()) continue;
        std::wstring problem = CheckFileName(program->text);
        const std::wstring& t = program->text;
        if (problem.empty() && (t.size() < 5 || !SameName(std::wstring_view(t).substr(t.size() - 4), L".exe")))
            problem = L"must end in .exe";
        if (!problem.empty()) Error(program->line, L"\"" + t + L"\" " + problem);
    }
    for (const Located* flag : {&p.access, &p.supportMode, &p.backWindow})
        if (flag->given() && !SameName(flag->text, L"Yes") && !SameName(flag->text, L"No"))
            Error(flag->line, L"expected Yes or No, not \"" + flag->text + L"\"");

    const std::pair<const Located*, std::int32_t*> lists[] = {{&p.osVersions, p.osVersionValues},
                                                              {&p.osServicePacks, p.osServicePackValues}};
    for (const auto& [value, numbers] : lists) {
        if (!value->given()) continue;
        // Seven numbers name 95 to XP, as descriptions always did; up to
        // seven more name Server 2003 to 11, and those left out read 0.
        const std::vector<std::wstring> items = SplitList(value->text, L",");
        bool good = items.size() >= tarnex::kOriginalOsTokenCount && items.size() <= kOsCount;
        for (std::size_t i = 0; good && i < kOsCount; ++i) {
            std::int64_t n = 0;
            good = i >= items.size() || ReadNumber(items[i], 0, INT32_MAX, n);
            if (good) numbers[i] = static_cast<std::int32_t>(n);
        }
        if (!good)
            Error(value->line, L"expected 7 to 14 numbers separated by commas (95, 98, Me, NT 3.51, NT 4.0, 2000, XP, "
                               L"Server 2003, Vista, 7, 8, 8.1, 10, 11)");
    }
    if (p.codePage.given()) {
        std::int64_t n = 0;
        if (!ReadNumber(p.codePage.text, 1, 65535, n)) Error(p.codePage.line, L"CodePage must be a code page number");
        else p.codePageValue = static_cast<std::uint32_t>(n);
    }
    for (std::size_t i = 0; i < kPageCount; ++i) {
        const Located& picture = p.pagePictures[i];
        if (!picture.given()) continue;
        const std::size_t slash = picture.text.find_last_of(L"\\/");
        const std::wstring name = slash == std::wstring::npos ? picture.text : picture.text.substr(slash + 1);
        FieldError(picture.line, L"the picture's file name", CheckField(name, {tarnex::kPagePictureField, true, true}));
    }

    for (ComponentSpec& c : m_.components) {
        if (c.locName.given()) FieldError(c.locName.line, L"LocName", CheckField(c.locName.text, {tarnex::kLocNameField}));
        if (c.properties.given())
            FieldError(c.properties.line, L"Properties", CheckField(c.properties.text, {tarnex::kPropertiesField}));
        if (c.version.given()) {
            FieldError(c.version.line, L"Version", CheckField(c.version.text, {tarnex::kCompVersionField, false, true}));
            // The version is a registry key below the component's key.
            if (c.version.text.find(L'\\') != std::wstring::npos)
                Error(c.version.line, L"Version must not hold a backslash");
        }
        if (c.installPath.given())
            FieldError(c.installPath.line, L"InstallPath", CheckField(c.installPath.text, {tarnex::kInstallPathField}));
        std::int64_t n = 0;
        if (c.number.given()) {
            if (!ReadNumber(c.number.text, 1, INT32_MAX, n))
                Error(c.number.line, L"Number must be a whole number from 1 on (0 stands for the top level)");
            else c.localNumber = static_cast<std::int32_t>(n);
        }
        if (c.state.given()) {
            if (!ReadNumber(c.state.text, 0, 5, n)) Error(c.state.line, L"State must be 0 to 5");
            else c.stateValue = static_cast<std::int32_t>(n);
        }
        if (c.complex.given() && !SameName(c.complex.text, L"Yes") && !SameName(c.complex.text, L"No"))
            Error(c.complex.line, L"expected Yes or No, not \"" + c.complex.text + L"\"");
    }
}

}  // namespace

bool ReadManifest(std::string_view bytes, Manifest& manifest, std::vector<Diagnostic>& diagnostics) {
    manifest = Manifest{};
    diagnostics.clear();
    std::wstring text;
    if (!DecodeManifest(bytes, text)) {
        diagnostics.push_back({0, L"the manifest is neither UTF-8 nor UTF-16 text"});
        return false;
    }
    Reader(manifest, diagnostics).Run(text);
    return diagnostics.empty();
}

std::wstring NameGenOf(const PackageSpec& p) { return p.nameGen.given() ? p.nameGen.text : p.name.text; }
std::wstring NameUnInstOf(const PackageSpec& p) { return p.nameUnInst.given() ? p.nameUnInst.text : p.name.text; }
std::wstring InstallerOf(const PackageSpec& p) { return p.installer.given() ? p.installer.text : L"Setup.exe"; }
std::wstring SetNameUIOf(const PackageSpec& p) { return p.setNameUI.given() ? p.setNameUI.text : InstallerOf(p); }
std::wstring BackNameOf(const PackageSpec& p) { return p.backName.given() ? p.backName.text : p.name.text; }
std::wstring InstallFolderOf(const PackageSpec& p) {
    std::wstring dir = p.dir.text;
    if (dir.empty() || dir.back() != L'\\') dir += L'\\';
    return dir;
}
bool YesNoOf(const Located& value, bool fallback) { return value.given() ? SameName(value.text, L"Yes") : fallback; }
std::wstring LocNameOf(const ComponentSpec& c) { return c.locName.given() ? c.locName.text : c.engName; }
std::wstring VersionOf(const ComponentSpec& c) { return c.version.given() ? c.version.text : L"1.0"; }
std::wstring InstallPathOf(const ComponentSpec& c) { return c.installPath.given() ? c.installPath.text : L"%65600%"; }

std::wstring CheckFileName(std::wstring_view name) {
    if (name.empty()) return L"is empty";
    if (name.find_first_of(L"\\/:*?\"<>|") != std::wstring_view::npos) return L"holds one of \\ / : * ? \" < > |";
    for (wchar_t c : name)
        if (c < 0x20) return L"holds a control character";
    if (name.back() == L'.' || name.back() == L' ') return L"ends in a dot or a blank";
    if (name.find(L',') != std::wstring_view::npos) return L"holds a comma (the installer splits file lines at commas)";
    if (name.size() >= tarnex::kNameField)
        return L"is longer than " + std::to_wstring(tarnex::kNameField - 1) + L" characters";
    return L"";
}

std::wstring CheckRelativePath(std::wstring_view path) {
    if (!tarnex::StaysInsideFolder(path)) return L"leaves its folder";
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of(L"\\/", start);
        if (end == std::wstring_view::npos) end = path.size();
        const std::wstring problem = CheckFileName(path.substr(start, end - start));
        if (!problem.empty()) return L"has a part that " + problem;
        start = end + 1;
    }
    return L"";
}

bool SameName(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldChar(a[i]) != FoldChar(b[i])) return false;
    return true;
}

std::wstring FoldName(std::wstring_view name) {
    std::wstring folded(name);
    for (wchar_t& c : folded) c = FoldChar(c);
    return folded;
}

}  // namespace pack
