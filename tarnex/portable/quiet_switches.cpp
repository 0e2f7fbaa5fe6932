#include "portable/quiet_switches.h"

namespace tarnex {
namespace {

wchar_t Lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (Lower(text[i]) != Lower(prefix[i])) return false;
    return true;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) { return a.size() == b.size() && StartsWithNoCase(a, b); }

bool IsLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

// Empty when path is absolute and holds only characters a path can hold.
std::wstring PathProblem(std::wstring_view path, const wchar_t* what) {
    const std::wstring the = std::wstring(L"the ") + what;
    // A forward slash could spell "/u" or "/r", which select removal or the
    // continuation wherever they appear.
    if (path.find(L'/') != std::wstring_view::npos) return the + L" holds \"/\"; write it with backslashes";
    if (path.size() < 3 || !IsLetter(path[0]) || path[1] != L':' || path[2] != L'\\')
        return the + L" is not absolute (X:\\...)";
    for (std::size_t i = 2; i < path.size(); ++i) {
        const wchar_t c = path[i];
        if (c < 32 || c == L':' || c == L'*' || c == L'?' || c == L'<' || c == L'>' || c == L'|')
            return the + L" holds a character no path can hold";
    }
    return {};
}

// Empty when the folder can be given to the installer.
std::wstring FolderProblem(std::wstring_view folder) {
    if (folder.empty()) return L"\"/dir=\" names no folder";
    return PathProblem(folder, L"folder");
}

// Empty when the file can be this run's log.
std::wstring LogFileProblem(std::wstring_view file) {
    if (file.empty()) return L"\"/log=\" names no file";
    if (file.back() == L'\\') return L"\"/log=\" names a folder, not a file";
    return PathProblem(file, L"log file");
}

// Takes "/log=FILE" into s; false (with s.error) when it is wrong or given twice.
bool TakeLogFile(const std::wstring& part, QuietSwitches& s) {
    const std::wstring_view file = std::wstring_view(part).substr(std::wstring_view(kLogSwitch).size());
    s.error = !s.logFile.empty() ? L"\"/log=\" is given twice" : LogFileProblem(file);
    if (!s.error.empty()) return false;
    s.logFile.assign(file);
    return true;
}

}  // namespace

std::vector<std::wstring> SplitArguments(std::wstring_view arguments) {
    std::vector<std::wstring> out;
    std::wstring current;
    bool quoted = false, inArgument = false;
    for (const wchar_t c : arguments) {
        if (c == L'"') {
            quoted = !quoted;
            inArgument = true;
        } else if ((c == L' ' || c == L'\t') && !quoted) {
            if (inArgument) out.push_back(current);
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) out.push_back(current);
    return out;
}

QuietSwitches ParseQuietSwitches(std::wstring_view arguments) {
    QuietSwitches s;
    const std::vector<std::wstring> parts = SplitArguments(arguments);
    for (const std::wstring& part : parts) s.quiet = s.quiet || EqualsNoCase(part, kQuietSwitch);
    if (!s.quiet) {
        for (const std::wstring& part : parts)
            if (StartsWithNoCase(part, kLogSwitch) && !TakeLogFile(part, s)) return s;
        return s;
    }

    bool folderGiven = false;
    for (const std::wstring& part : parts) {
        if (part == L"/u") {
            s.removal = true;
        } else if (part == L"/r") {
            s.continuation = true;
        } else if (EqualsNoCase(part, kQuietSwitch)) {
        } else if (EqualsNoCase(part, kAcceptSystemSwitch)) {
            s.acceptAnySystem = true;
        } else if (EqualsNoCase(part, kNoRestartSwitch)) {
        } else if (EqualsNoCase(part, kNoDowngradeSwitch)) {
            s.noDowngrade = true;
        } else if (StartsWithNoCase(part, kLogSwitch)) {
            if (!TakeLogFile(part, s)) return s;
        } else if (StartsWithNoCase(part, kFolderSwitch)) {
            const std::wstring_view folder = std::wstring_view(part).substr(std::wstring_view(kFolderSwitch).size());
            std::wstring problem = folderGiven ? L"\"/dir=\" is given twice" : FolderProblem(folder);
            if (!problem.empty()) {
                s.error = problem;
                return s;
            }
            s.installFolder.assign(folder);
            folderGiven = true;
        } else {
            // "/U", "/uninstall" and the like would be taken for "/u" or
            // not, depending on their letters: none is guessed at.
            s.error = L"unknown argument \"" + part + L"\"";
            return s;
        }
    }
    // The program finds "/u" and "/r" in the text as written, quotes and
    // all: a switch read here must be one it finds there too ("/"u is not).
    const bool removal = arguments.find(L"/u") != std::wstring_view::npos;
    const bool continuation = arguments.find(L"/r") != std::wstring_view::npos;
    if (removal != s.removal || continuation != s.continuation) s.error = L"a quote inside \"/u\" or \"/r\"";
    return s;
}

}  // namespace tarnex
