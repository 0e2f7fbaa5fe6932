// The installer's run modes, as the run mark and the log name them.
#pragma once

#include <cstdint>

namespace tarnex {

enum RunMode : std::uint32_t {
    AS_INST = 0,  // install
    AS_DEL = 1,   // remove the whole package
    AS_SUP = 2,   // maintenance: the wizard asks what to do
    AS_REP = 3,   // reinstall or repair
    AS_AD = 4,    // add or remove components
    AS_SD = 5,    // remove, chosen on the maintenance page
};

}  // namespace tarnex
