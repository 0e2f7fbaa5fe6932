#include "ui/portable/wizard_sequence.h"

#include "portable/run_mode.h"

namespace tarnex {

std::vector<int> WizardSequence(const WizardStart& start) {
    if (start.choiceMade) return {kProgressPage, kFinishPage};
    if (start.mode == AS_DEL) return {kWelcomePage, kSummaryPage, kProgressPage, kFinishPage};
    std::vector<int> pages{kWelcomePage};
    if (start.mode == AS_SUP) {
        pages.push_back(kModePage);
    } else {
        if (start.licence) pages.push_back(kLicencePage);
        pages.push_back(kFolderPage);
    }
    if (start.access) pages.push_back(kAccessPage);
    pages.insert(pages.end(), {kComponentPage, kSummaryPage, kProgressPage, kFinishPage});
    return pages;
}

namespace {

bool PassedOver(int page, std::uint32_t mode) {
    return (mode == AS_REP || mode == AS_SD) && (page == kAccessPage || page == kComponentPage);
}

}  // namespace

std::size_t NextPosition(const std::vector<int>& sequence, std::size_t at, std::uint32_t mode) {
    if (at + 1 >= sequence.size()) return at;
    std::size_t target = at + 1;
    while (PassedOver(sequence[target], mode) && target + 1 < sequence.size()) ++target;
    return target;
}

std::size_t PreviousPosition(const std::vector<int>& sequence, std::size_t at, std::uint32_t mode) {
    if (at == 0) return at;
    std::size_t target = at - 1;
    while (PassedOver(sequence[target], mode) && target > 0) --target;
    return target;
}

std::uint32_t FirstMaintenanceChoice() { return AS_AD; }

std::int32_t FirstAccessOffer(std::int32_t found) { return found == 2 ? 2 : 1; }

}  // namespace tarnex
