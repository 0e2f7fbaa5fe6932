// The component catalogue: user components read from the INF files of the
// description, numbered across the package, with dependencies resolved.
#pragma once

#include <cstdint>

#include "description/setup_description.h"

namespace tarnex {

// Reads the INF files of InfFiles entries 1 onward and appends their
// components to ComponentList. 1 on success; 0 when an INF file cannot be
// opened (the text kInfCannotOpen was shown) or a component lacks a catalogue key
// (components read so far stay). The caller shows the text kCatalogueUnreadable.
int LoadComponentCatalogue(SetupDescription& description);
// The same with the install sections of mode instead of the run's.
int LoadComponentCatalogue(SetupDescription& description, std::uint32_t mode);

}  // namespace tarnex
