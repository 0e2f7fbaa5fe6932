#include "engine/path_substitution.h"

#include <string>
#include <vector>

#include "description/package_paths.h"
#include "engine/delayed_file_ops.h"
#include "portable/package_facts.h"
#include "portable/text_pieces.h"
#include "services/setup_log.h"
#include "vrel/bounded_copy.h"

namespace tarnex {
namespace {

// "%65600%" in a fixed field replaced by the install folder. A result that
// does not fit the field is refused (logged, the field left as it was): cut
// at its capacity it would name another, truncated folder. False then, and
// the caller drops what the field belongs to.
template <std::size_t N>
bool Substitute(wchar_t (&field)[N], const std::wstring& folder) {
    std::wstring replaced;
    if (!ReplaceAll(field, kInstallFolderVariable, folder, replaced)) return true;
    if (!vrel::FitsField<wchar_t>(replaced, N)) {
        WriteLogF(L"Refused path too long after substitution: %s", replaced.c_str());
        return false;
    }
    vrel::CopyToField(field, std::wstring_view(replaced));
    return true;
}

// Substitutes in every entry and keeps only the entries whose fields all fit.
template <typename Entry, typename SubstituteFields>
void SubstituteEntries(std::vector<Entry>& entries, SubstituteFields substitute) {
    std::vector<Entry> kept;
    kept.reserve(entries.size());
    for (Entry& entry : entries)
        if (substitute(entry)) kept.push_back(entry);
    entries.swap(kept);
}

}  // namespace

void SubstituteInstallFolder(SetupDescription& d, const std::function<void()>& advance) {
    if (d.PreviousInstallFolder[0] != L'\0') vrel::CopyToField(d.InstallFolder, std::wstring_view(d.PreviousInstallFolder));
    std::wstring folder = d.InstallFolder;
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    for (FileRecord& file : d.FileList) {
        if (!Substitute(file.TargetFolder, folder)) file.PathRefused = 1;
        CheckTargetName(file);
        advance();
    }
    for (ComponentRecord& c : d.ComponentList) {
        if (!Substitute(c.InstallPath, folder)) c.InstallPath[0] = L'\0';  // "PathInst" stays empty
        SubstituteEntries(c.EnvVars, [&](EnvVarEntry& e) { return Substitute(e.Value, folder); });
        SubstituteEntries(c.Links, [&](LinkEntry& l) {
            return Substitute(l.Target, folder) && Substitute(l.WorkingFolder, folder) &&
                   Substitute(l.Arguments, folder);
        });
        SubstituteEntries(c.RegistryEntries, [&](RegistryEntry& r) { return Substitute(r.Data, folder); });
        SubstituteEntries(c.Launches, [&](LaunchEntry& l) { return Substitute(l.CommandLine, folder); });
        SubstituteEntries(c.Dlls, [&](DllEntry& l) { return Substitute(l.Path, folder); });
        advance();
    }
}

}  // namespace tarnex
