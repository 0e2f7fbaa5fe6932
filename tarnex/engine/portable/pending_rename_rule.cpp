#include "engine/portable/pending_rename_rule.h"

#include <vector>

namespace tarnex {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = LowerAscii(c);
    return out;
}

// The value's strings in order, each without its zero. A last string that
// lacks its zero (a value cut short) is not a string of the list.
std::vector<std::string_view> Strings(std::string_view valueData) {
    std::vector<std::string_view> strings;
    std::size_t start = 0;
    for (std::size_t end = valueData.find('\0'); end != std::string_view::npos;
         start = end + 1, end = valueData.find('\0', start))
        strings.push_back(valueData.substr(start, end - start));
    return strings;
}

bool SameLowered(std::string_view entry, const std::string& lowered) {
    if (entry.size() != lowered.size()) return false;
    for (std::size_t i = 0; i < entry.size(); ++i)
        if (LowerAscii(entry[i]) != lowered[i]) return false;
    return true;
}

// A rename is queued when one pair has exactly these two paths: a longer
// path that merely starts with the destination (f.dll.bak for f.dll), or a
// destination followed by the next pair's source, is another operation.
bool RenameQueued(std::string_view valueData, const std::string& source, const std::string& destination) {
    const std::vector<std::string_view> strings = Strings(valueData);
    for (std::size_t i = 0; i + 1 < strings.size(); i += 2)
        if (SameLowered(strings[i], source) && SameLowered(strings[i + 1], destination)) return true;
    return false;
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
    const std::string finalLower = Lower(finalPath);
    if (renameQuery && RenameQueued(valueData, "\\??\\" + Lower(temporaryPath), "\\??\\" + finalLower)) return 0;

    // A deletion pair is "path, zero, zero": the next pair starts after two
    // blanks. The same text after a single blank is a rename's destination,
    // which deletes nothing.
    const std::string text = PendingOperationsText(valueData);
    const std::string deletionPattern = "\\??\\" + finalLower + "  ";
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
