// Matching the queue of operations Windows performs at its next start.
#include <gtest/gtest.h>

#include <string>

#include "engine/portable/pending_rename_rule.h"

namespace tarnex {
namespace {

using namespace std::string_literals;

// The multi-string value as Windows writes it: pairs, a deletion with an
// empty destination, one more zero at the end.
std::string Queue(std::initializer_list<std::pair<std::string, std::string>> pairs) {
    std::string value;
    for (const auto& [from, to] : pairs) {
        value += "\\??\\" + from + '\0';
        value += (to.empty() ? std::string() : "\\??\\" + to) + '\0';
    }
    return value + '\0';
}

TEST(PendingRenameRule, EmptyQueueAsksForEverything) {
    EXPECT_EQ(MatchPendingOperations(""s, "C:\\A\\f.dll", "", false), kQueueDeletion);
    EXPECT_EQ(MatchPendingOperations(""s, "C:\\A\\f.dll", "C:\\A\\vrel_f.dll", true), kQueueDeletion | kQueueRename);
}

TEST(PendingRenameRule, QueuedDeletionAtStartOrAfterDeletionPairIsFound) {
    const std::string first = Queue({{"C:\\A\\f.dll", ""}});
    EXPECT_EQ(MatchPendingOperations(first, "c:\\a\\F.DLL", "", false), kQueueRename);  // letter case ignored
    EXPECT_EQ(MatchPendingOperations(first, "C:\\A\\f.dll", "C:\\A\\vrel_f.dll", true), kQueueRename);
    const std::string second = Queue({{"C:\\A\\x.dll", ""}, {"C:\\A\\f.dll", ""}});
    EXPECT_EQ(MatchPendingOperations(second, "C:\\A\\f.dll", "C:\\A\\vrel_f.dll", true), kQueueRename);
}

TEST(PendingRenameRule, QueuedRenameAsksForNothing) {
    const std::string queue = Queue({{"C:\\A\\f.dll", ""}, {"C:\\A\\vrel_f.dll", "C:\\A\\f.dll"}});
    EXPECT_EQ(MatchPendingOperations(queue, "C:\\A\\f.dll", "C:\\A\\vrel_f.dll", true), 0);
}

TEST(PendingRenameRule, DeletionAfterRenamePairOrAsDestinationIsNotRecognised) {
    const std::string after = Queue({{"C:\\B\\vrel_g", "C:\\B\\g"}, {"C:\\A\\f.dll", ""}});
    EXPECT_EQ(MatchPendingOperations(after, "C:\\A\\f.dll", "C:\\A\\vrel_f.dll", true), kQueueDeletion | kQueueRename);
    const std::string destination = Queue({{"C:\\A\\other", "C:\\A\\f.dll"}});
    EXPECT_EQ(MatchPendingOperations(destination, "C:\\A\\f.dll", "", false), kQueueDeletion | kQueueRename);
}

TEST(PendingRenameRule, OnlyWholePathsOfOnePairMatch) {
    const std::string queue = Queue({{"C:\\A\\f.dll.bak", ""}});
    EXPECT_EQ(MatchPendingOperations(queue, "C:\\A\\f.dll", "", false), kQueueDeletion);
    // vrel_f.dll -> f.dll.bak is not the rename of f.dll.
    const std::string backup = Queue({{"C:\\A\\vrel_f.dll", "C:\\A\\f.dll.bak"}});
    EXPECT_EQ(MatchPendingOperations(backup, "C:\\A\\f.dll", "C:\\A\\vrel_f.dll", true), kQueueDeletion | kQueueRename);
    // Nor a destination followed by the next pair's source.
    const std::string across = Queue({{"C:\\A\\x", "C:\\A\\vrel_f.dll"}, {"C:\\A\\f.dll", ""}});
    EXPECT_EQ(MatchPendingOperations(across, "C:\\A\\f.dll", "C:\\A\\vrel_f.dll", true), kQueueDeletion | kQueueRename);
}

TEST(PendingRenameRule, ValueWithoutTerminatorsOrWithStrayBytesIsReadSafely) {
    // Cut before its terminators: the deletion pair is not complete.
    EXPECT_EQ(MatchPendingOperations("\\??\\C:\\A\\f.dll", "C:\\A\\f.dll", "", false), kQueueDeletion);
    EXPECT_EQ(MatchPendingOperations(std::string(3, '\0'), "C:\\A\\f.dll", "", false), kQueueDeletion);
    EXPECT_EQ(PendingOperationsText(std::string("A\0B", 3)), "a b");
}

}  // namespace
}  // namespace tarnex
