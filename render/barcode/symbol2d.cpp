#include "render/barcode/symbol2d.h"

#include <zint.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string_view>

namespace tillvane::render {
namespace {

using Zint = std::unique_ptr<zint_symbol, void (*)(zint_symbol*)>;

Zint NewSymbol(int symbology) {
  Zint z(ZBarcode_Create(), ZBarcode_Delete);
  if (z) {
    z->symbology = symbology;
    z->show_hrt = 0;
    z->output_options = BARCODE_NO_QUIET_ZONES;
    z->input_mode = DATA_MODE;
  }
  return z;
}

Symbol2dImage Fail(std::string error) {
  Symbol2dImage img;
  img.error = std::move(error);
  return img;
}

Symbol2dImage Undrawn(std::string error) {
  Symbol2dImage img = Fail(std::move(error));
  img.undrawn = true;
  return img;
}

std::string OutOfRange(const char* what, int value, const char* range) {
  return std::string(what) + " " + std::to_string(value) + " is not " + range;
}

bool Module(const zint_symbol& z, int row, int col) {
  return (z.encoded_data[row][col >> 3] >> (col & 7)) & 1;
}

// Encodes `data` into `z`; "" or zint's reason.
std::string Encode(zint_symbol& z, std::span<const std::uint8_t> data) {
  const int r = ZBarcode_Encode(&z, data.data(), static_cast<int>(data.size()));
  if (r >= ZINT_ERROR) return z.errtxt;
  if (z.rows <= 0 || z.width <= 0) return "bar code library: no symbol";
  return "";
}

// A module grid scaled to dots: every module `moduleWidth` dots wide, row r `heights[r]`
// dots high.
Symbol2dImage Scale(const zint_symbol& z, int moduleWidth, const std::vector<int>& heights) {
  Symbol2dImage img;
  img.modulesWide = z.width;
  img.modulesHigh = z.rows;
  img.width = z.width * moduleWidth;
  for (int h : heights) img.height += h;
  img.dots.assign(static_cast<std::size_t>(img.width) * static_cast<std::size_t>(img.height), 0);
  std::size_t at = 0;
  std::vector<std::uint8_t> line(static_cast<std::size_t>(img.width));
  for (int r = 0; r < z.rows; ++r) {
    for (int c = 0; c < z.width; ++c)
      std::fill_n(line.begin() + static_cast<std::ptrdiff_t>(c) * moduleWidth, moduleWidth,
                  Module(z, r, c) ? 1 : 0);
    for (int y = 0; y < heights[static_cast<std::size_t>(r)]; ++y, at += line.size())
      std::copy(line.begin(), line.end(), img.dots.begin() + static_cast<std::ptrdiff_t>(at));
  }
  img.ok = true;
  return img;
}

Symbol2dImage Square(const zint_symbol& z, int module) {
  return Scale(z, module, std::vector<int>(static_cast<std::size_t>(z.rows), module));
}

std::string CheckQr(const QrSettings& s) {
  if (s.model < 49 || s.model > 51) return OutOfRange("QR model", s.model, "49..51");
  if (s.moduleSize < 1 || s.moduleSize > 16)
    return OutOfRange("QR module size", s.moduleSize, "1..16 dots");
  if (s.errorLevel < 48 || s.errorLevel > 51)
    return OutOfRange("QR error correction level", s.errorLevel, "48..51");
  return "";
}

Symbol2dImage Qr(const QrSettings& s, std::span<const std::uint8_t> data) {
  if (s.model == 49)
    return Undrawn("QR model 1 is not drawn (the bar code library has model 2 and micro QR)");
  const bool micro = s.model == 51;
  if (micro && s.errorLevel == 51) return Fail("micro QR has no error correction level H");
  Zint z = NewSymbol(micro ? BARCODE_MICROQR : BARCODE_QRCODE);
  if (!z) return Fail("bar code library: out of memory");
  z->option_1 = s.errorLevel - 48 + 1;
  if (std::string e = Encode(*z, data); !e.empty())
    return Fail((micro ? "micro QR: " : "QR: ") + e);
  return Square(*z, s.moduleSize);
}

// The error correction level the printer takes for a ratio: enough correction codewords for
// `ratio` × 10 % of the data codewords, at least level 1. The data codewords are estimated
// from the byte count as byte compaction packs them (6 bytes in 5 codewords).
int Pdf417LevelForRatio(int ratio, std::size_t bytes) {
  const std::size_t dataWords = (bytes * 5 + 5) / 6 + 1;
  const std::size_t wanted = (dataWords * static_cast<std::size_t>(ratio) + 9) / 10;
  int level = 1;
  while (level < 8 && (std::size_t{2} << level) < wanted) ++level;
  return level;
}

std::string CheckPdf417(const Pdf417Settings& s) {
  if (s.columns < 0 || s.columns > 30) return OutOfRange("PDF417 columns", s.columns, "0..30");
  if (s.rows != 0 && (s.rows < 3 || s.rows > 90))
    return OutOfRange("PDF417 rows", s.rows, "0 or 3..90");
  if (s.moduleWidth < 2 || s.moduleWidth > 8)
    return OutOfRange("PDF417 module width", s.moduleWidth, "2..8 dots");
  if (s.rowHeight < 2 || s.rowHeight > 8)
    return OutOfRange("PDF417 row height", s.rowHeight, "2..8 module widths");
  if (s.options != 0 && s.options != 1)
    return OutOfRange("PDF417 option", s.options, "0 (standard) or 1 (truncated)");
  if (s.errorMode == 48 && (s.errorValue < 48 || s.errorValue > 56))
    return OutOfRange("PDF417 error correction level", s.errorValue, "48..56");
  if (s.errorMode == 49 && (s.errorValue < 1 || s.errorValue > 40))
    return OutOfRange("PDF417 error correction ratio", s.errorValue, "1..40");
  if (s.errorMode != 48 && s.errorMode != 49)
    return OutOfRange("PDF417 error correction mode", s.errorMode, "48 or 49");
  return "";
}

Symbol2dImage Pdf417(const Pdf417Settings& s, std::span<const std::uint8_t> data) {
  const int level =
      s.errorMode == 48 ? s.errorValue - 48 : Pdf417LevelForRatio(s.errorValue, data.size());
  Zint z = NewSymbol(s.options == 1 ? BARCODE_PDF417COMP : BARCODE_PDF417);
  if (!z) return Fail("bar code library: out of memory");
  z->option_1 = level;
  z->option_2 = s.columns;
  z->option_3 = s.rows;
  if (std::string e = Encode(*z, data); !e.empty()) return Fail("PDF417: " + e);
  return Scale(*z, s.moduleWidth,
               std::vector<int>(static_cast<std::size_t>(z->rows), s.moduleWidth * s.rowHeight));
}

// DataMatrix sizes as zint numbers them (option_2): rows × columns.
struct DmSize {
  int rows, columns;
};
constexpr DmSize kDmSizes[] = {
    {10, 10}, {12, 12}, {14, 14}, {16, 16}, {18, 18},   {20, 20},   {22, 22},   {24, 24},
    {26, 26}, {32, 32}, {36, 36}, {40, 40}, {44, 44},   {48, 48},   {52, 52},   {64, 64},
    {72, 72}, {80, 80}, {88, 88}, {96, 96}, {104, 104}, {120, 120}, {132, 132}, {144, 144},
    {8, 18},  {8, 32},  {12, 26}, {12, 36}, {16, 36},   {16, 48},
};

std::string CheckDataMatrix(const DataMatrixSettings& s) {
  if (s.shape != 0 && s.shape != 1)
    return OutOfRange("DataMatrix shape", s.shape, "0 (square) or 1 (rectangle)");
  if (s.moduleSize < 2 || s.moduleSize > 16)
    return OutOfRange("DataMatrix module size", s.moduleSize, "2..16 dots");
  return "";
}

Symbol2dImage DataMatrix(const DataMatrixSettings& s, std::span<const std::uint8_t> data) {
  Zint z = NewSymbol(BARCODE_DATAMATRIX);
  if (!z) return Fail("bar code library: out of memory");
  if (s.columns != 0 || s.rows != 0) {
    const auto* size = std::find_if(std::begin(kDmSizes), std::end(kDmSizes), [&](DmSize d) {
      return d.rows == s.rows && d.columns == s.columns && (d.rows == d.columns) == (s.shape == 0);
    });
    if (size == std::end(kDmSizes))
      return Fail("DataMatrix has no " + std::string(s.shape == 0 ? "square" : "rectangle") +
                  " of " + std::to_string(s.rows) + " × " + std::to_string(s.columns) + " modules");
    z->option_2 = static_cast<int>(size - std::begin(kDmSizes)) + 1;
  } else if (s.shape == 0) {
    z->option_3 = DM_SQUARE;
  }
  if (std::string e = Encode(*z, data); !e.empty()) return Fail("DataMatrix: " + e);
  if (s.shape == 1 && z->rows == z->width)
    return Fail("DataMatrix: the data does not fit the largest rectangle");
  return Square(*z, s.moduleSize);
}

std::string CheckAztec(const AztecSettings& s) {
  if (s.mode != 0 && s.mode != 1)
    return OutOfRange("Aztec mode", s.mode, "0 (full range) or 1 (compact)");
  const int maxLayers = s.mode == 1 ? 4 : 32;
  if (s.layers < 0 || s.layers > maxLayers)
    return OutOfRange("Aztec layers", s.layers, s.mode == 1 ? "0..4" : "0..32");
  if (s.moduleSize < 2 || s.moduleSize > 16)
    return OutOfRange("Aztec module size", s.moduleSize, "2..16 dots");
  if (s.errorPercent < 5 || s.errorPercent > 95)
    return OutOfRange("Aztec error correction", s.errorPercent, "5..95 %");
  return "";
}

Symbol2dImage Aztec(const AztecSettings& s, std::span<const std::uint8_t> data) {
  Zint z = NewSymbol(BARCODE_AZTEC);
  if (!z) return Fail("bar code library: out of memory");
  // zint's four levels: at least 10, 23, 36 and 50 % of the symbol for correction.
  z->option_1 = s.errorPercent <= 10 ? 1 : s.errorPercent <= 23 ? 2 : s.errorPercent <= 36 ? 3 : 4;
  // zint's sizes: 1..4 compact, 5..36 full range with 1..32 layers.
  if (s.layers != 0) {
    z->option_1 = -1;  // a fixed size takes the correction that is left over
    z->option_2 = s.mode == 1 ? s.layers : 4 + s.layers;
  }
  if (std::string e = Encode(*z, data); !e.empty()) return Fail("Aztec: " + e);
  return Square(*z, s.moduleSize);
}

// MaxiCode's hexagons drawn by zint at the head's 180 dots per inch: the symbol is about
// 28 mm (200 dots) across, whatever it holds. zint's raster grows in steps of whole
// pixels a hexagon: 209 dots at 2/3 of its scale 1 (299), the nearest to 200.
std::string CheckMaxiCode(const MaxiCodeSettings& s) {
  if (s.mode < 50 || s.mode > 54) return OutOfRange("MaxiCode mode", s.mode, "50..54");
  return "";
}

Symbol2dImage MaxiCode(const MaxiCodeSettings& s, std::span<const std::uint8_t> data) {
  if (s.mode <= 51)
    return Undrawn("MaxiCode modes 2 and 3 (structured carrier message) are not drawn");
  Zint z = NewSymbol(BARCODE_MAXICODE);
  if (!z) return Fail("bar code library: out of memory");
  z->option_1 = s.mode - 48;
  z->scale = 2.0f / 3.0f;
  if (std::string e = Encode(*z, data); !e.empty()) return Fail("MaxiCode: " + e);
  if (ZBarcode_Buffer(z.get(), 0) >= ZINT_ERROR || !z->bitmap)
    return Fail(std::string("MaxiCode: ") + z->errtxt);
  Symbol2dImage img;
  img.modulesWide = z->width;
  img.modulesHigh = z->rows;
  img.width = z->bitmap_width;
  img.height = z->bitmap_height;
  const std::size_t n = static_cast<std::size_t>(img.width) * static_cast<std::size_t>(img.height);
  img.dots.resize(n);
  for (std::size_t i = 0; i < n; ++i) img.dots[i] = z->bitmap[i * 3] < 128 ? 1 : 0;
  img.ok = true;
  return img;
}

// GS1 DataBar: the data after the type byte is the GTIN (13 digits, the check digit added)
// for the fixed-length types, and GS1 element strings for the expanded ones, application
// identifiers in parentheses or brackets. Rows take their heights in modules from the
// symbology: zint's row heights where it fixes them, the rest shared out of the height.
std::string CheckDataBar(const DataBarSettings& s) {
  if (s.moduleWidth < 2 || s.moduleWidth > 8)
    return OutOfRange("GS1 DataBar module width", s.moduleWidth, "2..8 dots");
  if (s.expandedMaxWidth < 0) return "GS1 DataBar: a negative width";
  return "";
}

Symbol2dImage DataBar(const DataBarSettings& s, std::span<const std::uint8_t> stored,
                      int lineWidth) {
  if (stored.empty()) return Fail("GS1 DataBar: no type byte");
  const std::uint8_t type = stored[0];
  const std::span<const std::uint8_t> data = stored.subspan(1);
  struct Type {
    std::uint8_t type;
    int symbology;
    float height;  // in modules; 0 leaves zint's
    bool gs1;
  };
  static constexpr Type kTypes[] = {
      {kDataBarOmni, BARCODE_DBAR_OMN, 33, false},
      {kDataBarTruncated, BARCODE_DBAR_OMN, 13, false},
      {kDataBarStacked, BARCODE_DBAR_STK, 0, false},
      {kDataBarStackedOmni, BARCODE_DBAR_OMNSTK, 0, false},
      {kDataBarLimited, BARCODE_DBAR_LTD, 10, false},
      {kDataBarExpanded, BARCODE_DBAR_EXP, 34, true},
      {kDataBarExpandedStacked, BARCODE_DBAR_EXPSTK, 0, true},
  };
  const auto* t = std::find_if(std::begin(kTypes), std::end(kTypes),
                               [&](const Type& k) { return k.type == type; });
  if (t == std::end(kTypes)) return Fail(OutOfRange("GS1 DataBar type", type, "72..78"));
  if (data.empty()) return Fail("GS1 DataBar: no data");
  const int maxWidth = s.expandedMaxWidth ? s.expandedMaxWidth : lineWidth;
  // Expanded stacked: the most segment pairs a row that fits the width.
  for (int columns = t->symbology == BARCODE_DBAR_EXPSTK ? 11 : 0; columns >= 0; --columns) {
    Zint z = NewSymbol(t->symbology);
    if (!z) return Fail("bar code library: out of memory");
    if (t->gs1) z->input_mode = GS1_MODE | (data[0] == '(' ? GS1PARENS_MODE : 0);
    if (t->height > 0) z->height = t->height;
    if (columns) z->option_2 = columns;
    if (std::string e = Encode(*z, data); !e.empty()) return Fail("GS1 DataBar: " + e);
    if (columns > 1 && maxWidth > 0 && z->width * s.moduleWidth > maxWidth) continue;
    float fixed = 0;
    int shared = 0;
    for (int r = 0; r < z->rows; ++r) {
      fixed += z->row_height[r];
      shared += z->row_height[r] == 0;
    }
    const float share = shared ? std::max(1.0f, (z->height - fixed) / shared) : 0;
    std::vector<int> heights;
    for (int r = 0; r < z->rows; ++r) {
      const float h = z->row_height[r] > 0 ? z->row_height[r] : share;
      heights.push_back(std::max(1, static_cast<int>(std::lround(h))) * s.moduleWidth);
    }
    return Scale(*z, s.moduleWidth, heights);
  }
  return Fail("GS1 DataBar: no symbol");
}

}  // namespace

std::string Symbol2dSettingsError(const Symbol2dRequest& request) {
  switch (request.kind) {
    case Symbol2dKind::kQr:
      return CheckQr(request.qr);
    case Symbol2dKind::kPdf417:
      return CheckPdf417(request.pdf417);
    case Symbol2dKind::kDataMatrix:
      return CheckDataMatrix(request.dataMatrix);
    case Symbol2dKind::kAztec:
      return CheckAztec(request.aztec);
    case Symbol2dKind::kMaxiCode:
      return CheckMaxiCode(request.maxiCode);
    case Symbol2dKind::kDataBar:
      return CheckDataBar(request.dataBar);
  }
  return "unknown 2-D symbol type " + std::to_string(static_cast<int>(request.kind));
}

Symbol2dImage RenderSymbol2d(const Symbol2dRequest& request) {
  if (std::string e = Symbol2dSettingsError(request); !e.empty()) return Fail(e);
  if (request.data.empty()) return Fail("2-D symbol: no data stored");
  if (request.data.size() > kMaxSymbol2dData)
    return Fail("2-D symbol: more than " + std::to_string(kMaxSymbol2dData) + " data bytes");
  if (request.lineWidth < 0) return Fail("2-D symbol: a negative line width");
  Symbol2dImage img;
  switch (request.kind) {
    case Symbol2dKind::kQr:
      img = Qr(request.qr, request.data);
      break;
    case Symbol2dKind::kPdf417:
      img = Pdf417(request.pdf417, request.data);
      break;
    case Symbol2dKind::kDataMatrix:
      img = DataMatrix(request.dataMatrix, request.data);
      break;
    case Symbol2dKind::kAztec:
      img = Aztec(request.aztec, request.data);
      break;
    case Symbol2dKind::kMaxiCode:
      img = MaxiCode(request.maxiCode, request.data);
      break;
    case Symbol2dKind::kDataBar:
      img = DataBar(request.dataBar, request.data, request.lineWidth);
      break;
    default:
      return Fail("unknown 2-D symbol type " + std::to_string(static_cast<int>(request.kind)));
  }
  if (img.ok && request.lineWidth > 0 && img.width > request.lineWidth) {
    img.ok = false;
    img.dots.clear();
    img.error = "the symbol is " + std::to_string(img.width) + " dots wide, the line " +
                std::to_string(request.lineWidth);
  }
  return img;
}

std::vector<std::uint8_t> Symbol2dSizeAnswer(const Symbol2dImage& img) {
  std::vector<std::uint8_t> out = {0x37, 0x76};
  const std::string w = std::to_string(img.width);
  const std::string h = std::to_string(img.height);
  out.insert(out.end(), w.begin(), w.end());
  out.push_back(0x1F);
  out.insert(out.end(), h.begin(), h.end());
  out.push_back(0x1F);
  out.push_back(img.ok ? '0' : '1');
  out.push_back(0x00);
  return out;
}

}  // namespace tillvane::render
