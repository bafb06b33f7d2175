// Pages of 1-bit dots: what the virtual printer puts out.
#pragma once

#include <cstdint>
#include <vector>

// The dot loops have no branch worth guiding a fuzzer by; left out of its coverage
// they cost the fuzzer a fraction of the time.
#if defined(__clang__)
#define TILLVANE_DOT_LOOP __attribute__((no_sanitize("coverage")))
#else
#define TILLVANE_DOT_LOOP
#endif

namespace tillvane::render {

// The virtual printer's head: 180 dots per inch across and along the paper, so that one
// dot is one motion unit of GS P 180 180 (the default units).
inline constexpr int kDotsPerInch = 180;
// Dots per line: 512 on 80 mm paper (72 mm printed), 416 on narrow paper.
inline constexpr int kDots80mm = 512;
inline constexpr int kDotsNarrow = 416;
// A page that grows taller than this without a cut continues on a new page.
inline constexpr int kMaxPageRows = 40000;

// A monochrome picture, rows packed 8 dots to the byte, leftmost dot in the top bit.
class Bitmap {
 public:
  Bitmap() = default;
  Bitmap(int width, int height) { Reset(width, height); }

  void Reset(int width, int height) {
    width_ = width < 0 ? 0 : width;
    height_ = height < 0 ? 0 : height;
    stride_ = (width_ + 7) / 8;
    bits_.assign(static_cast<size_t>(stride_) * height_, 0);
  }
  void Clear() { bits_.assign(bits_.size(), 0); }

  int width() const { return width_; }
  int height() const { return height_; }
  int stride() const { return stride_; }
  const std::vector<uint8_t>& bits() const { return bits_; }
  std::vector<uint8_t>& bits() { return bits_; }
  const uint8_t* Row(int y) const { return bits_.data() + static_cast<size_t>(y) * stride_; }
  uint8_t* Row(int y) { return bits_.data() + static_cast<size_t>(y) * stride_; }

  TILLVANE_DOT_LOOP bool Get(int x, int y) const {
    if (static_cast<unsigned>(x) >= static_cast<unsigned>(width_) ||
        static_cast<unsigned>(y) >= static_cast<unsigned>(height_))
      return false;
    return (Row(y)[x >> 3] >> (7 - (x & 7))) & 1;
  }
  TILLVANE_DOT_LOOP void Set(int x, int y) {
    if (static_cast<unsigned>(x) >= static_cast<unsigned>(width_) ||
        static_cast<unsigned>(y) >= static_cast<unsigned>(height_))
      return;
    Row(y)[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
  }
  TILLVANE_DOT_LOOP void Flip(int x, int y) {
    if (static_cast<unsigned>(x) >= static_cast<unsigned>(width_) ||
        static_cast<unsigned>(y) >= static_cast<unsigned>(height_))
      return;
    Row(y)[x >> 3] ^= static_cast<uint8_t>(0x80 >> (x & 7));
  }
  // Adds `rows` blank rows at the bottom.
  void Grow(int rows) {
    if (rows <= 0) return;
    height_ += rows;
    bits_.resize(static_cast<size_t>(stride_) * height_, 0);
  }
  bool operator==(const Bitmap&) const = default;

 private:
  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
  std::vector<uint8_t> bits_;
};

enum class Cut : uint8_t { kNone, kFull, kPartial };

// A rectangle of a page that one item of the input drew (trace.h): dots from `left` to
// `right` and from `top` to `bottom`, each one past the last; every mark holds at least
// one black dot.
struct Mark {
  uint64_t offset = 0;  // of the first byte of the item that drew it
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const Mark&) const = default;
};

// One stretch of paper: between two cuts, or the rest of the roll at the end of the
// input, or kMaxPageRows of an uncut stretch (then `continued` is set).
struct Page {
  Bitmap dots;
  Cut cut = Cut::kNone;
  bool continued = false;
  uint64_t number = 0;  // 1 for the first page a printer puts out
  // What drew the page's dots, when the printer traces (PrinterOptions::trace): marks
  // that together hold every black dot of the page.
  std::vector<Mark> marks;
};

}  // namespace tillvane::render
