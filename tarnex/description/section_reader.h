// Reads a component's install section: for each of the ten kinds the key
// names record sections, whose lines become the component's records and the
// package-wide FileList entries.
#pragma once

#include <string>

#include "description/component_record.h"
#include "description/inf_file.h"
#include "description/setup_description.h"

namespace tarnex {

// Kinds 1 to 10 in order; a missing key or section is skipped.
void ReadComponentSections(SetupDescription& description, InfFile& inf, const std::wstring& installSection,
                           ComponentRecord& component);

// Reads one record section of a kind with cursor slot 0. 0 when the section
// is missing or has no lines, else 1.
int ReadSectionLines(SetupDescription& description, InfFile& inf, const std::wstring& section, int kind,
                     ComponentRecord& component);

}  // namespace tarnex
