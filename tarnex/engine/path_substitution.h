// Step 1's work on a description: "%65600%" replaced by the install folder
// in every path of the package. Also run on the installed version's
// description, read for an upgrade, with that version's folder.
#pragma once

#include <functional>

#include "description/setup_description.h"

namespace tarnex {

// PreviousInstallFolder, when set, becomes InstallFolder first. A path that
// outgrows its field is refused (logged): a file record is marked
// PathRefused, an entry is dropped, an InstallPath is left empty. advance
// is called once per file and once per component.
void SubstituteInstallFolder(SetupDescription& description, const std::function<void()>& advance);

}  // namespace tarnex
