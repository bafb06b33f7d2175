#include "commands/ram_logos.h"

namespace tillvane {

std::atomic<bool>* RamLogoLoaded() {
  static std::atomic<bool> loaded[3]{false, false, false};
  return loaded;
}

}  // namespace tillvane
