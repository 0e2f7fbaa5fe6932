// libFuzzer target: the REG reading loop over arbitrary bytes, with a sink
// that parses every value as the registry writer would.
#include <cstddef>
#include <cstdint>
#include <string>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    BytesSource source(data, size);
    ParsingSink sink;
    (void)tarnex::ReadRegText(source, sink);
    return 0;
}
