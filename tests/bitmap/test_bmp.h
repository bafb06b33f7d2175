// Builds 1-bit BMP files for the logo tests, in the 62-byte layout unless told
// otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace tillvane::testing {

struct TestBmp {
  int32_t width = 1;
  int32_t height = 1;
  uint16_t type = 0x4D42;  // "BM"
  uint16_t bits_per_pixel = 1;
  bool white_first = false;  // palette order: white at index 0 when set
  int64_t image_size = -1;   // the header field; -1 for the true pixel size
  // Dot at (x, y), y counted from the top row; the default is an all-white picture.
  std::function<bool(int32_t x, int32_t y)> black;
};

// The file bytes. Pixel rows are stored bottom-up with index 0 for a dot (index 1 when
// white_first); the bits beyond the width and the row padding are filled with a
// pattern that must never print.
std::vector<uint8_t> MakeBmp(const TestBmp& bmp);

// The column image the printer must receive for the picture: 8 * S columns of B bytes,
// top band first, most significant bit the top dot, blank rows above and blank columns
// to the right.
std::vector<uint8_t> ExpectedColumns(int32_t width, int32_t height,
                                     const std::function<bool(int32_t, int32_t)>& black);

}  // namespace tillvane::testing
