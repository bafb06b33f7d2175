#include "tests/bitmap/test_bmp.h"

namespace tillvane::testing {
namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

std::vector<uint8_t> MakeBmp(const TestBmp& bmp) {
  const int64_t w = bmp.width > 0 ? bmp.width : 0;
  const int64_t h = bmp.height > 0 ? bmp.height : (bmp.height < 0 ? -int64_t{bmp.height} : 0);
  const int64_t stride = ((w + 31) / 32) * 4;
  const int64_t pixel_bytes = bmp.bits_per_pixel == 1 ? stride * h : 0;
  std::vector<uint8_t> b(static_cast<size_t>(62 + pixel_bytes), 0);
  Put16(b, 0, bmp.type);
  Put32(b, 2, static_cast<uint32_t>(b.size()));
  Put32(b, 10, 62);
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<uint32_t>(bmp.width));
  Put32(b, 22, static_cast<uint32_t>(bmp.height));
  Put16(b, 26, 1);
  Put16(b, 28, bmp.bits_per_pixel);
  Put32(b, 34, static_cast<uint32_t>(bmp.image_size >= 0 ? bmp.image_size : pixel_bytes));
  Put32(b, 38, 2835);
  Put32(b, 42, 2835);
  Put32(b, 46, 2);
  // Palette: blue, green, red, reserved.
  const uint8_t black[4] = {0, 0, 0, 0};
  const uint8_t white[4] = {0xFF, 0xFF, 0xFF, 0};
  for (int i = 0; i < 4; ++i) {
    b[54 + i] = bmp.white_first ? white[i] : black[i];
    b[58 + i] = bmp.white_first ? black[i] : white[i];
  }
  const uint8_t dot_index = bmp.white_first ? 1 : 0;
  for (int64_t row = 0; row < h && bmp.bits_per_pixel == 1; ++row) {
    const int64_t y = h - 1 - row;  // bottom-up
    uint8_t* out = b.data() + 62 + row * stride;
    for (int64_t i = 0; i < stride; ++i) out[i] = 0x5A;  // junk beyond the width
    for (int64_t x = 0; x < w; ++x) {
      const bool dot = bmp.black && bmp.black(static_cast<int32_t>(x), static_cast<int32_t>(y));
      const int index = dot ? dot_index : 1 - dot_index;
      const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
      if (index) {
        out[x / 8] = static_cast<uint8_t>(out[x / 8] | bit);
      } else {
        out[x / 8] = static_cast<uint8_t>(out[x / 8] & ~bit);
      }
    }
  }
  return b;
}

std::vector<uint8_t> ExpectedColumns(int32_t width, int32_t height,
                                     const std::function<bool(int32_t, int32_t)>& black) {
  const int32_t columns = ((width + 31) / 32) * 32;
  const int32_t bands = (height + 7) / 8;
  const int32_t blank_top = bands * 8 - height;
  std::vector<uint8_t> out(static_cast<size_t>(columns) * bands, 0);
  for (int32_t c = 0; c < columns; ++c) {
    for (int32_t j = 0; j < bands; ++j) {
      uint8_t v = 0;
      for (int32_t k = 0; k < 8; ++k) {
        const int32_t y = 8 * j + k - blank_top;
        if (c < width && y >= 0 && black && black(c, y)) v = static_cast<uint8_t>(v | (0x80 >> k));
      }
      out[static_cast<size_t>(c) * bands + j] = v;
    }
  }
  return out;
}

}  // namespace tillvane::testing
