// Reader of INF files over the setup API in its UTF-16 form. A UTF-16 INF
// file (with its byte-order mark) reads the same on every system; an ANSI
// one the setup API reads in the system's ANSI code page.
//
// The setup API finds a section by name and a key by scanning, so a lookup
// per key makes a large package quadratic. Each section is therefore walked
// once, on first use, and the first line of every key remembered; lookups
// by key then read that line directly.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <string>
#include <unordered_map>

#include "portable/section_records.h"

namespace tarnex {

class InfFile {
public:
    static constexpr int kSlots = 2;  // cursor slots 0 and 1

    InfFile();
    ~InfFile();
    InfFile(const InfFile&) = delete;
    InfFile& operator=(const InfFile&) = delete;

    // Opens a Windows 4 style INF file. On failure shows the text kInfCannotOpen with the
    // path and returns 0.
    int Open(const std::wstring& path);
    void Close();
    bool IsOpen() const;
    const wchar_t* Path() const { return path_; }

    // Lines of the section, -1 when it does not exist.
    int GetLineCount(const std::wstring& section);

    // Positions cursor slot on the section's first line and hands out its text.
    int FindFirstLine(const std::wstring& section, std::wstring& text, int slot);
    // Moves cursor slot to the next line of its section; at the end the
    // cursor stays on the last line.
    int FindNextLine(std::wstring& text, int slot);

    // Text of the first line of section whose key matches.
    int GetValue(const std::wstring& section, const std::wstring& key, std::wstring& text);

    // flag = 1 exactly when the value is "Yes"; 0 (with flag 0) when the
    // section or key is missing.
    int GetYesNo(const std::wstring& section, const std::wstring& key, std::int32_t& flag);

private:
    // What one walk of a section's lines tells.
    struct SectionIndex {
        int count = -1;  // -1: no such section
        INFCONTEXT first{};
        std::unordered_map<std::wstring, INFCONTEXT> firstLineOfKey;  // keys with a-z folded to A-Z
    };
    const SectionIndex* IndexOf(const std::wstring& section);

    HINF handle_;
    INFCONTEXT cursors_[kSlots];
    bool cursorValid_[kSlots];
    wchar_t path_[kPathField];
    std::unordered_map<std::wstring, SectionIndex> sections_;  // by the name asked for
};

}  // namespace tarnex
