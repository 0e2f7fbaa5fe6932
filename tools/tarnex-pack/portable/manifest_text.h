// The manifest's text layer: decoding the file and splitting lines and
// values. Shared by the parts of the manifest reader.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pack::manifest_text {

// UTF-16LE with a byte-order mark, or UTF-8 with or without one.
bool DecodeManifest(std::string_view bytes, std::wstring& text);

std::wstring Trim(std::wstring_view text);

// Splits at "|" into at most count fields; the last one takes the rest.
std::vector<std::wstring> SplitFields(const std::wstring& value, std::size_t count);

// The non-empty items between any of the separators, trimmed.
std::vector<std::wstring> SplitList(const std::wstring& value, const wchar_t* separators);

// A decimal number from low to high.
bool ReadNumber(const std::wstring& text, std::int64_t low, std::int64_t high, std::int64_t& value);

}  // namespace pack::manifest_text
