// What the printer's memories take. Larger definitions are refused by the printer;
// the tokenizer passes over their data by its length (or, where the length itself is
// not believable, reads on after the header).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tillvane::protocol {

// RAM logos (GS * x y): x at most 255 bytes across, y at most 48 bands of 8 dots, and
// x * y at most 912.
inline constexpr int kRamLogoMaxX = 255;
inline constexpr int kRamLogoMaxY = 48;
inline constexpr int kRamLogoMaxXY = 912;

// Flash logos (FS q): each image x 1 to 1023 bytes across, y 1 to 288 bands, and
// 256 KiB of image data in one definition.
inline constexpr int kFlashMaxX = 1023;
inline constexpr int kFlashMaxY = 288;
inline constexpr size_t kFlashCapacity = 256 * 1024;

// Raster images (GS v 0): at most 255 bytes across and 2303 rows.
inline constexpr int kMaxRasterBytes = 255;
inline constexpr int kMaxRasterRows = 2303;

// Graphics data (GS 8 L): at most 1 MiB.
inline constexpr uint64_t kMaxGraphicsBytes = uint64_t{1} << 20;

// Data ended by a zero byte: at most 255 bytes of bar code data (GS k 0..6) and 32 tab
// stops (ESC D).
inline constexpr size_t kMaxZeroEndedData = 255;
inline constexpr size_t kMaxTabs = 32;

}  // namespace tillvane::protocol
