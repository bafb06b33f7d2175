// Logos the virtual printer holds: RAM logos under numbers (GS # / GS * / GS /) and
// flash logos (FS q / FS p), the latter kept in a file as a printer keeps them in flash.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "protocol/limits.h"

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

// The RAM logo and flash limits are the printer's, named once in protocol/limits.h.
using protocol::kFlashCapacity;
using protocol::kFlashMaxX;
using protocol::kFlashMaxY;
using protocol::kRamLogoMaxX;
using protocol::kRamLogoMaxXY;
using protocol::kRamLogoMaxY;

// `name` in the user's data folder of Tillvane ($XDG_DATA_HOME/tillvane, else
// ~/.local/share/tillvane); empty when neither is set.
std::filesystem::path UserDataFile(const char* name);

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

// What the printer's stores (flash logos, NV graphics) share: a 16-bit little-endian
// integer appended to a file image, and the file image written whole, through a
// temporary file renamed over the old one (folders created). False and `error` on
// failure; the old file is then left as it was.
void PutU16(std::string& out, unsigned v);
bool WriteStoreFile(const std::filesystem::path& path, const std::string& bytes,
                    std::string* error);

}  // namespace tillvane::render
