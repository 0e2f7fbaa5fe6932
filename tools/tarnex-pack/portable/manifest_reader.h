// The manifest reader's state, shared by its parts: the core reads lines
// and sections (manifest.cpp), [Package] keys are read in
// manifest_package.cpp, components' keys and their file and run lists in
// manifest_components.cpp, and the registry values, variables and shortcuts
// both may carry in manifest_entries.cpp; what only signing reads in
// manifest_signing.cpp.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "manifest.h"

namespace pack::manifest_reading {

inline constexpr std::size_t kMaxDiagnostics = 100;

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
    void FinishPackage();
    void FinishComponents();

    void Take(int line, bool folder, const std::wstring& value, ComponentSpec& c);
    void Registry(int line, const std::wstring& value, Entries& entries);
    void Environment(int line, const std::wstring& value, Entries& entries);
    void Shortcut(int line, const std::wstring& value, Entries& entries);
    void Launch(int line, const std::wstring& value, std::vector<RunLine>& list);
    void TimestampServer(int line, const std::wstring& value);

    Manifest& m_;
    std::vector<Diagnostic>& d_;
    Section section_ = Section::None;
    bool sawPackage_ = false;
};

}  // namespace pack::manifest_reading
