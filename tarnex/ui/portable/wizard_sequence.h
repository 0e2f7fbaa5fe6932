// The wizard's rules without its windows: which pages a run shows and in
// what order, which pages a repair or removal passes over, and what the mode
// and Access pages offer first. The quiet run makes the same choices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarnex {

// Page indices; also the number of each page's picture in the description.
enum PageIndex : int {
    kWelcomePage = 0,
    kLicencePage = 1,
    kFolderPage = 2,
    kComponentPage = 3,
    kSummaryPage = 4,
    kProgressPage = 5,
    kFinishPage = 6,
    kModePage = 7,
    kAccessPage = 8,
};
inline constexpr int kWizardPages = 9;

struct WizardStart {
    std::uint32_t mode = 0;  // RunMode
    // After a restart, or completing a run that was cut off: the choice is
    // made already.
    bool choiceMade = false;
    bool licence = false;  // the package has a licence to accept
    bool access = false;   // the package's files depend on the Access version
};

std::vector<int> WizardSequence(const WizardStart& start);

// Where Next and Back lead from the page at position `at` of the sequence.
// Repair and removal chosen on the mode page need neither the Access version
// nor the components: Next from the mode page and Back from the summary pass
// over those pages. Next from the last page and Back from the first stay.
std::size_t NextPosition(const std::vector<int>& sequence, std::size_t at, std::uint32_t mode);
std::size_t PreviousPosition(const std::vector<int>& sequence, std::size_t at, std::uint32_t mode);

// The mode the mode page offers first: add or remove, which keeps what is
// installed as it is.
std::uint32_t FirstMaintenanceChoice();

// The Access version (1 for 97, 2 for 2000) the Access page offers first for
// the one found (0 none, 1, 2, 3 both): 97 unless only 2000 was found.
std::int32_t FirstAccessOffer(std::int32_t found);

}  // namespace tarnex
