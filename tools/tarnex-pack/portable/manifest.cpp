#include "manifest.h"

#include "description/component_record.h"
#include "manifest_fields.h"
#include "manifest_reader.h"
#include "manifest_text.h"

namespace pack {
namespace manifest_reading {

using manifest_fields::CheckField;
using manifest_text::Trim;

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

// Checks that need the whole text: required keys and the values whose
// form is judged once.
void Reader::Finish() {
    if (!sawPackage_) return Error(0, L"the [Package] section is missing");
    FinishPackage();
    FinishComponents();
}

}  // namespace manifest_reading

bool ReadManifest(std::string_view bytes, Manifest& manifest, std::vector<Diagnostic>& diagnostics) {
    manifest = Manifest{};
    diagnostics.clear();
    std::wstring text;
    if (!manifest_text::DecodeManifest(bytes, text)) {
        diagnostics.push_back({0, L"the manifest is neither UTF-8 nor UTF-16 text"});
        return false;
    }
    manifest_reading::Reader(manifest, diagnostics).Run(text);
    return diagnostics.empty();
}

}  // namespace pack
