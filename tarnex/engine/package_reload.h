// The package read again once the run mode is known: a removal works with
// the removal sections, a maintenance run with what is installed now.
#pragma once

#include <optional>

#include "description/setup_description.h"
#include "services/question.h"

namespace tarnex {

// Reads the description and the catalogue again in the current run mode and
// finds what is installed. Nothing when read; otherwise the question that
// says what could not be read, not yet asked.
std::optional<Question> ReloadPackage(SetupDescription& description);

}  // namespace tarnex
