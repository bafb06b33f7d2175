#include "render/graphics.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

#include "render/logo_store.h"

namespace tillvane::render {
namespace {

using Params = std::span<const std::uint8_t>;

constexpr std::uint8_t kTone = 48;  // monochrome; 52 (multiple tones) is not drawn

int U16(Params p, std::size_t at) {
  return p[at] | (p[at + 1] << 8);
}

std::string Num(int v) {
  return std::to_string(v);
}

bool KeyCode(std::uint8_t c) {
  return c >= 32 && c <= 126;
}

// Sets the dots of a picture `w` × `h` from one colour plane, OR-ing it into `out`.
// Raster: rows of (w + 7) / 8 bytes, leftmost dot in the top bit. Columns: w columns of
// (h + 7) / 8 bytes, the top band first, the top dot in the top bit.
void AddPlane(Params data, bool columns, int w, int h, Bitmap& out) {
  if (!columns) {
    const std::size_t stride = static_cast<std::size_t>((w + 7) / 8);
    for (int y = 0; y < h; ++y) {
      std::uint8_t* row = out.Row(y);
      for (std::size_t b = 0; b < stride; ++b)
        row[b] |= data[static_cast<std::size_t>(y) * stride + b];
      // Dots past the width in the last byte are not part of the picture.
      if (w % 8) row[stride - 1] &= static_cast<std::uint8_t>(0xFF00 >> (w % 8));
    }
    return;
  }
  const std::size_t bands = static_cast<std::size_t>((h + 7) / 8);
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y)
      if ((data[static_cast<std::size_t>(x) * bands + static_cast<std::size_t>(y >> 3)] >>
           (7 - (y & 7))) &
          1)
        out.Set(x, y);
}

std::size_t PlaneSize(bool columns, int w, int h) {
  return columns ? static_cast<std::size_t>(w) * static_cast<std::size_t>((h + 7) / 8)
                 : static_cast<std::size_t>((w + 7) / 8) * static_cast<std::size_t>(h);
}

// `src` with each dot bx dots wide and by high.
Bitmap Scaled(const Bitmap& src, int bx, int by) {
  if (bx == 1 && by == 1) return src;
  Bitmap out(src.width() * bx, src.height() * by);
  for (int y = 0; y < src.height(); ++y)
    for (int x = 0; x < src.width(); ++x)
      if (src.Get(x, y))
        for (int dy = 0; dy < by; ++dy)
          for (int dx = 0; dx < bx; ++dx) out.Set(x * bx + dx, y * by + dy);
  return out;
}

struct Parsed {
  std::string error;
  Bitmap dots;
};

// The print-buffer header a bx by c xL xH yL yH and its one plane, after m fn.
Parsed ParseBufferPicture(Params p, bool columns, int* bx, int* by) {
  Parsed r;
  const char* fn = columns ? "GS ( L fn 113" : "GS ( L fn 112";
  if (p.size() < 10) {
    r.error = std::string(fn) + ": the header is cut short";
    return r;
  }
  const int a = p[2], c = p[5], w = U16(p, 6), h = U16(p, 8);
  *bx = p[3];
  *by = p[4];
  const int maxW = columns ? kColumnGraphicsMaxWidth : kRasterGraphicsMaxWidth;
  const int maxH = columns ? kColumnGraphicsMaxHeight
                           : (*by == 2 ? kRasterGraphicsMaxHeight / 2 : kRasterGraphicsMaxHeight);
  if (a != kTone)
    r.error = "tone " + Num(a) + (a == 52 ? " (multiple tones) is not drawn" : " is not 48");
  else if ((*bx != 1 && *bx != 2) || (*by != 1 && *by != 2))
    r.error = "scale " + Num(*bx) + " × " + Num(*by) + " is not 1 or 2 each way";
  else if (c < 49 || c > (columns ? 51 : 52))
    r.error = "colour " + Num(c) + " is not 49.." + (columns ? "51" : "52");
  else if (w < 1 || w > maxW || h < 1 || h > maxH)
    r.error = "size " + Num(w) + " × " + Num(h) + " is not 1.." + Num(maxW) + " × 1.." + Num(maxH);
  else if (p.size() - 10 < PlaneSize(columns, w, h))
    r.error = "the picture has " + Num(static_cast<int>(p.size() - 10)) + " of its " +
              Num(static_cast<int>(PlaneSize(columns, w, h))) + " data bytes";
  if (!r.error.empty()) {
    r.error = std::string(fn) + ": " + r.error;
    return r;
  }
  r.dots.Reset(w, h);
  AddPlane(p.subspan(10, PlaneSize(columns, w, h)), columns, w, h, r.dots);
  return r;
}

// fn 67 (raster) and fn 68 (columns): a kc1 kc2 b xL xH yL yH, then b planes each led by
// its colour byte.
Parsed ParseNvPicture(Params p, bool columns, std::uint8_t* kc1, std::uint8_t* kc2) {
  Parsed r;
  const std::string fn = columns ? "GS ( L fn 68" : "GS ( L fn 67";
  if (p.size() < 11) {
    r.error = fn + ": the header is cut short";
    return r;
  }
  const int a = p[2], planes = p[5], w = U16(p, 6), h = U16(p, 8);
  *kc1 = p[3];
  *kc2 = p[4];
  const int maxW = kNvGraphicsMaxWidth, maxH = kNvGraphicsMaxHeight;
  if (a != kTone)
    r.error = "tone " + Num(a) + (a == 52 ? " (multiple tones) is not drawn" : " is not 48");
  else if (!KeyCode(*kc1) || !KeyCode(*kc2))
    r.error = "key codes " + Num(*kc1) + ", " + Num(*kc2) + " are not 32..126";
  else if (planes < 1 || planes > 4)
    r.error = Num(planes) + " colours is not 1..4";
  else if (w < 1 || w > maxW || h < 1 || h > maxH)
    r.error = "size " + Num(w) + " × " + Num(h) + " is not 1.." + Num(maxW) + " × 1.." + Num(maxH);
  if (!r.error.empty()) {
    r.error = fn + ": " + r.error;
    return r;
  }
  const std::size_t plane = PlaneSize(columns, w, h);
  r.dots.Reset(w, h);
  std::size_t at = 10;
  for (int i = 0; i < planes; ++i) {
    if (p.size() - at < 1 + plane) {
      r.error = fn + ": colour plane " + Num(i + 1) + " is cut short";
      r.dots = {};
      return r;
    }
    if (p[at] < 49 || p[at] > 52) {
      r.error = fn + ": colour " + Num(p[at]) + " is not 49..52";
      r.dots = {};
      return r;
    }
    AddPlane(p.subspan(at + 1, plane), columns, w, h, r.dots);
    at += 1 + plane;
  }
  return r;
}

std::vector<std::uint8_t> CapacityAnswer(std::uint8_t id, std::size_t bytes) {
  std::vector<std::uint8_t> out = {0x37, id};
  const std::string digits = std::to_string(bytes);
  out.insert(out.end(), digits.begin(), digits.end());
  out.push_back(0x00);
  return out;
}

// File layout: "TVNVGFX1", a 16-bit count, then per picture kc1, kc2, 16-bit width and
// height in dots and its raster rows ((width + 7) / 8 bytes each); integers little-endian.
constexpr char kMagic[8] = {'T', 'V', 'N', 'V', 'G', 'F', 'X', '1'};

}  // namespace

GraphicsPicture PrintBufferGraphics(Params params) {
  GraphicsPicture pic;
  if (params.size() < 2 || params[0] != 48 || (params[1] != 112 && params[1] != 113)) {
    pic.error = "GS ( L: not a print-buffer picture (m 48, fn 112 or 113)";
    return pic;
  }
  int bx = 1, by = 1;
  Parsed p = ParseBufferPicture(params, params[1] == 113, &bx, &by);
  if (!p.error.empty()) {
    pic.error = std::move(p.error);
    return pic;
  }
  pic.dots = Scaled(p.dots, bx, by);
  pic.ok = true;
  return pic;
}

std::size_t NvGraphicSize(const Bitmap& dots) {
  return static_cast<std::size_t>(dots.stride()) * static_cast<std::size_t>(dots.height());
}

std::filesystem::path DefaultNvGraphicsPath() {
  return UserDataFile("nv-graphics.bin");
}

NvGraphicsStore::NvGraphicsStore(std::filesystem::path path, std::size_t capacity)
    : path_(std::move(path)), capacity_(capacity) {}

std::size_t NvGraphicsStore::used() const {
  std::size_t n = 0;
  for (const NvGraphic& g : graphics_) n += NvGraphicSize(g.dots);
  return n;
}

const NvGraphic* NvGraphicsStore::Find(std::uint8_t kc1, std::uint8_t kc2) const {
  for (const NvGraphic& g : graphics_)
    if (g.kc1 == kc1 && g.kc2 == kc2) return &g;
  return nullptr;
}

bool NvGraphicsStore::Open(std::string* error) {
  graphics_.clear();
  std::error_code ec;
  if (path_.empty() || !std::filesystem::exists(path_, ec)) return true;
  std::ifstream in(path_, std::ios::binary);
  auto fail = [&](const std::string& why) {
    if (error) *error = path_.string() + ": " + why;
    return false;
  };
  if (!in) return fail(std::strerror(errno));
  char magic[8];
  std::uint8_t count[2];
  if (!in.read(magic, 8) || std::memcmp(magic, kMagic, 8) != 0)
    return fail("not an NV graphics store");
  if (!in.read(reinterpret_cast<char*>(count), 2)) return fail("cut short");
  const unsigned n = count[0] | (count[1] << 8);
  std::vector<NvGraphic> graphics;
  std::size_t total = 0;
  for (unsigned i = 0; i < n; ++i) {
    std::uint8_t h[6];
    if (!in.read(reinterpret_cast<char*>(h), 6)) return fail("cut short");
    const int w = h[2] | (h[3] << 8), ht = h[4] | (h[5] << 8);
    if (!KeyCode(h[0]) || !KeyCode(h[1])) return fail("key codes out of range");
    if (w < 1 || w > kNvGraphicsMaxWidth || ht < 1 || ht > kNvGraphicsMaxHeight)
      return fail("picture size out of range");
    NvGraphic g;
    g.kc1 = h[0];
    g.kc2 = h[1];
    g.dots.Reset(w, ht);
    total += NvGraphicSize(g.dots);
    if (total > capacity_) return fail("more than the NV memory holds");
    auto& bits = g.dots.bits();
    if (!in.read(reinterpret_cast<char*>(bits.data()), static_cast<std::streamsize>(bits.size())))
      return fail("cut short");
    graphics.push_back(std::move(g));
  }
  graphics_ = std::move(graphics);
  return true;
}

bool NvGraphicsStore::Save(const std::vector<NvGraphic>& graphics, std::string* error) const {
  if (path_.empty()) return true;
  std::string out(kMagic, 8);
  PutU16(out, static_cast<unsigned>(graphics.size()));
  for (const NvGraphic& g : graphics) {
    out.push_back(static_cast<char>(g.kc1));
    out.push_back(static_cast<char>(g.kc2));
    PutU16(out, static_cast<unsigned>(g.dots.width()));
    PutU16(out, static_cast<unsigned>(g.dots.height()));
    out.append(reinterpret_cast<const char*>(g.dots.bits().data()), g.dots.bits().size());
  }
  return WriteStoreFile(path_, out, error);
}

bool NvGraphicsStore::Define(NvGraphic graphic, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (!KeyCode(graphic.kc1) || !KeyCode(graphic.kc2)) return fail("key codes are not 32..126");
  const int w = graphic.dots.width(), h = graphic.dots.height();
  if (w < 1 || w > kNvGraphicsMaxWidth || h < 1 || h > kNvGraphicsMaxHeight)
    return fail("NV picture size " + Num(w) + " × " + Num(h) + " is out of range");
  std::vector<NvGraphic> next;
  std::size_t total = NvGraphicSize(graphic.dots);
  for (const NvGraphic& g : graphics_)
    if (g.kc1 != graphic.kc1 || g.kc2 != graphic.kc2) {
      next.push_back(g);
      total += NvGraphicSize(g.dots);
    }
  if (total > capacity_)
    return fail("NV graphics memory: the picture needs " +
                Num(static_cast<int>(NvGraphicSize(graphic.dots))) + " bytes, " +
                Num(static_cast<int>(capacity_ - (total - NvGraphicSize(graphic.dots)))) +
                " are free");
  next.push_back(std::move(graphic));
  if (!Save(next, error)) return false;
  graphics_ = std::move(next);
  return true;
}

bool NvGraphicsStore::Remove(std::uint8_t kc1, std::uint8_t kc2, std::string* error) {
  std::vector<NvGraphic> next;
  for (const NvGraphic& g : graphics_)
    if (g.kc1 != kc1 || g.kc2 != kc2) next.push_back(g);
  if (next.size() == graphics_.size()) {
    if (error) *error = "no NV picture under key codes " + Num(kc1) + ", " + Num(kc2);
    return false;
  }
  if (!Save(next, error)) return false;
  graphics_ = std::move(next);
  return true;
}

bool NvGraphicsStore::RemoveAll(std::string* error) {
  if (!Save({}, error)) return false;
  graphics_.clear();
  return true;
}

GraphicsOutcome RunGraphics(Params p, NvGraphicsStore& store) {
  GraphicsOutcome out;
  if (p.size() < 2 || p[0] != 48) {
    out.error = p.empty() ? "GS ( L: no parameters" : "GS ( L: m " + Num(p[0]) + " is not 48";
    return out;
  }
  out.fn = p[1];
  auto need = [&](std::size_t n) {
    if (p.size() >= n) return true;
    out.error = "GS ( L fn " + Num(out.fn) + ": " + Num(static_cast<int>(n - 2)) +
                " parameter bytes needed, " + Num(static_cast<int>(p.size() - 2)) + " given";
    return false;
  };
  switch (out.fn) {
    case 48:  // the NV memory's capacity
      out.answer = CapacityAnswer(0x30, store.capacity());
      break;
    case 51:  // the NV memory left
      out.answer = CapacityAnswer(0x31, store.capacity() - store.used());
      break;
    case 50:  // print the print-buffer picture: the caller holds it
      break;
    case 64: {  // the key codes in use
      if (!need(4)) return out;
      if (p[2] != 'K' || p[3] != 'C') {
        out.error = "GS ( L fn 64: the parameters must be \"KC\"";
        return out;
      }
      out.answer = {0x37, 0x72, 0x40};
      for (const NvGraphic& g : store.graphics()) {
        out.answer.push_back(g.kc1);
        out.answer.push_back(g.kc2);
      }
      out.answer.push_back(0x00);
      break;
    }
    case 65:  // delete all
      if (!need(5)) return out;
      if (p[2] != 'C' || p[3] != 'L' || p[4] != 'R') {
        out.error = "GS ( L fn 65: the parameters must be \"CLR\"";
        return out;
      }
      if (!store.RemoveAll(&out.error)) return out;
      break;
    case 66:  // delete one
      if (!need(4)) return out;
      if (!store.Remove(p[2], p[3], &out.error)) return out;
      break;
    case 67:
    case 68: {
      NvGraphic g;
      Parsed parsed = ParseNvPicture(p, out.fn == 68, &g.kc1, &g.kc2);
      if (!parsed.error.empty()) {
        out.error = std::move(parsed.error);
        return out;
      }
      g.dots = std::move(parsed.dots);
      if (!store.Define(std::move(g), &out.error)) return out;
      break;
    }
    case 69: {  // print kc1 kc2 x y
      if (!need(6)) return out;
      const int bx = p[4], by = p[5];
      if ((bx != 1 && bx != 2) || (by != 1 && by != 2)) {
        out.error = "GS ( L fn 69: scale " + Num(bx) + " × " + Num(by) + " is not 1 or 2 each way";
        return out;
      }
      const NvGraphic* g = store.Find(p[2], p[3]);
      if (!g) {
        out.error = "GS ( L fn 69: no NV picture under key codes " + Num(p[2]) + ", " + Num(p[3]);
        return out;
      }
      out.print = Scaled(g->dots, bx, by);
      break;
    }
    case 112:
    case 113: {
      GraphicsPicture pic = PrintBufferGraphics(p);
      if (!pic.ok) {
        out.error = std::move(pic.error);
        return out;
      }
      out.print = std::move(pic.dots);
      break;
    }
    default:
      out.error = "GS ( L fn " + Num(out.fn) + " is not a graphics function Tillvane knows";
      return out;
  }
  out.ok = true;
  return out;
}

}  // namespace tillvane::render
