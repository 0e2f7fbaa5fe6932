// The wizard's page order without its windows: where Next and Back lead in
// each kind of run, and what the Access page offers first (the quiet run
// follows the same rules).
#include <gtest/gtest.h>

#include <vector>

#include "portable/run_mode.h"
#include "ui/portable/wizard_sequence.h"

namespace tarnex {
namespace {

// The pages Next shows from the first to the last, then those Back shows
// from the last to the first.
std::vector<int> Walk(const WizardStart& start, std::uint32_t chosenMode) {
    const std::vector<int> sequence = WizardSequence(start);
    std::vector<int> shown;
    std::size_t at = 0;
    for (std::size_t next; (next = NextPosition(sequence, at, chosenMode)) != at; at = next) shown.push_back(sequence[next]);
    for (std::size_t back; (back = PreviousPosition(sequence, at, chosenMode)) != at; at = back) shown.push_back(sequence[back]);
    return shown;
}

TEST(WizardSequence, RepairAndRemovalPassOverAccessAndComponentsBothWays) {
    const std::vector<int> passedOver{kModePage,     kSummaryPage, kProgressPage, kFinishPage,
                                      kProgressPage, kSummaryPage, kModePage,     kWelcomePage};
    EXPECT_EQ(Walk({AS_SUP, false, true, true}, AS_REP), passedOver);
    EXPECT_EQ(Walk({AS_SUP, false, false, false}, AS_SD), passedOver);
    EXPECT_EQ(Walk({AS_SUP, false, false, true}, AS_AD),
              (std::vector<int>{kModePage, kAccessPage, kComponentPage, kSummaryPage, kProgressPage, kFinishPage,
                                kProgressPage, kSummaryPage, kComponentPage, kAccessPage, kModePage, kWelcomePage}));
}

TEST(WizardSequence, EachKindOfRunShowsItsPagesAndAccess97IsOfferedFirst) {
    EXPECT_EQ(WizardSequence({AS_INST, false, true, true}),
              (std::vector<int>{kWelcomePage, kLicencePage, kFolderPage, kAccessPage, kComponentPage, kSummaryPage,
                                kProgressPage, kFinishPage}));
    EXPECT_EQ(WizardSequence({AS_INST, false, false, false})[1], kFolderPage);
    EXPECT_EQ(WizardSequence({AS_DEL, false, true, true}),
              (std::vector<int>{kWelcomePage, kSummaryPage, kProgressPage, kFinishPage}));
    EXPECT_EQ(WizardSequence({AS_SUP, true, true, true}), (std::vector<int>{kProgressPage, kFinishPage}));
    // Access 97 is offered first unless only 2000 was found (0 none, 3 both).
    EXPECT_EQ((std::vector<int>{FirstAccessOffer(0), FirstAccessOffer(1), FirstAccessOffer(2), FirstAccessOffer(3)}),
              (std::vector<int>{1, 1, 2, 1}));
}

}  // namespace
}  // namespace tarnex
