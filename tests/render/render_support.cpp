#include "tests/render/render_support.h"

#include <iconv.h>

#include <algorithm>

#include "render/codepage.h"

namespace tillvane::render::testing {
static Rendered RenderSliced(const Bytes& in, const PrinterOptions& options, size_t slice);

Bitmap Rendered::Roll() const {
  int h = 0, w = 0;
  for (const Page& p : pages) {
    h += p.dots.height();
    w = std::max(w, p.dots.width());
  }
  Bitmap out(w, h);
  int y0 = 0;
  for (const Page& p : pages) {
    for (int y = 0; y < p.dots.height(); ++y)
      std::copy(p.dots.Row(y), p.dots.Row(y) + p.dots.stride(), out.Row(y0 + y));
    y0 += p.dots.height();
  }
  return out;
}

Rendered Render(const Bytes& in, int paper, size_t slice, const std::filesystem::path& flash) {
  PrinterOptions options;
  options.paper_dots = paper;
  options.flash_store = flash;
  return RenderSliced(in, options, slice);
}

Rendered RenderWith(const Bytes& in, const PrinterOptions& options) {
  return RenderSliced(in, options, 0);
}

static Rendered RenderSliced(const Bytes& in, const PrinterOptions& options, size_t slice) {
  Rendered r;
  Printer printer(options, [&r](Page&& p) { r.pages.push_back(std::move(p)); });
  if (slice == 0) {
    printer.Feed(in);
  } else {
    for (size_t i = 0; i < in.size(); i += slice)
      printer.Feed(in.data() + i, std::min(slice, in.size() - i));
  }
  printer.Finish();
  uint8_t buf[64];
  for (size_t n; (n = printer.ReadReplies(buf, sizeof buf)) > 0;)
    r.replies.insert(r.replies.end(), buf, buf + n);
  r.report = printer.report();
  return r;
}

Bytes Text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

Bytes Encode(const std::u32string& text, int n) {
  std::string charset;
  for (const CodePageInfo& c : CodePages())
    if (c.n == n) charset = c.charset;
  iconv_t cd = iconv_open(charset.c_str(), "UTF-32LE");
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  Bytes out(text.size() * 4);
  char* src = reinterpret_cast<char*>(const_cast<char32_t*>(text.data()));
  char* dst = reinterpret_cast<char*>(out.data());
  size_t src_left = text.size() * sizeof(char32_t), dst_left = out.size();
  const bool ok = iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (!ok || src_left != 0) return {};
  out.resize(out.size() - dst_left);
  return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bitmap Drawn(int w, int h, const std::function<bool(int x, int y)>& dot) {
  Bitmap b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (dot(x, y)) b.Set(x, y);
  return b;
}

Bytes RasterBytes(const Bitmap& b) {
  return b.bits();
}

Bytes ColumnBytes(const Bitmap& b) {
  const int bands = (b.height() + 7) / 8;
  Bytes out(static_cast<size_t>(b.width()) * bands, 0);
  for (int x = 0; x < b.width(); ++x)
    for (int y = 0; y < b.height(); ++y)
      if (b.Get(x, y)) out[static_cast<size_t>(x) * bands + y / 8] |= 0x80 >> (y % 8);
  return out;
}

namespace {

Bytes Le(uint64_t v, int bytes) {
  Bytes out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return out;
}

}  // namespace

Bytes GsParenL(const Bytes& params) {
  return Cat({{0x1D, '(', 'L'}, Le(params.size(), 2), params});
}

Bytes Gs8L(const Bytes& params) {
  return Cat({{0x1D, '8', 'L'}, Le(params.size(), 4), params});
}

Bytes BufferGraphic(uint8_t fn, int bx, int by, const Bitmap& b) {
  return Cat({{48, fn, 48, static_cast<uint8_t>(bx), static_cast<uint8_t>(by), 49},
              Le(b.width(), 2),
              Le(b.height(), 2),
              fn == 113 ? ColumnBytes(b) : RasterBytes(b)});
}

Bytes NvGraphic(uint8_t kc1, uint8_t kc2, const Bitmap& b) {
  return Cat(
      {{48, 67, 48, kc1, kc2, 1}, Le(b.width(), 2), Le(b.height(), 2), {49}, RasterBytes(b)});
}

Bytes RasterImage(uint8_t m, const Bitmap& b) {
  return Cat({{0x1D, 'v', '0', m}, Le(b.stride(), 2), Le(b.height(), 2), RasterBytes(b)});
}

Box Ink(const Bitmap& b, int x0, int y0, int x1, int y1) {
  if (x1 < 0) x1 = b.width() - 1;
  if (y1 < 0) y1 = b.height() - 1;
  Box box{b.width(), b.height(), -1, -1};
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x)
      if (b.Get(x, y)) {
        box.left = std::min(box.left, x);
        box.right = std::max(box.right, x);
        box.top = std::min(box.top, y);
        box.bottom = std::max(box.bottom, y);
      }
  if (box.right < 0) return Box{};
  return box;
}

int CountDots(const Bitmap& b) {
  int n = 0;
  for (uint8_t byte : b.bits()) n += __builtin_popcount(byte);
  return n;
}

std::string Picture(const Bitmap& b, const Box& box) {
  std::string out;
  for (int y = box.top; y <= box.bottom && y < box.top + 60; ++y) {
    for (int x = box.left; x <= box.right && x < box.left + 120; ++x)
      out += b.Get(x, y) ? '#' : '.';
    out += '\n';
  }
  return out;
}

}  // namespace tillvane::render::testing
