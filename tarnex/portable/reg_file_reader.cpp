#include "reg_file_reader.h"

#include <optional>

#include "vrel/hex_text.h"

namespace tarnex {
namespace {

constexpr int kEnd = -1;

// A text collected byte by byte, cut at kRegTextLimit with a note that it was.
struct Collected {
    std::string text;
    bool overflow = false;
    void Add(int c) {
        if (text.size() < kRegTextLimit)
            text.push_back(static_cast<char>(c));
        else
            overflow = true;
    }
    void DropLast() {
        if (!text.empty() && !overflow) text.pop_back();
    }
};

class Reader {
public:
    Reader(RegByteSource& source, RegSink& sink) : in_(source), sink_(sink) {}

    bool Run() {
        int c = in_.Next();
        while (c != kEnd) {
            if (c == '\r' || c == '\n') {
                c = in_.Next();
                continue;
            }
            bool ok = true;
            if (c == '[')
                ok = KeyLine(c);
            else if (c == '@')
                DefaultName(c);
            else if (c == '"' && key_ && !name_)
                ValueName(c);
            else if (c == '"')
                ok = StringData(c);
            if (!ok) return false;
            // The fall-through shared by every construct: type words, then
            // the write of a pending string.
            if ((c == 'd' || c == 'h') && name_ && !data_) {
                if (!TypedValue(c)) return false;
                continue;
            }
            if ((c == 'd' || c == 'h') && !name_) {
                c = in_.Next();
                continue;
            }
            if (name_ && data_) {
                if (!Write(*name_, *data_, RegWriteKind::String)) return false;
                name_.reset();
                data_.reset();
            }
            c = in_.Next();
        }
        return true;
    }

private:
    // "[" root "\" path "]": a new key, created even when no value follows.
    bool KeyLine(int& c) {
        key_.reset();
        name_.reset();
        data_.reset();
        Collected key;
        for (c = in_.Next(); c != kEnd && c != ']'; c = in_.Next()) key.Add(c);
        if (key.overflow) return false;
        key_ = key.text;
        if (!sink_.WriteEmptyRegValue(*key_, std::string(), RegWriteKind::KeyOnly)) return false;
        c = ']';
        return true;
    }

    void DefaultName(int& c) {
        c = in_.Next();
        if (c == '=') {
            name_ = std::string("(Default)");
            return;
        }
        // The byte after "@" may itself be the line end.
        if (c == kEnd || c == '\r') return;
        for (c = in_.Next(); c != kEnd && c != '\r'; c = in_.Next()) {
        }
    }

    void ValueName(int& c) {
        Collected name;
        for (c = in_.Next(); c != kEnd && c != '='; c = in_.Next()) name.Add(c);
        name.DropLast();
        // An over-long name is kept cut; the value write refuses it below.
        name_ = name.overflow ? std::string(kRegTextLimit + 1, '\0') : name.text;
        c = '=';
    }

    bool StringData(int& c) {
        Collected data;
        for (c = in_.Next(); c != kEnd && c != '\r'; c = in_.Next()) data.Add(c);
        if (data.overflow) return false;
        data.DropLast();
        data_ = data.text;
        if (data_->empty()) {
            data_.reset();
            if (name_) {
                if (!WriteEmpty(*name_, RegWriteKind::String)) return false;
                name_.reset();
            }
        }
        return true;
    }

    // "dword:", "hex:" and the other type words after a pending name.
    bool TypedValue(int& c) {
        Collected word;
        word.Add(c);
        for (c = in_.Next(); c != kEnd && c != ':'; c = in_.Next()) word.Add(c);
        bool ok = true;
        if (!word.overflow && word.text == "hex") {
            c = in_.Next();
            if (c == '\r') {
                ok = WriteEmpty(*name_, RegWriteKind::Binary);
            } else {
                Collected digits;
                bool afterDigit = false;
                for (; c != kEnd; c = in_.Next()) {
                    if (c == '\r' && afterDigit) break;
                    afterDigit = vrel::HexDigitValue(c) >= 0;
                    if (afterDigit) digits.Add(c);
                }
                ok = !digits.overflow && Write(*name_, digits.text, RegWriteKind::Binary);
            }
        } else if (!word.overflow && word.text == "dword") {
            std::string eight;
            for (int i = 0; i < 8; ++i) {
                c = in_.Next();
                if (c == kEnd) break;
                eight.push_back(static_cast<char>(c));
            }
            ok = Write(*name_, eight, RegWriteKind::DoubleWord);
        }
        if (!ok) return false;
        name_.reset();
        data_.reset();
        c = in_.Next();
        return true;
    }

    // Before the first key line there is no key to write to: nothing is
    // written and the import goes on.
    bool Write(const std::string& name, const std::string& data, RegWriteKind kind) {
        if (!key_) return true;
        if (name.size() > kRegTextLimit) return false;
        return sink_.WriteRegValue(*key_, name, data, kind);
    }
    bool WriteEmpty(const std::string& name, RegWriteKind kind) {
        if (!key_) return true;
        if (name.size() > kRegTextLimit) return false;
        return sink_.WriteEmptyRegValue(*key_, name, kind);
    }

    RegByteSource& in_;
    RegSink& sink_;
    std::optional<std::string> key_;
    std::optional<std::string> name_;
    std::optional<std::string> data_;
};

}  // namespace

bool ReadRegText(RegByteSource& source, RegSink& sink) { return Reader(source, sink).Run(); }

}  // namespace tarnex
