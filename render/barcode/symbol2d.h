// Two-dimensional symbols of the virtual printer: the picture a GS ( k "print the symbol
// data" function draws, in dots, from the settings its other functions stored. Plain C++ on
// libzint. Every setting keeps the byte value the printer receives, so a command handler
// copies the bytes across and this file checks them; a setting out of range, data a
// symbology cannot take, or a symbol wider than the line gives a reason instead of a
// picture.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tillvane::render {

// The symbol type byte (cn) of GS ( k.
enum class Symbol2dKind : std::uint8_t {
  kPdf417 = 48,
  kQr = 49,
  kMaxiCode = 50,
  kDataBar = 51,
  kAztec = 53,
  kDataMatrix = 54,
};

// QR Code: fn 65 model, fn 67 module size, fn 69 error correction level.
struct QrSettings {
  int model = 50;       // 49 model 1, 50 model 2, 51 micro QR
  int moduleSize = 3;   // dots, 1..16
  int errorLevel = 48;  // 48 L, 49 M, 50 Q, 51 H (micro QR: L, M or Q)
};

// PDF417: fn 65..70.
struct Pdf417Settings {
  int columns = 0;      // data columns, 0 (as many as needed) or 1..30
  int rows = 0;         // 0 (as many as needed) or 3..90
  int moduleWidth = 3;  // dots, 2..8
  int rowHeight = 3;    // module widths, 2..8
  int errorMode = 48;   // 48: errorValue is the level 48..56 (0..8); 49: a ratio 1..40 (× 10 %)
  int errorValue = 49;
  int options = 0;  // 0 standard, 1 truncated
};

// MaxiCode: fn 65 mode 50..54 (modes 2 to 6). The symbol has one physical size.
struct MaxiCodeSettings {
  int mode = 50;
};

// GS1 DataBar: fn 67 module width; the type is the first byte of the stored data.
struct DataBarSettings {
  int moduleWidth = 2;  // dots, 2..8
  // fn 71, expanded stacked only: the widest the symbol may be, in dots; 0 takes the line
  // width. The rows hold as many segments as fit.
  int expandedMaxWidth = 0;
};

// DataBar types: the first stored data byte.
inline constexpr std::uint8_t kDataBarOmni = 72;
inline constexpr std::uint8_t kDataBarTruncated = 73;
inline constexpr std::uint8_t kDataBarStacked = 74;
inline constexpr std::uint8_t kDataBarStackedOmni = 75;
inline constexpr std::uint8_t kDataBarLimited = 76;
inline constexpr std::uint8_t kDataBarExpanded = 77;
inline constexpr std::uint8_t kDataBarExpandedStacked = 78;

// Aztec: fn 66 mode and layers, fn 67 module size, fn 69 error correction.
struct AztecSettings {
  int mode = 0;           // 0 full range, 1 compact
  int layers = 0;         // 0 (as many as needed), 1..32 full range, 1..4 compact
  int moduleSize = 3;     // dots, 2..16
  int errorPercent = 23;  // 5..95
};

// DataMatrix: fn 66 shape and size, fn 67 module size.
struct DataMatrixSettings {
  int shape = 0;    // 0 square, 1 rectangle
  int columns = 0;  // modules; 0 with rows 0: the smallest of the shape that holds the data
  int rows = 0;
  int moduleSize = 3;  // dots, 2..16
};

struct Symbol2dRequest {
  Symbol2dKind kind = Symbol2dKind::kQr;
  QrSettings qr;
  Pdf417Settings pdf417;
  MaxiCodeSettings maxiCode;
  DataBarSettings dataBar;
  AztecSettings aztec;
  DataMatrixSettings dataMatrix;
  std::span<const std::uint8_t> data;  // the stored symbol data
  int lineWidth = 0;                   // dots the symbol may take; 0: no limit
};

struct Symbol2dImage {
  bool ok = false;
  std::string error;                     // why nothing is printed, when !ok
  bool undrawn = false;                  // the settings ask for a form the library lacks
  int width = 0, height = 0;             // also kept when the symbol is refused for its width
  std::vector<std::uint8_t> dots;        // row-major, width × height, 1 = black
  int modulesWide = 0, modulesHigh = 0;  // the symbol's own grid, before scaling
};

// The symbol without a quiet zone (the printer prints none; the paper around it is one).
Symbol2dImage RenderSymbol2d(const Symbol2dRequest&);

// Why the settings of the request's symbology are out of range whatever the data, or ""
// when they are in range: what a setting function checks before it keeps a new value.
std::string Symbol2dSettingsError(const Symbol2dRequest&);

// Longest data the store of one symbol takes, in bytes.
inline constexpr std::size_t kMaxSymbol2dData = 7089;

// The answer to GS ( k fn 82 (the size of the stored symbol): 0x37 0x76, the width in dots
// as decimal digits, 0x1F, the height, 0x1F, '0' when it can print or '1' when it cannot,
// and a NUL. A symbol too wide for the line reports its size and '1'; one that cannot be
// drawn at all, 0 by 0.
std::vector<std::uint8_t> Symbol2dSizeAnswer(const Symbol2dImage&);

}  // namespace tillvane::render
