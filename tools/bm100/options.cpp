#include "options.h"

#include <cerrno>
#include <cstdlib>

namespace bm100tool {

const char kUsage[] =
    "bm100: reads a BM100 level gauge over a serial line through Busvault and TovFrame.\n"
    "\n"
    "usage: bm100 --port NAME [options]\n"
    "  --port NAME       serial port of the gauge, for example COM1 (required)\n"
    "  --mode TEXT       line settings in the syntax of BuildCommDCB (default \"9600,n,8,1\")\n"
    "  --wait MS         how long each write and read may take (default 500)\n"
    "  --interval MS     a pause between bytes this long ends a reply (default 50)\n"
    "  --attempts N      read attempts per request, 1 or more; every third failed read\n"
    "                    re-sends the request (default 3)\n"
    "  --address N       address the request to gauge N (0-255); without it the request\n"
    "                    carries no address and any gauge on the line answers\n"
    "  --packet P[,P..]  packets to request: index 0-6, code (0x14) or name (Level_Data);\n"
    "                    may be repeated (default: all seven)\n"
    "  --all             all seven packets\n"
    "  --help            this text\n"
    "\n"
    "Busvault.dll must be registered as a COM server. If it is not, bm100 registers the\n"
    "Busvault.dll in its own folder (as regsvr32 would) and says so. TovFrame.dll is\n"
    "loaded from bm100's own folder.\n"
    "\n"
    "Exit codes: 0 every packet read; 1 bad command line; 2 Busvault or TovFrame not\n"
    "usable; 3 the port cannot be opened or set up; 4 the gauge did not answer;\n"
    "5 a reply was not a valid frame of the packet asked for.\n";

bool ParseNumber(const std::string& text, std::uint32_t max, std::uint32_t& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long n = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0' || n > max) return false;
    value = static_cast<std::uint32_t>(n);
    return true;
}

bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] ? argv[i] : "";
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            options.help = true;
            return true;
        }
        if (arg == "--all") {
            options.packets.clear();
            continue;
        }
        const bool takesValue = arg == "--port" || arg == "--mode" || arg == "--wait" || arg == "--interval" ||
                                arg == "--attempts" || arg == "--address" || arg == "--packet";
        if (!takesValue) {
            error = "unknown option \"" + arg + "\"";
            return false;
        }
        if (i + 1 >= argc || !argv[i + 1]) {
            error = arg + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        std::uint32_t n = 0;
        if (arg == "--port") {
            if (value.empty()) {
                error = "--port needs a port name";
                return false;
            }
            options.port = value;
        } else if (arg == "--mode") {
            options.mode = value;
        } else if (arg == "--packet") {
            std::size_t start = 0;
            for (;;) {
                const std::size_t comma = value.find(',', start);
                const std::string one = value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                if (one.empty()) {
                    error = "--packet needs packet names, indexes or codes";
                    return false;
                }
                options.packets.push_back(one);
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
        } else if (arg == "--address") {
            if (!ParseNumber(value, 255, n)) {
                error = "--address takes a number from 0 to 255";
                return false;
            }
            options.addressed = true;
            options.address = static_cast<std::uint8_t>(n);
        } else {
            // Time-outs up to a day; attempts up to a thousand rounds.
            const std::uint32_t max = arg == "--attempts" ? 3000u : 86'400'000u;
            if (!ParseNumber(value, max, n) || (arg == "--attempts" && n == 0)) {
                error = arg + " takes a number from " + (arg == "--attempts" ? "1" : "0") + " to " +
                        std::to_string(max);
                return false;
            }
            (arg == "--wait" ? options.waitMs : arg == "--interval" ? options.intervalMs : options.attempts) = n;
        }
    }
    if (options.port.empty()) {
        error = "--port is required";
        return false;
    }
    return true;
}

}  // namespace bm100tool
