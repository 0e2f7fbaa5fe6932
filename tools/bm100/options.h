// The command line of bm100: which port, how to set it up, which packets to
// request from which gauge. Portable: no Windows header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bm100tool {

struct Options {
    bool help = false;
    std::string port;
    std::string mode = "9600,n,8,1";
    std::uint32_t waitMs = 500;
    std::uint32_t intervalMs = 50;
    std::uint32_t attempts = 3;
    bool addressed = false;
    std::uint8_t address = 0;
    // As given: an index 0-6, a code "0x.." or a packet name; empty for all.
    std::vector<std::string> packets;
};

// Fills `options` from argv[1..]; false with `error` set for a command line
// that cannot be used.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);

// Reads a decimal or 0x-prefixed number no larger than `max`.
bool ParseNumber(const std::string& text, std::uint32_t max, std::uint32_t& value);

extern const char kUsage[];

}  // namespace bm100tool
