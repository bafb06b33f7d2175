// Which RAM logos were downloaded in this run: the logo download job sets them, the
// logo documents read them.
#pragma once

#include <atomic>

namespace tillvane {

// Logos 1 to 3 (index 0 is logo 1).
std::atomic<bool>* RamLogoLoaded();

}  // namespace tillvane
