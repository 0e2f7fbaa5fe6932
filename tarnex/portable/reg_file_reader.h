// The REG file reading loop: "REGEDIT4" text read one byte at a time, every
// key and value handed to a sink in file order. No registry call here, so the
// loop runs natively under sanitizers and the fuzzer.
#pragma once

#include <cstddef>
#include <string>

#include "portable/section_records.h"

namespace tarnex {

// Receives what the reader found. Both return false to stop the import.
class RegSink {
public:
    virtual ~RegSink() = default;
    // data: the string text, the eight double-word characters, or the
    // collected hexadecimal digits.
    virtual bool WriteRegValue(const std::string& keyPath, const std::string& name, const std::string& data,
                               RegWriteKind kind) = 0;
    virtual bool WriteEmptyRegValue(const std::string& keyPath, const std::string& name, RegWriteKind kind) = 0;
};

// Byte source: Next() returns 0..255, or -1 at the end or on a read failure
// (both end the loop normally).
class RegByteSource {
public:
    virtual ~RegByteSource() = default;
    virtual int Next() = 0;
};

// The longest key path, name, data or type word the reader collects. A line
// that runs past it is consumed but not written: the import stops with false
// (a type word that long is simply not a known one).
inline constexpr std::size_t kRegTextLimit = 64 * 1024;

// Runs the reading loop. True when the whole input was read and every entry
// written. Values met before the first key line write nothing.
bool ReadRegText(RegByteSource& source, RegSink& sink);

}  // namespace tarnex
