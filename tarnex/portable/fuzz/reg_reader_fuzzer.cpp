// libFuzzer target: the REG reading loop over arbitrary bytes, with a sink
// that parses every value as the registry writer would; and the same bytes
// as the UTF-16 text of a Version 5 file, with and without its header.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "portable/byte_order_mark.h"
#include "portable/reg5_file_reader.h"
#include "portable/reg_file_reader.h"
#include "portable/reg_value_parse.h"

namespace {

class BytesSource : public tarnex::RegByteSource {
public:
    BytesSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    int Next() override { return at_ < size_ ? data_[at_++] : -1; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

class ParsingSink : public tarnex::RegSink {
public:
    bool WriteRegValue(const std::string& key, const std::string& name, const std::string& data,
                       tarnex::RegWriteKind kind) override {
        if (key.size() > tarnex::kRegTextLimit || name.size() > tarnex::kRegTextLimit ||
            data.size() > tarnex::kRegTextLimit)
            __builtin_trap();
        if (!tarnex::SplitRegKeyPath(key)) return false;
        (void)tarnex::UnescapeRegText(name);
        if (kind == tarnex::RegWriteKind::DoubleWord) return tarnex::ParseRegDword(data).has_value();
        if (kind == tarnex::RegWriteKind::Binary) return tarnex::ParseRegBinary(data).has_value();
        (void)tarnex::UnescapeRegText(data);
        return true;
    }
    bool WriteEmptyRegValue(const std::string& key, const std::string&, tarnex::RegWriteKind) override {
        return tarnex::SplitRegKeyPath(key).has_value() || key.size() % 3 != 0;
    }
};

class Reg5CheckingSink : public tarnex::Reg5Sink {
public:
    bool CreateKey(const std::wstring& key) override {
        if (key.size() > tarnex::kRegTextLimit) __builtin_trap();
        return key.size() % 5 != 0;
    }
    bool SetValue(const std::wstring& key, const std::wstring& name, std::uint32_t type,
                  const std::vector<std::uint8_t>& data) override {
        if (key.size() > tarnex::kRegTextLimit || name.size() > tarnex::kRegTextLimit ||
            data.size() > 2 * tarnex::kRegTextLimit + 2)
            __builtin_trap();
        // ("hex(N):" gives any type any bytes, so the types say nothing of
        // the data's size.)
        return (name.size() + type) % 7 != 3;
    }
    void SkipDeletion(const std::wstring& line) override {
        if (line.empty() || line.size() > tarnex::kRegTextLimit) __builtin_trap();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    BytesSource source(data, size);
    ParsingSink sink;
    (void)tarnex::ReadRegText(source, sink);

    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::wstring units = tarnex::Utf16Units(bytes, false);
    Reg5CheckingSink reg5;
    (void)tarnex::IsReg5Text(units);
    (void)tarnex::ReadReg5Text(units, reg5);
    (void)tarnex::ReadReg5Text(std::wstring(tarnex::kReg5Header) + L"\r\n" + units, reg5);
    return 0;
}
