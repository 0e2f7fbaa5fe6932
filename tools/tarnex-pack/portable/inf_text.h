// The text of the package's INF files: the description file and one user
// INF file per tree of components, as UTF-16 with CR LF line ends (the
// caller writes them in the package's code page). Portable.
#pragma once

#include <string>
#include <string_view>

#include "manifest.h"
#include "package_plan.h"

namespace pack {

// One field as the setup API gives it back exactly: in quotes (blanks,
// commas, semicolons and a trailing backslash stay), with each quote and
// each percent sign doubled (no string or folder substitution happens).
std::wstring InfField(std::wstring_view text);

// The description file; the file record of the description itself carries
// the facts in plan.files[plan.installerFiles.back()].
std::wstring DescriptionText(const Manifest& manifest, const PackagePlan& plan);

std::wstring UserInfText(const PackagePlan& plan, const PlannedInf& inf);

}  // namespace pack
