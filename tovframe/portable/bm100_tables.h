// The BM100 description: seven packets and their data cells.
#pragma once

#include "tovframe.h"

namespace tovframe {

inline constexpr unsigned long kBm100NameId = 500;
inline constexpr unsigned long kFrameBufferSize = 256;

// The one device this library serves; static data, never freed.
extern const tagSpdDevDsc kBm100Device;

}  // namespace tovframe
