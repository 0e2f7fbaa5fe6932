// REG files of a package written into the registry: "REGEDIT4" text in the
// ANSI code page, and "Windows Registry Editor Version 5.00" text in UTF-16
// (as regedit exports it), whose values are written through the UTF-16
// registry calls with the types and bytes the file gives.
#pragma once

#include <optional>
#include <string>

#include "portable/section_records.h"
#include "services/message_box.h"

namespace tarnex {

// Reads the file and writes every key and value in file order. False when
// the file cannot be opened (failure: kRegFileCannotOpen with the path, for
// the caller to tell) or an entry cannot be written (the import stops there;
// earlier entries stay).
bool ImportRegFile(const std::wstring& path, std::optional<Failure>& failure);

// keyPath "ROOT\sub\key" in the ANSI code page; the name and string data
// still carry their escapes. True on success.
bool WriteRegValue(const std::string& keyPath, const std::string& name, const std::string& data, RegWriteKind kind);
bool WriteEmptyRegValue(const std::string& keyPath, const std::string& name, RegWriteKind kind);

}  // namespace tarnex
