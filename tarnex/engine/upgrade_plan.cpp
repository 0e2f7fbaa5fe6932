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
#include "run/app_context.h"
#include "run/registry_utils.h"
#include "run/setup_log.h"
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

// What the new version puts on the system.
struct NextVersion {
    std::unordered_set<std::wstring> installedIdentities;     // its components the ordinary steps handle
    std::unordered_map<std::wstring, std::wstring> versions;  // folded EngName -> Version of what it installs
    std::unordered_map<std::wstring, std::int32_t> files;     // folded path -> FileFlags
    std::vector<std::wstring> keys;
    std::unordered_set<std::wstring> values, links, infCopies;
    std::vector<EnvVarEntry> variables;

    explicit NextVersion(const SetupDescription& next) {
        for (const ComponentRecord& c : next.ComponentList) {
            const bool user = c.Number != 0;
            if (user && c.Installed) installedIdentities.insert(FoldedName(ComponentIdentity(c)));
            if (user && !c.Selected) continue;  // the installer's own part is always written
            if (user) versions[FoldedName(c.EngName)] = c.Version;
            for (const FileRef ref : c.Files) {
                const FileRecord& f = next.FileOf(ref);
                if (FileAccepted(f)) files.emplace(FoldedName(InstalledPathOf(f)), f.FileFlags);
            }
            for (const RegistryEntry& r : c.RegistryEntries) {
                keys.push_back(KeyOf(r));
                values.insert(ValueOf(r));
            }
            for (const LinkEntry& l : c.Links) links.insert(LinkOf(l));
            variables.insert(variables.end(), c.EnvVars.begin(), c.EnvVars.end());
        }
        for (std::size_t i = 1; i < next.InfFiles.size(); ++i)
            infCopies.insert(FoldedName(InfCopyPath(next, next.InfFiles[i], false)));
    }

    // The key itself or one below it is written again.
    bool UsesKey(const std::wstring& key) const {
        return std::any_of(keys.begin(), keys.end(), [&](const std::wstring& k) {
            return k == key || (k.size() > key.size() && k.compare(0, key.size(), key) == 0 && k[key.size()] == L'\\');
        });
    }
    bool HasVariable(const EnvVarEntry& e) const {
        return std::any_of(variables.begin(), variables.end(), [&](const EnvVarEntry& v) { return SameVariable(v, e); });
    }
};

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
    UpgradePlan plan;
    if (!installed.Found) return plan;
    const SetupDescription& old = installed.Description;
    const NextVersion kept(next);
    std::unordered_set<std::wstring> files, unregistered, keys, values, links;
    const std::wstring prefix = PackageKeyPrefix(next);
    for (const ComponentRecord& c : old.ComponentList) {
        if (!c.Installed) continue;
        const bool user = c.Number != 0;
        if (user && kept.installedIdentities.count(FoldedName(ComponentIdentity(c)))) continue;
        if (user) {
            const auto version = kept.versions.find(FoldedName(c.EngName));
            if (version == kept.versions.end()) {
                plan.Components.push_back(c.LocName);
                plan.Records.push_back(prefix + c.EngName);  // every version of it
            } else if (FoldedName(version->second) != FoldedName(c.Version)) {
                plan.Records.push_back(prefix + c.EngName + L"\\" + c.Version);
            }
        }
        for (const FileRef ref : c.Files) {
            const FileRecord& f = old.FileOf(ref);
            if (!FileAccepted(f)) continue;
            const std::wstring path = FoldedName(InstalledPathOf(f));
            const auto stays = kept.files.find(path);
            if (stays == kept.files.end()) {
                if (!files.insert(path).second) continue;
                if (IsRegistered(f)) plan.Unregister.push_back(f);
                plan.Files.push_back(f);
            } else if (IsRegistered(f) && stays->second != f.FileFlags && unregistered.insert(path).second) {
                plan.Unregister.push_back(f);
            }
        }
        for (const RegistryEntry& r : c.RegistryEntries) {
            if (!kept.UsesKey(KeyOf(r))) {
                if (keys.insert(KeyOf(r)).second) plan.Keys.push_back(r);
            } else if (r.ValueName[0] != L'\0' && !kept.values.count(ValueOf(r)) && values.insert(ValueOf(r)).second) {
                plan.Values.push_back(r);
            }
        }
        for (const LinkEntry& l : c.Links)
            if (!kept.links.count(LinkOf(l)) && links.insert(LinkOf(l)).second) plan.Links.push_back(l);
        for (const EnvVarEntry& e : c.EnvVars) {
            const bool planned = std::any_of(plan.Variables.begin(), plan.Variables.end(),
                                             [&](const EnvVarEntry& v) { return SameVariable(v, e); });
            if (!planned && !kept.HasVariable(e)) plan.Variables.push_back(e);
        }
    }
    for (const std::wstring& copy : installed.InfCopies)
        if (!kept.infCopies.count(FoldedName(copy))) plan.InfCopies.push_back(copy);
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
    SetupDescription nothing;
    nothing.KeyRoot = removal.KeyRoot;
    vrel::CopyToField(nothing.KeyPath, std::wstring_view(removal.KeyPath));
    UpgradePlan plan = PlanUpgrade(nothing, installed);
    // Until its end a run that completes the removal reads its catalogue from them.
    std::unordered_set<std::wstring> own;
    for (std::size_t i = 1; i < removal.InfFiles.size(); ++i)
        own.insert(FoldedName(InfCopyPath(removal, removal.InfFiles[i], false)));
    plan.InfCopies.erase(std::remove_if(plan.InfCopies.begin(), plan.InfCopies.end(),
                                        [&](const std::wstring& copy) { return own.count(FoldedName(copy)) != 0; }),
                         plan.InfCopies.end());
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
