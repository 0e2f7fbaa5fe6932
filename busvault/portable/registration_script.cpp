#include "registration_script.h"

namespace busvault {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// Splits off the next blank-separated word.
std::string_view NextWord(std::string_view& s) {
    s = Trim(s);
    std::size_t end = 0;
    while (end < s.size() && s[end] != ' ' && s[end] != '\t') ++end;
    const std::string_view word = s.substr(0, end);
    s.remove_prefix(end);
    return word;
}

bool ValidPath(std::string_view path) {
    if (path.empty() || path.front() == '\\' || path.back() == '\\') return false;
    return path.find("\\\\") == std::string_view::npos && path.find('=') == std::string_view::npos;
}

std::optional<ScriptEntry> ParseLine(std::string_view line) {
    ScriptEntry entry;
    std::string_view word = NextWord(line);
    for (;;) {
        if (word == "replace" && !entry.replace) entry.replace = true;
        else if (word == "remove" && !entry.remove) entry.remove = true;
        else if (word == "shared" && !entry.shared) entry.shared = true;
        else break;
        word = NextWord(line);
    }
    if (word == "value") {
        if (entry.replace || entry.remove || entry.shared) return std::nullopt;
        entry.isValue = true;
    } else if (word != "key") {
        return std::nullopt;
    }
    const std::string_view path = NextWord(line);
    if (!ValidPath(path)) return std::nullopt;
    entry.path = std::string(path);
    if (entry.isValue) {
        const std::string_view name = NextWord(line);
        if (name.empty() || name == "=") return std::nullopt;
        entry.name = std::string(name);
    }
    line = Trim(line);
    if (line.empty()) {
        if (entry.isValue) return std::nullopt;
        return entry;
    }
    if (line.front() != '=') return std::nullopt;
    entry.data = std::string(Trim(line.substr(1)));
    return entry;
}

}  // namespace

std::optional<std::vector<ScriptEntry>> ParseRegistrationScript(std::string_view text) {
    std::vector<ScriptEntry> entries;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#') continue;
        auto entry = ParseLine(line);
        if (!entry) return std::nullopt;
        entries.push_back(std::move(*entry));
    }
    return entries;
}

std::string SubstituteModule(std::string_view data, std::string_view modulePath) {
    static constexpr std::string_view kToken = "%MODULE%";
    std::string out;
    for (;;) {
        const std::size_t at = data.find(kToken);
        out.append(data.substr(0, at));
        if (at == std::string_view::npos) return out;
        out.append(modulePath);
        data.remove_prefix(at + kToken.size());
    }
}

}  // namespace busvault
