// The Version 5 REG file reader: "Windows Registry Editor Version 5.00"
// text, as today's regedit exports it in UTF-16, read line by line and every
// key and value handed to a sink in file order with its registry type and
// stored bytes. No registry call here, so it runs natively under sanitizers
// and the fuzzer. ("REGEDIT4" files have their reader in reg_file_reader.h.)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnex {

inline constexpr wchar_t kReg5Header[] = L"Windows Registry Editor Version 5.00";

class Reg5Sink {
public:
    virtual ~Reg5Sink() = default;
    // "[ROOT\key]": the key is created even when no value follows.
    virtual bool CreateKey(const std::wstring& keyPath) = 0;
    // A value of the key above it: its registry type (REG_SZ 1, REG_DWORD 4,
    // "hex(N)" N ...) and its data as the registry stores them (strings in
    // UTF-16 little-endian with their terminator). name is "" for "@".
    virtual bool SetValue(const std::wstring& keyPath, const std::wstring& name, std::uint32_t type,
                          const std::vector<std::uint8_t>& data) = 0;
    // "[-ROOT\key]" and "name"=-: the importer never deletes; the line is
    // handed over to be logged.
    virtual void SkipDeletion(const std::wstring& line) = 0;
};

// The text is UTF-16 code units (one a wchar_t), without the byte-order mark.
bool IsReg5Text(std::wstring_view text);

// True when every entry was read and written. A malformed value line, or a
// key path, name or value longer than the REGEDIT4 reader's limit, stops the
// reading with false (earlier entries stay). Values before the first key
// line, comments and lines of no known form are passed over.
bool ReadReg5Text(std::wstring_view text, Reg5Sink& sink);

}  // namespace tarnex
