// The printer model in force: its name, printed on the sample receipts, and its paper
// width, which chooses the receipt set (56 is narrow paper, every other width 80 mm).
#pragma once

#include <cstdint>
#include <string>

namespace tillvane {

inline constexpr int32_t kNarrowPaperWidth = 56;

// Both values are read by worker jobs while the window may change them.
std::string CurrentModelName();  // bytes as read from the configuration file
int32_t PaperWidth();
void SetCurrentModel(std::string name, int32_t paper_width);

}  // namespace tillvane
