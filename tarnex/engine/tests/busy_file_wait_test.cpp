// The waits for a busy file: growing pauses, each bound respected exactly,
// and the errors that count as a file held by another process.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/portable/busy_file_wait.h"

namespace tarnex {
namespace {

TEST(BusyFileWait, PausesGrowAndStopAtTheFilesAndTheRunsBounds) {
    std::vector<unsigned> pauses;
    unsigned waited = 0;
    for (unsigned pause; (pause = NextBusyPause(static_cast<unsigned>(pauses.size()), waited, 0)) != 0;) {
        pauses.push_back(pause);
        waited += pause;
    }
    EXPECT_EQ(waited, kBusyFileBoundMs) << "the last pause is cut to the bound";
    ASSERT_GT(pauses.size(), 6u) << "a file released after half a second is met by an attempt soon after";
    EXPECT_EQ(pauses.front(), kBusyFirstPauseMs);
    EXPECT_TRUE(std::is_sorted(pauses.begin(), pauses.end() - 1)) << "pauses never shrink before the last";
    EXPECT_EQ(*std::max_element(pauses.begin(), pauses.end()), kBusyLongestPauseMs);

    // The run's bound cuts a file's waits short and then ends them at once.
    EXPECT_EQ(NextBusyPause(4, 0, kBusyRunBoundMs - 7), 7u);
    EXPECT_EQ(NextBusyPause(0, 0, kBusyRunBoundMs), 0u);
    EXPECT_EQ(NextBusyPause(100, kBusyFileBoundMs - 1, 0), 1u);
    EXPECT_EQ(NextBusyPause(1000, 0, 0), kBusyLongestPauseMs) << "no overflow of the doubling";
    // A hundred files held for good cost the run's bound, not minutes.
    unsigned run = 0;
    for (int file = 0; file < 100; ++file) {
        unsigned fileWaited = 0;
        for (unsigned a = 0, p; (p = NextBusyPause(a, fileWaited, run)) != 0; ++a) fileWaited += p, run += p;
    }
    EXPECT_EQ(run, kBusyRunBoundMs);
}

TEST(BusyFileWait, OnlySharingLockAndAccessErrorsAreWaitedFor) {
    for (unsigned long error : {5ul, 32ul, 33ul}) EXPECT_TRUE(IsBusyError(error)) << error;
    for (unsigned long error : {0ul, 2ul, 3ul, 112ul, 183ul, 1224ul}) EXPECT_FALSE(IsBusyError(error)) << error;
}

}  // namespace
}  // namespace tarnex
