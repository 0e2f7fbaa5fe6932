// Persistent environment variables of the user or the machine, set from a
// component's EnvVars entries and taken back on removal.
#pragma once

#include <string>

#include "portable/section_records.h"

namespace tarnex {

void SetEnvVars(const EnvVarEntry& entry);
void DelEnvVars(const EnvVarEntry& entry);
void SetVarEnv(const EnvVarEntry& entry, const std::wstring& piece);
void DelVarEnv(const EnvVarEntry& entry, const std::wstring& piece);

// WM_SETTINGCHANGE "Environment" to every top-level window (5 s each, hung
// windows skipped). True when delivered.
bool BroadcastEnvironmentChange();

}  // namespace tarnex
