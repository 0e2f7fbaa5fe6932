// Catalogues drawn from bytes for the component page's rules, and a walk
// over one: build its tree, show the page, toggle items, leave the page,
// checking after every step what the rules promise. The unit tests feed it
// random bytes, the fuzzer its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnex::test {

// "" when every check held, else a description of the first broken one.
std::string WalkCatalogueFromBytes(const std::uint8_t* data, std::size_t size);

}  // namespace tarnex::test
