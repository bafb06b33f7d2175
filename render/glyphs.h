// Character pictures for the virtual printer, drawn from the distribution's fonts
// through FreeType: single-byte text in 12 x 24 cells (font A) and 9 x 17 (font B),
// double-byte GBK text in 24 x 24 cells.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace tillvane::render {

enum class Face : uint8_t { kA, kB, kWide };

struct CellSize {
  int width;
  int height;
};
CellSize CellOf(Face face);

// One dot per byte, row-major, `width` x `height` of the cell; 1 prints.
struct Glyph {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> dots;
};

// The glyph of Unicode code point `cp` in the cell of `face`. A character no installed
// font has is drawn as an empty box. Thread-safe.
std::shared_ptr<const Glyph> GlyphFor(Face face, char32_t cp);

// GBK byte pair (lead 0x81-0xFE, trail 0x40-0xFE but 0x7F) to a code point; 0 when the
// pair names no character. Thread-safe.
char32_t DecodeGbk(uint8_t lead, uint8_t trail);
// A single byte of code page 437 (the printer's table outside Chinese mode).
char32_t DecodeCp437(uint8_t byte);

// Whether the fonts were found (false: every glyph is a box).
bool FontsAvailable();

}  // namespace tillvane::render
