#include "render/glyphs.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <iconv.h>

#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace tillvane::render {
namespace {

// Debian's font packages: fonts-dejavu-core for single-byte text, fonts-wqy-zenhei or
// fonts-wqy-microhei for Chinese.
constexpr const char* kLatinFonts[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf",
};
constexpr const char* kChineseFonts[] = {
    "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc",
    "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc",
};

// How many glyphs are kept (every GBK character fits, about 20 MB at most); a run that
// draws more starts the cache again.
constexpr size_t kMaxCachedGlyphs = 32768;

class Fonts {
 public:
  static Fonts& Instance() {
    static Fonts fonts;
    return fonts;
  }

  std::shared_ptr<const Glyph> Get(Face face, char32_t cp) {
    std::lock_guard lock(mutex_);
    const uint64_t key = (uint64_t{static_cast<uint8_t>(face)} << 32) | cp;
    auto it = cache_.find(key);
    if (it != cache_.end()) return it->second;
    if (cache_.size() >= kMaxCachedGlyphs) cache_.clear();
    auto glyph = std::make_shared<const Glyph>(Render(face, cp));
    cache_.emplace(key, glyph);
    return glyph;
  }

  char32_t Decode(iconv_t cd, const char* in, size_t len) {
    std::lock_guard lock(mutex_);
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
    char32_t out = 0;
    char* src = const_cast<char*>(in);
    char* dst = reinterpret_cast<char*>(&out);
    size_t src_left = len, dst_left = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    if (r == static_cast<size_t>(-1) || src_left != 0 || dst_left != 0) return 0;
    return out;
  }

  iconv_t gbk = iconv_open("UTF-32LE", "GBK");
  iconv_t cp437 = iconv_open("UTF-32LE", "CP437");
  bool available() const { return latin_ != nullptr; }

 private:
  Fonts() {
    if (FT_Init_FreeType(&library_) != 0) {
      library_ = nullptr;
      return;
    }
    for (const char* path : kLatinFonts)
      if (!latin_ && FT_New_Face(library_, path, 0, &latin_) != 0) latin_ = nullptr;
    for (const char* path : kChineseFonts)
      if (!chinese_ && FT_New_Face(library_, path, 0, &chinese_) != 0) chinese_ = nullptr;
  }
  ~Fonts() = default;  // lives until the process ends; FreeType is left to the exit

  static void Box(Glyph& g) {
    const int x0 = 1, x1 = g.width - 2, y0 = g.height / 6, y1 = g.height - g.height / 6 - 1;
    for (int x = x0; x <= x1; ++x) g.dots[y0 * g.width + x] = g.dots[y1 * g.width + x] = 1;
    for (int y = y0; y <= y1; ++y) g.dots[y * g.width + x0] = g.dots[y * g.width + x1] = 1;
  }

  // Draws `cp` from `face_ft` at `pixels` per em into the cell, its baseline placed so
  // that the font's ascent and descent sit centred in the cell height.
  static bool Draw(FT_Face face_ft, int pixels, char32_t cp, Glyph& g, bool hinted = true) {
    if (!face_ft) return false;
    const FT_UInt index = FT_Get_Char_Index(face_ft, cp);
    if (index == 0) return false;
    if (FT_Set_Pixel_Sizes(face_ft, 0, pixels) != 0) return false;
    const FT_Int32 flags = FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | (hinted ? 0 : FT_LOAD_NO_HINTING);
    if (FT_Load_Glyph(face_ft, index, flags) != 0) return false;
    const FT_GlyphSlot slot = face_ft->glyph;
    if (slot->bitmap.pixel_mode != FT_PIXEL_MODE_MONO) return false;
    const int ascent = static_cast<int>(face_ft->size->metrics.ascender >> 6);
    const int descent = static_cast<int>(-face_ft->size->metrics.descender >> 6);
    const int baseline = (g.height - (ascent + descent)) / 2 + ascent;
    const int advance = static_cast<int>(slot->advance.x >> 6);
    const int left = (g.width - advance) / 2 + slot->bitmap_left;
    const int top = baseline - slot->bitmap_top;
    const FT_Bitmap& bm = slot->bitmap;
    for (unsigned r = 0; r < bm.rows; ++r) {
      const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(r) * bm.pitch;
      for (unsigned c = 0; c < bm.width; ++c) {
        if (!((row[c >> 3] >> (7 - (c & 7))) & 1)) continue;
        const int x = left + static_cast<int>(c), y = top + static_cast<int>(r);
        if (x >= 0 && x < g.width && y >= 0 && y < g.height) g.dots[y * g.width + x] = 1;
      }
    }
    return true;
  }

  Glyph Render(Face face, char32_t cp) {
    const CellSize cell = CellOf(face);
    Glyph g;
    g.width = cell.width;
    g.height = cell.height;
    g.dots.assign(static_cast<size_t>(g.width) * g.height, 0);
    if (cp == U' ' || cp == 0x3000) return g;
    bool drawn = false;
    switch (face) {
      case Face::kA:
        drawn = Draw(latin_, 20, cp, g) || Draw(chinese_, 12, cp, g);
        break;
      case Face::kB:
        drawn = Draw(latin_, 15, cp, g) || Draw(chinese_, 9, cp, g);
        break;
      case Face::kWide:
        drawn = Draw(chinese_, 24, cp, g, false) || Draw(latin_, 24, cp, g);
        break;
    }
    if (!drawn) Box(g);
    return g;
  }

  std::mutex mutex_;
  FT_Library library_ = nullptr;
  FT_Face latin_ = nullptr;
  FT_Face chinese_ = nullptr;
  std::unordered_map<uint64_t, std::shared_ptr<const Glyph>> cache_;
};

}  // namespace

CellSize CellOf(Face face) {
  switch (face) {
    case Face::kA:
      return {12, 24};
    case Face::kB:
      return {9, 17};
    case Face::kWide:
      return {24, 24};
  }
  return {12, 24};
}

std::shared_ptr<const Glyph> GlyphFor(Face face, char32_t cp) {
  return Fonts::Instance().Get(face, cp);
}

char32_t DecodeGbk(uint8_t lead, uint8_t trail) {
  const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
  Fonts& f = Fonts::Instance();
  return f.Decode(f.gbk, in, 2);
}

char32_t DecodeCp437(uint8_t byte) {
  if (byte < 0x80) return byte;
  static const std::array<char32_t, 128> table = [] {
    std::array<char32_t, 128> t{};
    Fonts& f = Fonts::Instance();
    for (int i = 0; i < 128; ++i) {
      const char in = static_cast<char>(0x80 + i);
      t[i] = f.Decode(f.cp437, &in, 1);
    }
    return t;
  }();
  return table[byte - 0x80];
}

bool FontsAvailable() {
  return Fonts::Instance().available();
}

}  // namespace tillvane::render
