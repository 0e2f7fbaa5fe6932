#include "engine/upgrade_plan.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "description/folded_name.h"
#include "description/package_paths.h"
#include "engine/delayed_file_ops.h"
#include "engine/installed_record.h"
#include "engine/installed_record_writer.h"
#include "engine/path_substitution.h"
#include "engine/run_mark.h"
#include "services/app_context.h"
#include "services/registry_access.h"
#include "services/setup_log.h"
#include "sysops/env_vars.h"
#include "sysops/self_registration.h"
#include "sysops/shortcuts.h"
#include "vrel/bounded_copy.h"

namespace tarnex {
namespace {

constexpr int kMachineRoot = 3;

bool IsRegistered(const FileRecord& f) {
    return f.FileFlags == kSelfRegDll || f.FileFlags == kServiceExe || f.FileFlags == kComServerExe;
}

// Root and key, compared as the registry compares them.
std::wstring KeyOf(const RegistryEntry& r) {
    std::wstring_view key = r.SubKey;
    while (!key.empty() && key.front() == L'\\') key.remove_prefix(1);
    while (!key.empty() && key.back() == L'\\') key.remove_suffix(1);
    return std::to_wstring(r.Root) + L":" + FoldedName(key);
}

std::wstring ValueOf(const RegistryEntry& r) { return KeyOf(r) + L"\n" + FoldedName(r.ValueName); }

std::wstring LinkOf(const LinkEntry& l) { return FoldedName(l.Folder) + L"\n" + FoldedName(l.LinkName); }

bool SameVariable(const EnvVarEntry& a, const EnvVarEntry& b) {
    return FoldedName(a.Name) == FoldedName(b.Name) && (a.System != 0) == (b.System != 0) &&
           (a.Replace != 0) == (b.Replace != 0) && std::wstring_view(a.Value) == std::wstring_view(b.Value);
}

// What a run puts on the system, or what its own removal steps take away:
// the entries of the components `takesPart` picks.
struct Coverage {
    std::unordered_map<std::wstring, std::wstring> versions;  // folded EngName -> Version
    std::unordered_map<std::wstring, std::int32_t> files;     // folded path -> FileFlags
    std::vector<std::wstring> keys;
    std::unordered_set<std::wstring> values, links;
    std::vector<EnvVarEntry> variables;

    Coverage() = default;
    template <typename Pick>
    Coverage(const SetupDescription& d, Pick takesPart) {
        for (const ComponentRecord& c : d.ComponentList) {
            if (!takesPart(c)) continue;
            if (c.Number != 0) versions[FoldedName(c.EngName)] = c.Version;
            for (const FileRef ref : c.Files) {
                const FileRecord& f = d.FileOf(ref);
                if (FileAccepted(f)) files.emplace(FoldedName(InstalledPathOf(f)), f.FileFlags);
            }
            for (const RegistryEntry& r : c.RegistryEntries) {
                keys.push_back(KeyOf(r));
                values.insert(ValueOf(r));
            }
            for (const LinkEntry& l : c.Links) links.insert(LinkOf(l));
            variables.insert(variables.end(), c.EnvVars.begin(), c.EnvVars.end());
        }
    }

    // The key itself or one below it is written again.
    bool UsesKey(const std::wstring& key) const {
        return std::any_of(keys.begin(), keys.end(), [&](const std::wstring& k) { return k == key || IsBelow(k, key); });
    }
    // The key goes with one of these (a removal deletes each key whole).
    bool DeletesKey(const std::wstring& key) const {
        return std::any_of(keys.begin(), keys.end(), [&](const std::wstring& k) { return k == key || IsBelow(key, k); });
    }
    bool HasVariable(const EnvVarEntry& e) const {
        return std::any_of(variables.begin(), variables.end(), [&](const EnvVarEntry& v) { return SameVariable(v, e); });
    }
    static bool IsBelow(const std::wstring& key, const std::wstring& above) {
        return key.size() > above.size() && key.compare(0, above.size(), above) == 0 && key[above.size()] == L'\\';
    }
};

// The plan of what installed has and neither `kept` (what this run
// installs) nor `removed` (what its own removal steps take away) covers.
UpgradePlan Plan(const InstalledVersion& installed, const Coverage& kept, const Coverage& removed,
                 const std::wstring& prefix) {
    UpgradePlan plan;
    if (!installed.Found) return plan;
    const SetupDescription& old = installed.Description;
    std::unordered_set<std::wstring> files, unregistered, keys, values, links;
    plan.ProgramFolder = installed.Folder;
    for (const ComponentRecord& c : old.ComponentList) {
        if (!c.Installed) continue;
        const bool user = c.Number != 0;
        if (user) {
            const std::wstring engName = FoldedName(c.EngName);
            const auto version = kept.versions.find(engName);
            if (version != kept.versions.end()) {
                if (FoldedName(version->second) != FoldedName(c.Version))
                    plan.Records.push_back(prefix + c.EngName + L"\\" + c.Version);
            } else if (!removed.versions.count(engName)) {
                // Taken away whole, as its removal would: with its programs too.
                plan.Components.push_back(c.LocName);
                plan.Records.push_back(prefix + c.EngName);  // every version of it
                for (const LaunchEntry& l : c.Launches) (l.Before ? plan.ProgramsBefore : plan.ProgramsAfter).push_back(l);
            }
        }
        for (const FileRef ref : c.Files) {
            const FileRecord& f = old.FileOf(ref);
            if (!FileAccepted(f)) continue;
            const std::wstring path = FoldedName(InstalledPathOf(f));
            const auto stays = kept.files.find(path);
            const auto goes = removed.files.find(path);
            if (stays == kept.files.end() && goes == removed.files.end()) {
                if (!files.insert(path).second) continue;
                if (IsRegistered(f)) plan.Unregister.push_back(f);
                // The installer's own files go at the run's end, as a
                // removal's copy does: the programs of step 14 may be among them.
                (user ? plan.Files : plan.InstallerFiles).push_back(f);
            } else if (IsRegistered(f) && (stays == kept.files.end() || stays->second != f.FileFlags) &&
                       (goes == removed.files.end() || goes->second != f.FileFlags) && unregistered.insert(path).second) {
                plan.Unregister.push_back(f);
            }
        }
        for (const RegistryEntry& r : c.RegistryEntries) {
            if (removed.DeletesKey(KeyOf(r))) continue;
            if (!kept.UsesKey(KeyOf(r))) {
                if (keys.insert(KeyOf(r)).second) plan.Keys.push_back(r);
            } else if (r.ValueName[0] != L'\0' && !kept.values.count(ValueOf(r)) && values.insert(ValueOf(r)).second) {
                plan.Values.push_back(r);
            }
        }
        for (const LinkEntry& l : c.Links)
            if (!kept.links.count(LinkOf(l)) && !removed.links.count(LinkOf(l)) && links.insert(LinkOf(l)).second)
                plan.Links.push_back(l);
        for (const EnvVarEntry& e : c.EnvVars) {
            const bool planned = std::any_of(plan.Variables.begin(), plan.Variables.end(),
                                             [&](const EnvVarEntry& v) { return SameVariable(v, e); });
            if (!planned && !kept.HasVariable(e) && !removed.HasVariable(e)) plan.Variables.push_back(e);
        }
    }
    return plan;
}

std::wstring RootName(std::int32_t root) {
    switch (root) {
    case 1: return L"HKCR\\";
    case 2: return L"HKCU\\";
    case 3: return L"HKLM\\";
    case 4: return L"HKU\\";
    default: return L"?\\";
    }
}

void Log(const std::wstring& what) { WriteLog(L"Upgrade, dropped by the new version: " + what + L"\r\n"); }

}  // namespace

UpgradePlan PlanUpgrade(const SetupDescription& next, const InstalledVersion& installed) {
    // The installer's own part is always written; of the user components,
    // the chosen ones. Installed ones (maintenance) are first taken away by
    // the run's own steps 4 to 8, from this package's lists.
    const Coverage kept(next, [](const ComponentRecord& c) { return c.Number == 0 || c.Selected; });
    const Coverage removed(next, [](const ComponentRecord& c) { return c.Number != 0 && c.Installed; });
    UpgradePlan plan = Plan(installed, kept, removed, PackageKeyPrefix(next));
    if (!installed.Found) return plan;
    std::unordered_set<std::wstring> infCopies;
    for (std::size_t i = 1; i < next.InfFiles.size(); ++i)
        infCopies.insert(FoldedName(InfCopyPath(next, next.InfFiles[i], false)));
    for (const std::wstring& copy : installed.InfCopies)
        if (!infCopies.count(FoldedName(copy))) plan.InfCopies.push_back(copy);
    const SetupDescription& old = installed.Description;
    if (old.Name[0] != L'\0' && FoldedName(old.Name) != FoldedName(next.Name)) plan.UninstallEntry = UninstallKeyOf(old);
    return plan;
}

UpgradePlan PlanUpgradeOfChoice(const SetupDescription& next, const InstalledVersion& installed) {
    if (!installed.Found) return UpgradePlan{};
    SetupDescription substituted = next;
    SubstituteInstallFolder(substituted, [] {});
    return PlanUpgrade(substituted, installed);
}

UpgradePlan PlanRemovalOf(const InstalledVersion& installed, const SetupDescription& removal) {
    // What the removal's own steps take away is theirs; the installer's own
    // files go with its copy at the end.
    const Coverage removed(removal, [](const ComponentRecord& c) { return c.Number == 0 || c.Installed; });
    UpgradePlan plan = Plan(installed, Coverage{}, removed, PackageKeyPrefix(removal));
    if (!installed.Found) return plan;
    // Until its end a run that completes the removal reads its catalogue from them.
    std::unordered_set<std::wstring> own;
    for (std::size_t i = 1; i < removal.InfFiles.size(); ++i)
        own.insert(FoldedName(InfCopyPath(removal, removal.InfFiles[i], false)));
    for (const std::wstring& copy : installed.InfCopies)
        if (!own.count(FoldedName(copy))) plan.InfCopies.push_back(copy);
    const SetupDescription& old = installed.Description;
    if (old.Name[0] != L'\0' && FoldedName(old.Name) != FoldedName(removal.Name)) plan.UninstallEntry = UninstallKeyOf(old);
    return plan;
}

void UnregisterDropped(const UpgradePlan& plan) {
    // Servers and services first, then the libraries ("atl.dll" never), as step 4 does.
    for (const FileRecord& f : plan.Unregister) {
        if (f.FileFlags != kServiceExe && f.FileFlags != kComServerExe) continue;
        Log(L"unregistering " + InstalledPathOf(f));
        UnregisterExe(InstalledPathOf(f), f.FileFlags == kServiceExe ? ExeKind::Service : ExeKind::ComServer);
    }
    for (const FileRecord& f : plan.Unregister) {
        if (f.FileFlags != kSelfRegDll || IsAtlDll(f.TargetName)) continue;
        Log(L"unregistering " + InstalledPathOf(f));
        UnregisterDll(InstalledPathOf(f));
    }
}

void DeleteDroppedFiles(const UpgradePlan& plan) {
    for (const FileRecord& f : plan.Files) {
        if (App().Nt5Family && IsAtlDll(f.TargetName)) continue;
        Log(L"deleting file " + InstalledPathOf(f));
        DeleteOrDefer(InstalledPathOf(f));
    }
    for (const std::wstring& copy : plan.InfCopies) {
        Log(L"deleting INF copy " + copy);
        DeleteOrDefer(copy);
    }
}

void DeleteDroppedInstallerFiles(const UpgradePlan& plan) {
    for (const FileRecord& f : plan.InstallerFiles) {
        Log(L"deleting file " + InstalledPathOf(f));
        DeleteOrDefer(InstalledPathOf(f));
    }
}

void DeleteDroppedRegistry(const UpgradePlan& plan, const SetupDescription& next) {
    for (const RegistryEntry& r : plan.Keys) {
        Log(L"deleting registry key " + RootName(r.Root) + r.SubKey);
        DeleteRegistryEntry(r);
    }
    for (const RegistryEntry& r : plan.Values) {
        Log(L"deleting registry value " + RootName(r.Root) + r.SubKey + L" : " + r.ValueName);
        DeleteRegValue(r.Root, r.SubKey, r.ValueName);
    }
    for (const std::wstring& record : plan.Records) {
        Log(L"deleting the record " + RootName(next.KeyRoot) + record);
        DeleteRegTree(next.KeyRoot, record);
    }
    if (!plan.UninstallEntry.empty()) {
        Log(L"deleting the uninstall entry HKLM\\" + plan.UninstallEntry);
        DeleteRegTree(kMachineRoot, plan.UninstallEntry);
    }
}

void DeleteDroppedShortcuts(const UpgradePlan& plan) {
    for (const LinkEntry& l : plan.Links) {
        Log(L"deleting shortcut " + std::wstring(l.Folder) + L"\\" + l.LinkName);
        ProcessLink(l, true);
    }
}

void DeleteDroppedVariables(const UpgradePlan& plan) {
    for (const EnvVarEntry& e : plan.Variables) {
        Log(L"deleting environment variable " + std::wstring(e.Name) + L" = " + e.Value);
        DelEnvVars(e);
    }
}

}  // namespace tarnex
