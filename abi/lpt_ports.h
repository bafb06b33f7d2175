// Parallel port base addresses by position in the LPT list (LPT1 first); LPT3 and
// LPT4 have none. The opening of the parallel link and the port I/O library both
// read it.
#pragma once

#include <cstdint>

namespace tillvane {

inline constexpr uint16_t kLptBaseTable[4] = {0x378, 0x278, 0, 0};

}  // namespace tillvane
