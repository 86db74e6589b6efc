// Draining a source in tests: everything GetData hands out, asked for in given pieces.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/AuClasses.h"

namespace sundral_test {

// Calls GetData until it gives 0 bytes, asking for Asks[0], Asks[1], ... in turn (cycling),
// and returns the bytes in order. The source must be initialised.
std::vector<uint8_t> DrainSource(sundral::TAuInput& Source,
                                 const std::vector<uint32_t>& Asks = {16384});

} // namespace sundral_test
