// Bar codes of the virtual printer: the picture a GS k command prints, in dots.
// Plain C++; UPC/EAN, CODE39, ITF, CODABAR and CODE93 take their module pattern from
// libzint, CODE128 has an encoder of its own (code128.h). Every width is an exact
// number of dots: the pattern is scaled here, never resampled.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tillvane::render {

struct BarcodeRequest {
  // GS k m: 0..6 the form ended by a NUL byte, 65..73 the form with a length byte
  // (0/65 UPC-A, 1/66 UPC-E, 2/67 EAN-13, 3/68 EAN-8, 4/69 CODE39, 5/70 ITF,
  // 6/71 CODABAR, 72 CODE93, 73 CODE128).
  int m = 0;
  std::span<const std::uint8_t> data;  // the data bytes, without the NUL or the length
  int module = 3;                      // GS w n: dots per narrow module, 1..6
  int height = 162;                    // GS h n: dots, 1..255
};

struct BarcodeImage {
  bool ok = false;
  std::string error;  // why nothing is printed, when !ok
  int width = 0, height = 0;
  std::vector<std::uint8_t> dots;  // row-major, width × height, 1 = black
  // The human-readable text, check digits included where the printer shows them; bytes as
  // the symbol carries them (a Code 128 FNC4 character is 0x80..0xFF), control codes as
  // spaces.
  std::string hriText;
};

// The symbol for one GS k command. Bad data gives ok = false and a reason; the bar
// code has no quiet zone (the printer prints none: the bars start at the print position).
BarcodeImage RenderBarcode(const BarcodeRequest&);

// Longest data accepted, in bytes (the length form cannot say more).
inline constexpr std::size_t kMaxBarcodeData = 255;

}  // namespace tillvane::render
