// Token splitting, replacing and number reading for the installer's texts.
// Portable: no Windows header needed.
#pragma once

#include <cstdint>
#include <string>

namespace tarnex {

// Splits off the part before the first occurrence of separator into token;
// text keeps what follows the separator's first character. Without an
// occurrence the whole text goes to token, text becomes empty and the result
// is 0. No blanks are trimmed.
int SplitToken(std::wstring& text, const std::wstring& separator, std::wstring& token);

// Non-overlapping occurrences; 0 for a missing (null) text or an empty pattern.
std::size_t CountOccurrences(const wchar_t* text, const std::wstring& pattern);

// Every occurrence of pattern replaced; 0 for a missing (null) text or an
// empty pattern, else 1 with the new text in out.
int ReplaceAll(const wchar_t* text, const std::wstring& pattern, const std::wstring& replacement, std::wstring& out);
int ReplaceAll(const std::wstring& text, const std::wstring& pattern, const std::wstring& replacement,
               std::wstring& out);

// Appends to an owned text (the installer builds long texts piece by piece).
void AppendText(std::wstring& owned, const std::wstring& addition);

// Decimal with the leading-digits rule: optional blanks and sign, then
// digits; anything else reads 0. Values beyond 32 bits are clamped.
std::int32_t ReadInt(const std::wstring& text);

}  // namespace tarnex
