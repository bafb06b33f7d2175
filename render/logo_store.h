// Logos the virtual printer holds: RAM logos under numbers (GS # / GS * / GS /) and
// flash logos (FS q / FS p), the latter kept in a file as a printer keeps them in flash.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tillvane::render {

// A logo as the printer receives it: `columns` columns of `bands` bytes, the top band
// first, the top dot in the most significant bit.
struct ColumnImage {
  int columns = 0;  // dots wide (x * 8)
  int bands = 0;    // 8-dot bands high (y)
  std::vector<uint8_t> data;

  int height() const { return bands * 8; }
  bool Dot(int x, int y) const {
    return (data[static_cast<size_t>(x) * bands + (y >> 3)] >> (7 - (y & 7))) & 1;
  }
};

// RAM logo limits per definition: x at most 255 bytes, y at most 48 bands, x * y at
// most 912.
inline constexpr int kRamLogoMaxX = 255;
inline constexpr int kRamLogoMaxY = 48;
inline constexpr int kRamLogoMaxXY = 912;
// Flash limits: x 1 to 1023, y 1 to 288 per image, 256 KiB of image data in all.
inline constexpr int kFlashMaxX = 1023;
inline constexpr int kFlashMaxY = 288;
inline constexpr size_t kFlashCapacity = 256 * 1024;

// Where the flash logos live between runs: $XDG_DATA_HOME/tillvane/flash-logos.bin, or
// ~/.local/share/tillvane/flash-logos.bin when XDG_DATA_HOME is not set. Empty when
// neither variable gives a folder.
std::filesystem::path DefaultFlashStorePath();

// Reads the flash logos from `path`. No file gives an empty list; a damaged file gives
// nullopt and `error` says why.
std::optional<std::vector<ColumnImage>> LoadFlashLogos(const std::filesystem::path& path,
                                                       std::string* error);
// Writes them (folders created, a temporary file renamed over the old one). False and
// `error` on failure.
bool SaveFlashLogos(const std::filesystem::path& path, const std::vector<ColumnImage>& logos,
                    std::string* error);

}  // namespace tillvane::render
