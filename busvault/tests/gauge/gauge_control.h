// The simulated gauge as a Windows test program drives it: its mode through
// the control file, its counts from the status file (gauge_sim.cpp), both
// reached through drive Z:.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace gauge {

inline constexpr BYTE kAddress = 5;  // the simulated gauge's own address

// A variable the serial_lines fixture sets for the test; empty when absent.
inline std::string FixtureValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A Linux path as a Windows program under Wine sees it.
inline std::string HostPath(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return "Z:" + path;
}

class GaugeControl {
public:
    explicit GaugeControl(const std::string& base)
        : control_(HostPath(base + ".control")), status_(HostPath(base + ".status")) {}

    // Switches the mode with a new generation and waits until the gauge has
    // taken it (its request count is then 0 and any noise is on the line).
    bool Set(const std::string& mode) {
        ++generation_;
        const std::string temp = control_ + ".new";
        {
            std::ofstream out(temp, std::ios::trunc);
            out << generation_ << ' ' << mode << '\n';
        }
        if (!::MoveFileExA(temp.c_str(), control_.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
        for (int i = 0; i < 400; ++i) {
            const std::vector<long> status = Status();
            if (!status.empty() && status[0] == generation_) return true;
            ::Sleep(5);
        }
        return false;
    }

    // Requests seen in this generation, once the gauge has counted at least
    // `expected` (or 3 s have passed) and the count has stopped changing: a
    // gauge kept from the CPU on a busy machine still gets to count them all.
    long Requests(long expected) {
        const std::vector<long> status = SettledStatus(expected);
        return status.size() > 1 ? status[1] : -1;
    }

    // True once `count` replies of this generation are wholly on the line
    // (a late one included), false when that takes longer than timeoutMs.
    bool WaitForReplies(long count, DWORD timeoutMs = 3000) const {
        const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
        for (;;) {
            const std::vector<long> status = Status();
            if (status.size() > 2 && status[0] == generation_ && status[2] >= count) return true;
            if (::GetTickCount64() >= deadline) return false;
            ::Sleep(5);
        }
    }

    // The whole status line, settled as above: generation, requests, replies
    // and, in chaos mode, what was done to the replies.
    std::vector<long> SettledStatus(long expectedRequests) {
        for (int i = 0; i < 300; ++i) {
            const std::vector<long> now = Status();
            if (now.size() > 1 && now[1] >= expectedRequests) break;
            ::Sleep(10);
        }
        std::vector<long> last;
        for (int stable = 0, i = 0; i < 100 && stable < 10; ++i) {
            const std::vector<long> now = Status();
            stable = now == last ? stable + 1 : 0;
            last = now;
            ::Sleep(10);
        }
        return last;
    }

    std::vector<long> Status() const {
        std::ifstream in(status_);
        std::vector<long> values;
        for (long value; in >> value;) values.push_back(value);
        return values;
    }

private:
    std::string control_, status_;
    long generation_ = 1000 + static_cast<long>(::GetTickCount() % 1000) * 1000;
};

}  // namespace gauge
