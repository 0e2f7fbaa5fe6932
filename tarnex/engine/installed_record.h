// The registry record of installed components under the package key
// (KeyRoot, KeyPath): one subkey per installed component, keyed by EngName
// and Version, and the package's own values "PathInst", "Name", "Access".
#pragma once

#include <string>

#include "description/setup_description.h"

namespace tarnex {

// KeyPath followed by a backslash unless it already ends with one.
std::wstring PackageKeyPrefix(const SetupDescription& description);

// Key of a component's installed record: prefix + EngName + "\" + Version.
std::wstring ComponentRecordKey(const SetupDescription& description, const ComponentRecord& component);

// 1 when "Name" reads as REG_SZ in the component's record key; then also
// sets Installed.
int IsComponentInstalled(const SetupDescription& description, ComponentRecord& component);
int IsComponentInstalled(ComponentRecord& component);  // in Description()

// Runs IsComponentInstalled for every user component, stores the count in
// InstalledCount and marks component 0 Installed when it is not 0.
int DetectInstalledComponents(SetupDescription& description);

// Text values of the package key itself (REG_SZ).
int ReadPackageText(const SetupDescription& description, const std::wstring& valueName, std::wstring& text);
int ReadPackagePathInst(const SetupDescription& description, std::wstring& text);  // "PathInst"
int ReadPackageAccess(const SetupDescription& description, std::wstring& text);    // "Access"

}  // namespace tarnex
