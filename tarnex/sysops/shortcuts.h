// Shell shortcuts of a component's Links entries, placed in the shell's
// special folders by name ("CSIDL_PROGRAMS\Product").
#pragma once

#include <string>

#include "portable/section_records.h"

namespace tarnex {

// The CSIDL of a special-folder name (letter case ignored; "" is the
// desktop); -1 when the name is not in the table.
int SpecialFolderId(const std::wstring& name);

// Creates (remove = false) or deletes the entry's shortcut; deleting also
// removes the subfolders that became empty, never the special folder. 0 when
// the special folder cannot be resolved, else 1.
int ProcessLink(const LinkEntry& entry, bool remove);

}  // namespace tarnex
