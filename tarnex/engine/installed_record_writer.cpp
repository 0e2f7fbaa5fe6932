#include "engine/installed_record_writer.h"

#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <utility>
#include <vector>

#include "engine/installed_record.h"
#include "engine/run_mark.h"
#include "portable/access_filter.h"
#include "portable/quiet_switches.h"
#include "portable/text_pieces.h"
#include "services/app_context.h"
#include "services/registry_access.h"
#include "sysops/env_vars.h"
#include "sysops/shortcuts.h"

namespace tarnex {
namespace {

constexpr int kMachineRoot = 3;  // HKEY_LOCAL_MACHINE

const ComponentRecord* InstallerComponent(const SetupDescription& description) {
    for (const ComponentRecord& component : description.ComponentList)
        if (component.Number == 0) return &component;
    return nullptr;
}

// The size of what the package leaves on the disk after this run: every
// file of the chosen components once, in whole kilobytes rounded up.
DWORD EstimatedKilobytes(const SetupDescription& d) {
    std::vector<bool> counted(d.FileList.size(), false);
    std::uint64_t bytes = 0;
    for (const ComponentRecord& component : d.ComponentList) {
        if (!component.Selected) continue;
        for (const FileRef ref : component.Files) {
            if (ref >= d.FileList.size() || counted[ref]) continue;
            counted[ref] = true;
            const FileRecord& file = d.FileOf(ref);
            if (d.Access && AccessFilterPassesOver(file.SourceName, d.AccessVersion)) continue;
            bytes += file.Size;
        }
    }
    const std::uint64_t kilobytes = (bytes + 1023) / 1024;
    return kilobytes > MAXDWORD ? MAXDWORD : static_cast<DWORD>(kilobytes);
}

// The installer's copy in the install folder with the removal switch; a
// folder with blanks stays one argument.
std::wstring RemovalCommand(const SetupDescription& d) {
    return std::wstring(L"\"") + d.InstallFolder + d.SetNameUI + L"\" /u";
}

void SetOrDeleteText(const std::wstring& key, const wchar_t* name, const wchar_t* text) {
    if (text[0] != L'\0') SetRegText(kMachineRoot, key, name, text);
    else DeleteRegValue(kMachineRoot, key, name);
}

// "PATH",0: the list of programs shows the file's first icon. The package's
// own icon lies beside the installer's copy; without one, the copy's.
std::wstring DisplayIconOf(const SetupDescription& d) {
    const std::wstring file = d.DisplayIcon[0] != L'\0' ? d.DisplayIcon : d.SetNameUI;
    return L"\"" + std::wstring(d.InstallFolder) + file + L"\",0";
}

// YYYYMMDD, the day of this run in the machine's time, as the list of
// programs and the inventories read it.
std::wstring InstallDateToday() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t text[16] = {};
    swprintf(text, 16, L"%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
    return text;
}

// The folder the package came from, unless this run is the installed
// copy's (the continuation after a restart): that run keeps the package
// folder the entry already names, where maintenance is run from.
void WriteInstallSource(const std::wstring& key, const SetupDescription& d) {
    if (CompareStringOrdinal(App().ProgramFolder, -1, d.InstallFolder, -1, TRUE) == CSTR_EQUAL) return;
    const AppContext& app = App();
    const std::wstring source = app.PackageSource.empty() ? std::wstring(app.ProgramFolder) : app.PackageSource;
    SetRegText(kMachineRoot, key, L"InstallSource", source);
}

// What Windows' list of programs shows and administrators read, beyond the
// two values the entry needs. The installed copy started from the list
// always removes (maintenance runs from the package folder), so the entry
// offers no change and no repair. The entry outlives a maintenance run:
// what no longer applies is taken away.
void WriteUninstallDetails(const SetupDescription& d, const std::wstring& key) {
    const std::pair<const wchar_t*, const wchar_t*> shown[] = {
        {L"DisplayVersion", d.DisplayVersion}, {L"Publisher", d.Publisher}, {L"URLInfoAbout", d.URLInfoAbout},
        {L"HelpLink", d.HelpLink},             {L"Comments", d.Comments},   {L"Contact", d.Contact}};
    for (const auto& [name, text] : shown) SetOrDeleteText(key, name, text);
    SetRegText(kMachineRoot, key, L"InstallLocation", d.InstallFolder);
    SetRegText(kMachineRoot, key, L"QuietUninstallString", RemovalCommand(d) + kLaterQuietSwitches);
    SetRegText(kMachineRoot, key, L"DisplayIcon", DisplayIconOf(d));
    SetRegText(kMachineRoot, key, L"InstallDate", InstallDateToday());
    WriteInstallSource(key, d);
    const DWORD size = EstimatedKilobytes(d);
    SetRegValue(kMachineRoot, key, L"EstimatedSize", &size, sizeof size, REG_DWORD);
    const DWORD yes = 1;
    for (const wchar_t* name : {L"NoModify", L"NoRepair"})
        SetRegValue(kMachineRoot, key, name, &yes, sizeof yes, REG_DWORD);
}

}  // namespace

void WriteInstalledRecord(const SetupDescription& d, const ComponentRecord& c) {
    const std::wstring key = ComponentRecordKey(d, c);
    SetRegText(d.KeyRoot, key, L"PathInst", c.InstallPath);
    SetRegText(d.KeyRoot, key, L"Name", c.LocName);
    SetRegText(d.KeyRoot, key, L"Properties", c.Properties);
    SetRegText(d.KeyRoot, key, L"Complex", c.Complex ? L"Yes" : L"No");
    SetRegText(d.KeyRoot, key, L"GenNum", std::to_wstring(c.Number));
}

void DeleteInstalledRecord(const SetupDescription& d, const ComponentRecord& c) {
    // An empty EngName would name the package key itself.
    if (c.EngName[0] == L'\0') return;
    DeleteRegTree(d.KeyRoot, PackageKeyPrefix(d) + c.EngName);
}

int WriteRegistryEntry(const RegistryEntry& entry) {
    switch (entry.ValueType) {
        case 0: return SetRegText(entry.Root, entry.SubKey, entry.ValueName, entry.Data);
        case 2: {
            const DWORD value = static_cast<DWORD>(ReadInt(entry.Data));
            return SetRegValue(entry.Root, entry.SubKey, entry.ValueName, &value, sizeof value, REG_DWORD);
        }
        default: return 1;
    }
}

int DeleteRegistryEntry(const RegistryEntry& entry) { return DeleteRegTree(entry.Root, entry.SubKey); }

std::wstring UninstallKeyOf(const SetupDescription& d) { return std::wstring(kUninstallKeyPrefix) + d.Name; }

void WriteInstallerRecord(const SetupDescription& d) {
    if (d.Access) {
        if (d.AccessVersion == 1) SetRegText(d.KeyRoot, d.KeyPath, L"Access", L"97");
        else if (d.AccessVersion == 2) SetRegText(d.KeyRoot, d.KeyPath, L"Access", L"2000");
    }
    if (const ComponentRecord* installer = InstallerComponent(d))
        for (const RegistryEntry& entry : installer->RegistryEntries) WriteRegistryEntry(entry);
    SetRegText(d.KeyRoot, d.KeyPath, L"PathInst", d.InstallFolder);
    SetRegText(d.KeyRoot, d.KeyPath, L"Name", d.Name);
    const std::wstring uninstallKey = UninstallKeyOf(d);
    SetRegText(kMachineRoot, uninstallKey, L"DisplayName", d.NameUnInst);
    SetRegText(kMachineRoot, uninstallKey, L"UninstallString", RemovalCommand(d));
    WriteUninstallDetails(d, uninstallKey);
}

void DeleteInstallerRecord(const SetupDescription& d, bool keepRunMark) {
    if (const ComponentRecord* installer = InstallerComponent(d)) {
        for (const RegistryEntry& entry : installer->RegistryEntries) DeleteRegistryEntry(entry);
        for (const LinkEntry& link : installer->Links) ProcessLink(link, true);
        for (const EnvVarEntry& variable : installer->EnvVars) DelEnvVars(variable);
    }
    if (!App().RestartNeeded) {
        if (keepRunMark) ClearPackageKeyButMark(d);
        else DeleteRegTree(d.KeyRoot, d.KeyPath);
    }
    // An empty Name would name the whole uninstall list.
    if (d.Name[0] != L'\0') DeleteRegTree(kMachineRoot, UninstallKeyOf(d));
}

}  // namespace tarnex
