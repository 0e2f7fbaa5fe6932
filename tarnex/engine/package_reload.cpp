#include "engine/package_reload.h"

#include "description/component_catalogue.h"
#include "engine/installed_record.h"

namespace tarnex {

std::optional<Question> ReloadPackage(SetupDescription& d) {
    d.ComponentList.clear();
    d.InfFiles.clear();
    d.FileList.clear();
    d.RequiredKeys.clear();
    if (!LoadSetupDescription(d)) return Question::kDescriptionUnreadable;
    if (!LoadComponentCatalogue(d)) return Question::kCatalogueUnreadable;
    d.InstalledCount = 0;
    d.ComponentList.front().Installed = 1;
    for (std::size_t i = 1; i < d.ComponentList.size(); ++i)
        if (IsComponentInstalled(d, d.ComponentList[i])) ++d.InstalledCount;
    return std::nullopt;
}

}  // namespace tarnex
