// Helpers of the virtual printer's tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "render/page.h"
#include "render/printer.h"

namespace tillvane::render::testing {

using Bytes = std::vector<uint8_t>;

struct Rendered {
  std::vector<Page> pages;
  Report report;
  Bytes replies;
  Bitmap Roll() const;  // the pages one under the other
};

// Feeds `in` in one call (or in calls of `slice` bytes), then finishes.
Rendered Render(const Bytes& in, int paper = kDots80mm, size_t slice = 0,
                const std::filesystem::path& flash_store = {});

// With the options given (a profile, say); fed in one call.
Rendered RenderWith(const Bytes& in, const PrinterOptions& options);

// Bytes of text and commands: Cat({ESC, '@'}, "text", ...).
Bytes Text(const std::string& s);
Bytes Cat(std::initializer_list<Bytes> parts);
// `text` in the bytes of the code page ESC t `n` selects, through iconv; empty when that
// page cannot hold it.
Bytes Encode(const std::u32string& text, int n);

// The smallest box holding every dot; empty when there is none.
struct Box {
  int left = 0, top = 0, right = -1, bottom = -1;  // inclusive
  bool empty() const { return right < left; }
  int width() const { return right - left + 1; }
  int height() const { return bottom - top + 1; }
};
Box Ink(const Bitmap& b, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1);
int CountDots(const Bitmap& b);

// Pictures for the graphics commands, and the bytes of each form the printer takes them
// in, written from the command reference.
Bitmap Drawn(int w, int h, const std::function<bool(int x, int y)>& dot);
Bytes RasterBytes(const Bitmap& b);   // rows of whole bytes, the leftmost dot in the top bit
Bytes ColumnBytes(const Bitmap& b);   // columns of 8-dot bands, the top band and dot first
Bytes GsParenL(const Bytes& params);  // GS ( L pL pH and the parameters, m first
Bytes Gs8L(const Bytes& params);      // GS 8 L p1 p2 p3 p4 and the parameters
// The parameters of fn 112 (raster) or 113 (columns): tone 48, colour 49, scale bx by.
Bytes BufferGraphic(uint8_t fn, int bx, int by, const Bitmap& b);
// The parameters of fn 67: an NV picture of one colour under key codes kc1 kc2.
Bytes NvGraphic(uint8_t kc1, uint8_t kc2, const Bitmap& b);
// GS v 0 m of a picture whose width is a multiple of 8.
Bytes RasterImage(uint8_t m, const Bitmap& b);

// The roll as text, for failure messages: one line per row, '#' a dot.
std::string Picture(const Bitmap& b, const Box& box);

}  // namespace tillvane::render::testing
