#include "der.h"

#include <algorithm>

namespace pack::der {

Bytes Element(unsigned char tag, const Bytes& value) {
    Bytes out(1, static_cast<char>(tag));
    const std::size_t n = value.size();
    if (n < 0x80) {
        out += static_cast<char>(n);
    } else {
        Bytes length;
        for (std::size_t rest = n; rest != 0; rest >>= 8) length.insert(length.begin(), static_cast<char>(rest & 0xFF));
        out += static_cast<char>(0x80 | length.size());
        out += length;
    }
    return out + value;
}

Bytes Sequence(std::initializer_list<Bytes> parts) {
    Bytes value;
    for (const Bytes& p : parts) value += p;
    return Element(0x30, value);
}

Bytes Set(std::vector<Bytes> parts) {
    // DER orders the members of a SET OF by their encodings.
    std::sort(parts.begin(), parts.end());
    Bytes value;
    for (const Bytes& p : parts) value += p;
    return Element(0x31, value);
}

Bytes Oid(const char* dotted) {
    std::vector<unsigned long> arcs;
    unsigned long arc = 0;
    for (const char* c = dotted;; ++c) {
        if (*c == '.' || *c == '\0') {
            arcs.push_back(arc);
            arc = 0;
            if (*c == '\0') break;
        } else {
            arc = arc * 10 + static_cast<unsigned long>(*c - '0');
        }
    }
    Bytes value(1, static_cast<char>(arcs[0] * 40 + arcs[1]));
    for (std::size_t i = 2; i < arcs.size(); ++i) {
        Bytes base128(1, static_cast<char>(arcs[i] & 0x7F));
        for (unsigned long rest = arcs[i] >> 7; rest != 0; rest >>= 7)
            base128.insert(base128.begin(), static_cast<char>(0x80 | (rest & 0x7F)));
        value += base128;
    }
    return Element(0x06, value);
}

Bytes Null() { return Element(0x05, {}); }
Bytes Octets(const Bytes& value) { return Element(0x04, value); }
Bytes Integer(const Bytes& bigEndian) { return Element(0x02, bigEndian); }
Bytes SmallInteger(unsigned char value) { return Integer(Bytes(1, static_cast<char>(value))); }
Bytes Boolean(bool value) { return Element(0x01, Bytes(1, value ? '\xFF' : '\0')); }
Bytes Explicit0(const Bytes& inner) { return Element(0xA0, inner); }
Bytes Algorithm(const char* oid) { return Sequence({Oid(oid), Null()}); }
Bytes Attribute(const char* oid, const Bytes& value) { return Sequence({Oid(oid), Set({value})}); }

Bytes ContentOctets(const Bytes& der) {
    if (der.size() < 2) return {};
    const unsigned char first = static_cast<unsigned char>(der[1]);
    const std::size_t header = first < 0x80 ? 2 : 2 + (first & 0x7F);
    return header <= der.size() ? der.substr(header) : Bytes();
}

bool Read(std::string_view& in, Item& item) {
    if (in.size() < 2) return false;
    const unsigned char tag = static_cast<unsigned char>(in[0]);
    if ((tag & 0x1F) == 0x1F) return false;  // multi-byte tags: none in what is read here
    const unsigned char first = static_cast<unsigned char>(in[1]);
    std::size_t header = 2, length = first;
    if (first >= 0x80) {
        const std::size_t count = first & 0x7Fu;
        if (count == 0 || count > 4 || in.size() < 2 + count) return false;  // indefinite, or beyond 4 GB
        length = 0;
        for (std::size_t i = 0; i < count; ++i) length = length << 8 | static_cast<unsigned char>(in[2 + i]);
        header += count;
    }
    if (length > in.size() - header) return false;
    item.tag = tag;
    item.value = in.substr(header, length);
    item.whole = in.substr(0, header + length);
    in.remove_prefix(header + length);
    return true;
}

bool Expect(std::string_view& in, unsigned char tag, Item& item) {
    std::string_view probe = in;
    if (!Read(probe, item) || item.tag != tag) return false;
    in = probe;
    return true;
}

std::string_view Magnitude(std::string_view integer) {
    while (integer.size() > 1 && integer[0] == '\0') integer.remove_prefix(1);
    return integer;
}

}  // namespace pack::der
