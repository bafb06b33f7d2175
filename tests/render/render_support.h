// Helpers of the virtual printer's tests.
#pragma once

#include <cstdint>
#include <filesystem>
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

// The roll as text, for failure messages: one line per row, '#' a dot.
std::string Picture(const Bitmap& b, const Box& box);

}  // namespace tillvane::render::testing
