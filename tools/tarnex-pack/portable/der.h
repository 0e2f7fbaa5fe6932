// The little DER that signatures and time stamps need: elements written
// from their parts, and read back one at a time. Single-byte tags, definite
// lengths.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace pack::der {

using Bytes = std::string;

Bytes Element(unsigned char tag, const Bytes& value);
Bytes Sequence(std::initializer_list<Bytes> parts);
Bytes Set(std::vector<Bytes> parts);  // in DER order
Bytes Oid(const char* dotted);
Bytes Null();
Bytes Octets(const Bytes& value);
Bytes Integer(const Bytes& bigEndian);
Bytes SmallInteger(unsigned char value);
Bytes Boolean(bool value);
Bytes Explicit0(const Bytes& inner);
Bytes Algorithm(const char* oid);  // AlgorithmIdentifier with NULL parameters
Bytes Attribute(const char* oid, const Bytes& value);

// The octets inside a DER element (its tag and length left off).
Bytes ContentOctets(const Bytes& der);

// One element read off the front of the input.
struct Item {
    unsigned char tag = 0;
    std::string_view value;  // the contents
    std::string_view whole;  // tag, length and contents
};

// False when the input does not start with a whole element (or is empty);
// the input is then left as it was.
bool Read(std::string_view& in, Item& item);

// Reads an element of the tag; false when the next one is of another tag.
bool Expect(std::string_view& in, unsigned char tag, Item& item);

// An INTEGER's contents without the leading zero bytes DER may carry
// before a byte with its high bit set.
std::string_view Magnitude(std::string_view integer);

}  // namespace pack::der
