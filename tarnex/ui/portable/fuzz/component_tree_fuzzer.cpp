// The component page's rules over catalogues drawn from the fuzzer's bytes:
// any broken promise of the walk stops the run.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "ui/tests/tree_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string broken = tarnex::test::WalkCatalogueFromBytes(data, size);
    if (!broken.empty()) {
        std::fprintf(stderr, "%s\n", broken.c_str());
        __builtin_trap();
    }
    return 0;
}
