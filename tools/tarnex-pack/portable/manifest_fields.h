// The checks of single manifest values against what the installer's
// description reader takes: field sizes, commas, registry keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pack::manifest_fields {

// Checks of one field: what the description's reader needs of it.
struct FieldRule {
    std::size_t capacity;      // of the reader's field, terminator included
    bool noComma = false;      // the reader splits the line at commas here
    bool required = false;
};

// "" when the text fits the rule, else what is wrong with it.
std::wstring CheckField(const std::wstring& text, const FieldRule& rule);

// A key "ROOT\\path" below one of the four roots, and not one that other
// programs share; root and path receive its parts.
std::wstring CheckRegistryKey(const std::wstring& text, std::int32_t& root, std::wstring& path);

}  // namespace pack::manifest_fields
