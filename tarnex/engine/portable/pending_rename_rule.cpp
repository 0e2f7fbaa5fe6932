#include "engine/portable/pending_rename_rule.h"

namespace tarnex {
namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

std::string PendingOperationsText(std::string_view valueData) {
    std::string text = Lower(valueData);
    for (char& c : text)
        if (c == '\0') c = ' ';
    return text;
}

std::uint8_t MatchPendingOperations(std::string_view valueData, std::string_view finalPath,
                                    std::string_view temporaryPath, bool renameQuery) {
    const std::string text = PendingOperationsText(valueData);
    const std::string finalLower = Lower(finalPath);
    const std::string renamePattern = "\\??\\" + Lower(temporaryPath) + " \\??\\" + finalLower;
    const std::string deletionPattern = "\\??\\" + finalLower + "  ";

    if (renameQuery && text.find(renamePattern) != std::string::npos) return 0;

    // A deletion pair is "path, zero, zero": the next pair starts after two
    // blanks. The same text after a single blank is a rename's destination,
    // which deletes nothing.
    bool found = false;
    for (std::size_t at = text.find(deletionPattern); at != std::string::npos;
         at = text.find(deletionPattern, at + 1)) {
        found = true;
        if (at == 0 || (at >= 2 && text[at - 1] == ' ' && text[at - 2] == ' ')) return kQueueRename;
    }
    if (!found) return renameQuery ? (kQueueDeletion | kQueueRename) : kQueueDeletion;
    return kQueueDeletion | kQueueRename;
}

}  // namespace tarnex
