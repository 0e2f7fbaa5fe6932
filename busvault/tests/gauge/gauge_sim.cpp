// bm100-gauge-sim: a BM100 level gauge on the far end of a serial line (a
// pseudo-terminal), for the Busvault and bm100 tests. Native Linux program.
//
//   bm100-gauge-sim --line PATH --control FILE --status FILE [--address N]
//   bm100-gauge-sim --pty LINK --control FILE --status FILE [--address N]
//
// With --line it drives one end of a line made by another program (socat's
// pseudo-terminal pair). With --pty it makes the line itself: a
// pseudo-terminal whose port end LINK points at (a Wine prefix's
// dosdevices/comN), which it can take away and bring back as an adapter is
// unplugged and plugged in again.
//
// It answers every well-formed request frame addressed to it (or not
// addressed at all) with the reply of that packet. Its behaviour follows the
// one line of the control file, re-read continuously:
//
//   GENERATION MODE [ARGUMENT]
//
//   answer        reply at once
//   silent        never reply
//   late MS       reply MS milliseconds after the request
//   kth K         reply only to the K-th request of this generation
//   badsum        reply with a wrong checksum
//   split MS      send the first half of the reply, pause MS, send the rest
//   stale N       push N bytes of noise onto the line when the generation
//                 starts, then reply at once
//   unplugged     (--pty only) the line goes away: the pseudo-terminal is
//                 closed, so the port's open handle fails, and LINK is
//                 removed, so the port cannot be opened; the next other mode
//                 makes a new pseudo-terminal under LINK
//   chaos SEED DROP GARBLE SPLIT DELAY REPEAT MAXDELAY
//                 a misbehaving gauge: per reply, with the given
//                 percentages (drawn from a generator seeded with SEED),
//                 drop it, change one of its bytes, send it in two parts
//                 (the rest up to MAXDELAY/2 ms later), send it up to
//                 MAXDELAY ms late, or send it twice
//
// A new GENERATION number restarts the request count. After every request,
// and whenever a reply held back has gone out whole, the status file is
// replaced by "GENERATION REQUESTS REPLIES" (REPLIES: those whose last byte
// is on the line); in chaos mode the counts of "DROPPED GARBLED SPLIT DELAYED
// REPEATED" replies follow.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "gauge_replies.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Mode {
    long generation = -1;
    std::string name = "answer";
    long argument = 0;
    std::vector<long> more;  // chaos: the percentages and the longest delay
};

// What chaos mode did, for the status file.
struct Mischief {
    long dropped = 0, garbled = 0, split = 0, delayed = 0, repeated = 0;
};

struct Pending {
    Clock::time_point due;
    std::vector<std::uint8_t> bytes;
    bool completesReply = false;  // the last part of a reply (not a repeated copy)
};

struct Options {
    std::string line, pty, control, status;
    std::uint8_t address = 5;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i], value = argv[i + 1];
        if (key == "--line") options.line = value;
        else if (key == "--pty") options.pty = value;
        else if (key == "--control") options.control = value;
        else if (key == "--status") options.status = value;
        else if (key == "--address") options.address = static_cast<std::uint8_t>(std::atoi(value.c_str()));
        else return false;
    }
    return options.line.empty() != options.pty.empty() && !options.control.empty() && !options.status.empty();
}

void MakeRaw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
}

// The gauge's own line (--pty): the gauge holds the pseudo-terminal's master,
// the port is its other side.
class OwnLine {
public:
    explicit OwnLine(std::string link) : link_(std::move(link)) {}
    ~OwnLine() { Unplug(); }
    OwnLine(const OwnLine&) = delete;
    OwnLine& operator=(const OwnLine&) = delete;

    // The gauge's end of the line, made when there is none; -1 on failure.
    int Plug() {
        if (master_ >= 0) return master_;
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0) return -1;
        const char* name = ::grantpt(master) == 0 && ::unlockpt(master) == 0 ? ::ptsname(master) : nullptr;
        // Held open here too, so the line stays raw and keeps what was sent
        // between one user of the port and the next (as socat does).
        const int port = name ? ::open(name, O_RDWR | O_NOCTTY) : -1;
        if (port < 0) {
            ::close(master);
            return -1;
        }
        MakeRaw(port);
        const std::string temp = link_ + ".new";
        ::unlink(temp.c_str());
        if (::symlink(name, temp.c_str()) != 0 || ::rename(temp.c_str(), link_.c_str()) != 0) {
            ::close(port);
            ::close(master);
            return -1;
        }
        master_ = master;
        port_ = port;
        return master_;
    }

    // The port's device goes: no name to open, and every open handle fails.
    void Unplug() {
        if (master_ < 0) return;
        ::unlink(link_.c_str());
        ::close(port_);
        ::close(master_);
        master_ = port_ = -1;
    }

private:
    std::string link_;
    int master_ = -1, port_ = -1;
};

bool ReadMode(const std::string& path, Mode& mode) {
    std::ifstream in(path);
    std::string text;
    if (!in || !std::getline(in, text)) return false;
    std::istringstream words(text);
    Mode read;
    if (!(words >> read.generation >> read.name)) return false;
    words >> read.argument;
    for (long value; words >> value;) read.more.push_back(value);
    mode = read;
    return true;
}

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
    ::tcdrain(fd);
}

void WriteStatus(const std::string& path, const Mode& mode, long requests, long replies, const Mischief& m) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << mode.generation << ' ' << requests << ' ' << replies;
        if (mode.name == "chaos")
            out << ' ' << m.dropped << ' ' << m.garbled << ' ' << m.split << ' ' << m.delayed << ' ' << m.repeated;
        out << '\n';
    }
    std::rename(temp.c_str(), path.c_str());
}

// Collects request frames from the byte stream: from an STX to the first
// ETX that is not escaped.
class FrameCollector {
public:
    bool Push(std::uint8_t b, std::vector<std::uint8_t>& frame) {
        if (!inFrame_) {
            if (b == 0x02) {
                inFrame_ = true;
                escaped_ = false;
                bytes_.assign(1, b);
            }
            return false;
        }
        if (escaped_) {
            escaped_ = false;
            bytes_.push_back(b);
            return false;
        }
        if (b == 0x02) {  // a new frame starts over
            bytes_.assign(1, b);
            return false;
        }
        bytes_.push_back(b);
        if (b == 0x10) escaped_ = true;
        if (b != 0x03) return false;
        inFrame_ = false;
        frame = bytes_;
        return true;
    }

private:
    bool inFrame_ = false;
    bool escaped_ = false;
    std::vector<std::uint8_t> bytes_;
};

// Chaos mode: what happens to each reply, drawn from the seeded generator.
class Chaos {
public:
    void Start(const Mode& mode) {
        random_.seed(static_cast<std::uint32_t>(mode.argument));
        const auto at = [&](std::size_t i, long fallback) { return i < mode.more.size() ? mode.more[i] : fallback; };
        drop_ = at(0, 5), garble_ = at(1, 5), split_ = at(2, 5), delay_ = at(3, 10), repeat_ = at(4, 5);
        maxDelay_ = std::max(2L, at(5, 60));
    }

    // Queues what goes on the line for one reply frame.
    void Reply(std::vector<std::uint8_t> frame, Clock::time_point now, std::vector<Pending>& pending, Mischief& m) {
        if (Chance(drop_)) {
            ++m.dropped;
            return;
        }
        if (Chance(garble_)) {
            ++m.garbled;
            const std::size_t at = Uniform(0, static_cast<long>(frame.size()) - 1);
            frame[at] = static_cast<std::uint8_t>(frame[at] ^ Uniform(1, 255));
        }
        Clock::time_point due = now;
        if (Chance(delay_)) {
            ++m.delayed;
            due += std::chrono::milliseconds(Uniform(1, maxDelay_));
        }
        if (Chance(split_) && frame.size() > 1) {
            ++m.split;
            const auto cut = frame.begin() + static_cast<std::ptrdiff_t>(Uniform(1, static_cast<long>(frame.size()) - 1));
            pending.push_back({due, std::vector<std::uint8_t>(frame.begin(), cut), false});
            due += std::chrono::milliseconds(Uniform(1, maxDelay_ / 2));
            frame.erase(frame.begin(), cut);
        }
        pending.push_back({due, frame, true});
        if (Chance(repeat_)) {
            ++m.repeated;
            pending.push_back({due + std::chrono::milliseconds(Uniform(0, maxDelay_ / 2)), frame, false});
        }
    }

private:
    bool Chance(long percent) { return Uniform(0, 99) < percent; }
    long Uniform(long low, long high) { return std::uniform_int_distribution<long>(low, high)(random_); }

    std::mt19937 random_;
    long drop_ = 0, garble_ = 0, split_ = 0, delay_ = 0, repeat_ = 0, maxDelay_ = 2;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: bm100-gauge-sim --line PATH|--pty LINK --control FILE --status FILE [--address N]\n");
        return 2;
    }
    std::unique_ptr<OwnLine> own;
    int fd = -1;
    if (!options.pty.empty()) {
        own = std::make_unique<OwnLine>(options.pty);
        fd = own->Plug();
    } else {
        fd = ::open(options.line.c_str(), O_RDWR | O_NOCTTY);
        if (fd >= 0) MakeRaw(fd);
    }
    if (fd < 0) {
        std::perror(options.line.empty() ? options.pty.c_str() : options.line.c_str());
        return 1;
    }

    Mode mode;
    long requests = 0, replies = 0;
    Mischief mischief;
    Chaos chaos;
    std::vector<Pending> pending;
    FrameCollector collector;
    WriteStatus(options.status, mode, requests, replies, mischief);

    for (;;) {
        Mode next = mode;
        if (ReadMode(options.control, next) && next.generation != mode.generation) {
            requests = replies = 0;
            mischief = Mischief{};
            pending.clear();
            if (own) fd = next.name == "unplugged" ? (own->Unplug(), -1) : own->Plug();
            if (next.name == "chaos") chaos.Start(next);
            if (next.name == "stale" && fd >= 0)
                WriteAll(fd, std::vector<std::uint8_t>(static_cast<std::size_t>(next.argument), 0x55));
            mode = next;
            WriteStatus(options.status, mode, requests, replies, mischief);
        } else {
            mode.name = next.name;
            mode.argument = next.argument;
        }

        // What is due goes out in the order it was queued.
        const auto sendDue = [&] {
            const auto now = Clock::now();
            bool replied = false;
            for (auto it = pending.begin(); it != pending.end();) {
                if (it->due <= now) {
                    WriteAll(fd, it->bytes);
                    if (it->completesReply) ++replies, replied = true;
                    it = pending.erase(it);
                } else {
                    ++it;
                }
            }
            if (replied) WriteStatus(options.status, mode, requests, replies, mischief);
        };
        if (fd < 0) {  // unplugged, or a new line could not be made
            ::usleep(5000);
            continue;
        }
        sendDue();

        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, pending.empty() ? 5 : 1) <= 0) continue;
        std::uint8_t buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            ::usleep(5000);  // the host side is closed for now
            continue;
        }
        for (ssize_t i = 0; i < n; ++i) {
            std::vector<std::uint8_t> frame;
            if (!collector.Push(buffer[i], frame)) continue;
            const auto request = bm100wire::DecodeRequest(frame);
            if (!request) continue;
            ++requests;
            const bool forUs = !request->addressed || request->address == options.address;
            const auto data = gauge::PacketData(request->code);
            const bool known = !data.empty();
            bool reply = forUs && known;
            if (mode.name == "silent") reply = false;
            if (mode.name == "kth") reply = reply && requests == mode.argument;
            if (reply) {
                const auto frameOut = gauge::ReplyFrame(request->code, request->addressed, options.address,
                                                        mode.name == "badsum" ? 1 : 0);
                const auto at = Clock::now();
                if (mode.name == "chaos") {
                    chaos.Reply(frameOut, at, pending, mischief);
                } else if (mode.name == "late") {
                    pending.push_back({at + std::chrono::milliseconds(mode.argument), frameOut, true});
                } else if (mode.name == "split") {
                    const auto half = frameOut.begin() + static_cast<std::ptrdiff_t>(frameOut.size() / 2);
                    WriteAll(fd, std::vector<std::uint8_t>(frameOut.begin(), half));
                    pending.push_back({at + std::chrono::milliseconds(mode.argument),
                                       std::vector<std::uint8_t>(half, frameOut.end()), true});
                } else {
                    WriteAll(fd, frameOut);
                    ++replies;
                }
            }
            WriteStatus(options.status, mode, requests, replies, mischief);
        }
        sendDue();
    }
}
