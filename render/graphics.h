// The graphics functions of GS ( L and GS 8 L (the same functions; GS 8 L has a four-byte
// length): pictures in the print buffer (fn 112 raster, fn 113 column form) and the NV
// graphics memory, whose pictures are kept under two key-code bytes in a file as a
// printer keeps them in flash. Plain C++: each function works on the parameter bytes that
// follow the length, m first.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "render/page.h"

namespace tillvane::render {

// Limits of one picture in the print buffer (fn 112 and 113) and in NV memory.
inline constexpr int kRasterGraphicsMaxWidth = 2400;
inline constexpr int kRasterGraphicsMaxHeight = 2400;  // 1200 at double height
inline constexpr int kColumnGraphicsMaxWidth = 2048;
inline constexpr int kColumnGraphicsMaxHeight = 128;
inline constexpr int kNvGraphicsMaxWidth = 8192;
inline constexpr int kNvGraphicsMaxHeight = 2304;
// NV graphics memory, in bytes of picture data (one bit a dot).
inline constexpr std::size_t kNvGraphicsCapacity = 384 * 1024;

// A picture of the print buffer: its dots scaled by bx and by already.
struct GraphicsPicture {
  bool ok = false;
  std::string error;  // why the command was refused, when !ok
  Bitmap dots;
};

// fn 112 (m 48, fn 112, a, bx, by, c, xL, xH, yL, yH, raster data) and fn 113 (the same
// header, data in columns of 8-dot bands, top band first). Tone a must be 48
// (monochrome); every colour plane c (49..52) prints black. The data must be complete;
// bytes after it are ignored.
GraphicsPicture PrintBufferGraphics(std::span<const std::uint8_t> params);

// A picture in NV memory under key codes (kc1, kc2), each 32..126; kept unscaled.
struct NvGraphic {
  std::uint8_t kc1 = 0, kc2 = 0;
  Bitmap dots;
};

// The NV graphics memory. With a path it lives in that file, read when opened and written
// after every change; without one, in memory only.
class NvGraphicsStore {
 public:
  explicit NvGraphicsStore(std::filesystem::path path = {},
                           std::size_t capacity = kNvGraphicsCapacity);

  // Reads the file. No file is an empty memory; a damaged one leaves the memory empty,
  // the file untouched, and false with `error`.
  bool Open(std::string* error);

  // Stores `graphic`, replacing one under the same key codes. False and `error` when its
  // key codes or size are out of range, it does not fit the capacity left, or the file
  // cannot be written (the memory is then as it was).
  bool Define(NvGraphic graphic, std::string* error);
  bool Remove(std::uint8_t kc1, std::uint8_t kc2, std::string* error);  // false: none
  bool RemoveAll(std::string* error);
  const NvGraphic* Find(std::uint8_t kc1, std::uint8_t kc2) const;

  const std::vector<NvGraphic>& graphics() const { return graphics_; }
  std::size_t capacity() const { return capacity_; }
  std::size_t used() const;
  const std::filesystem::path& path() const { return path_; }

 private:
  bool Save(const std::vector<NvGraphic>& graphics, std::string* error) const;

  std::filesystem::path path_;
  std::size_t capacity_;
  std::vector<NvGraphic> graphics_;
};

// Bytes one NV picture takes in memory.
std::size_t NvGraphicSize(const Bitmap& dots);

// Where NV graphics live between runs: $XDG_DATA_HOME/tillvane/nv-graphics.bin (or under
// ~/.local/share); empty when neither variable gives a folder.
std::filesystem::path DefaultNvGraphicsPath();

// What one GS ( L / GS 8 L function did.
struct GraphicsOutcome {
  bool ok = false;
  std::string error;                 // why it was refused, when !ok
  std::optional<Bitmap> print;       // a picture to print now (fn 69)
  std::vector<std::uint8_t> answer;  // bytes the printer sends back (fn 48, 51, 64)
  std::uint8_t fn = 0;
};

// Runs an NV function on `store`, or reads a print-buffer picture (fn 112, 113: the
// picture comes back in `print`, for the caller to hold until fn 50 prints it). The
// answers: fn 48 capacity and fn 51 capacity left as 0x37, 0x30 or 0x31, the bytes in
// decimal digits, NUL; fn 64 the key codes as 0x37 0x72, 0x40, a pair per picture, NUL.
GraphicsOutcome RunGraphics(std::span<const std::uint8_t> params, NvGraphicsStore& store);

}  // namespace tillvane::render
