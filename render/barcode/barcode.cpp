#include "render/barcode/barcode.h"

#include <zint.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string_view>

#include "render/barcode/code128.h"

namespace tillvane::render {
namespace {

enum System {
  kUpcA = 65,
  kUpcE,
  kEan13,
  kEan8,
  kCode39,
  kItf,
  kCodabar,
  kCode93,
  kCode128,
};

// A symbol before scaling: its modules (1 bar), and whether it is drawn with two element
// widths (narrow and wide) rather than in whole modules.
struct Pattern {
  std::string error;
  std::vector<std::uint8_t> modules;
  bool twoWidths = false;
  std::string hri;
};

Pattern Fail(std::string error) {
  Pattern p;
  p.error = std::move(error);
  return p;
}

const char* Name(int system) {
  static const char* const kNames[] = {"UPC-A", "UPC-E",   "EAN-13", "EAN-8",  "CODE39",
                                       "ITF",   "CODABAR", "CODE93", "CODE128"};
  return kNames[system - kUpcA];
}

std::string Text(std::span<const std::uint8_t> d) {
  return {d.begin(), d.end()};
}

// The human-readable line: control characters, which the HRI font has no glyph for,
// show as spaces.
std::string Printable(std::string s) {
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return s;
}

std::string Hex(char c) {
  char b[8];
  std::snprintf(b, sizeof b, "0x%02X", static_cast<unsigned char>(c));
  return b;
}

bool AllDigits(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The mod-10 check digit of UPC and EAN: weights 3, 1, 3 … from the rightmost digit.
char CheckDigit(std::string_view digits) {
  int sum = 0, weight = 3;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    sum += (*it - '0') * weight;
    weight = 4 - weight;
  }
  return static_cast<char>('0' + (10 - sum % 10) % 10);
}

// The modules zint draws for `data`: bars only, no text, no quiet zone. Leading and
// trailing spaces are trimmed (zint ends some symbols with an inter-character gap).
Pattern FromZint(int symbology, const std::string& data, int option2 = 0) {
  std::unique_ptr<zint_symbol, void (*)(zint_symbol*)> z(ZBarcode_Create(), ZBarcode_Delete);
  if (!z) return Fail("bar code library: out of memory");
  z->symbology = symbology;
  z->show_hrt = 0;
  z->output_options = BARCODE_NO_QUIET_ZONES;
  z->input_mode = DATA_MODE;
  z->option_2 = option2;
  const int r = ZBarcode_Encode(z.get(), reinterpret_cast<const unsigned char*>(data.data()),
                                static_cast<int>(data.size()));
  if (r >= ZINT_ERROR) return Fail(z->errtxt);
  if (z->rows != 1 || z->width <= 0 || z->width > 144 * 8)
    return Fail("bar code library: no symbol");
  Pattern p;
  p.modules.resize(static_cast<std::size_t>(z->width));
  for (int x = 0; x < z->width; ++x) p.modules[x] = (z->encoded_data[0][x >> 3] >> (x & 7)) & 1;
  while (!p.modules.empty() && !p.modules.back()) p.modules.pop_back();
  const auto first = std::find(p.modules.begin(), p.modules.end(), 1);
  p.modules.erase(p.modules.begin(), first);
  if (p.modules.empty()) return Fail("bar code library: an empty symbol");
  return p;
}

// UPC-A, EAN-13 and EAN-8 take their data without the check digit, which is computed, or
// with it, which must be right: a wrong check digit is refused, not printed.
Pattern Retail(int system, const std::string& d) {
  const std::size_t full = system == kEan8 ? 8 : system == kEan13 ? 13 : 12;
  char buf[96];
  if ((d.size() != full - 1 && d.size() != full) || !AllDigits(d)) {
    std::snprintf(buf, sizeof buf, "%s takes %zu or %zu digits", Name(system), full - 1, full);
    return Fail(buf);
  }
  const char check = CheckDigit(std::string_view(d).substr(0, full - 1));
  if (d.size() == full && d.back() != check) {
    std::snprintf(buf, sizeof buf, "%s check digit is %c, it must be %c", Name(system), d.back(),
                  check);
    return Fail(buf);
  }
  const std::string digits = d.substr(0, full - 1) + check;
  Pattern p = FromZint(system == kUpcA ? BARCODE_UPCA_CHK : BARCODE_EANX_CHK, digits);
  p.hri = digits;
  return p;
}

// UPC-A number system and ten digits (manufacturer, product) → the six digits of the
// zero-suppressed UPC-E, or "" when the number has no UPC-E form.
std::string CompressUpcA(std::string_view ten) {
  const std::string_view m = ten.substr(0, 5), p = ten.substr(5, 5);
  if (m[2] <= '2' && m.substr(3) == "00" && p.substr(0, 2) == "00")
    return std::string{m[0], m[1], p[2], p[3], p[4], m[2]};
  if (m.substr(3) == "00" && p.substr(0, 3) == "000")
    return std::string{m[0], m[1], m[2], p[3], p[4], '3'};
  if (m[4] == '0' && p.substr(0, 4) == "0000")
    return std::string{m[0], m[1], m[2], m[3], p[4], '4'};
  if (p.substr(0, 4) == "0000" && p[4] >= '5') return std::string(m) + p[4];
  return "";
}

// The six UPC-E digits back to the ten of the UPC-A number (its check digit is the
// UPC-E's).
std::string ExpandUpcE(std::string_view e) {
  switch (e[5]) {
    case '0':
    case '1':
    case '2':
      return std::string{e[0], e[1], e[5], '0', '0', '0', '0', e[2], e[3], e[4]};
    case '3':
      return std::string{e[0], e[1], e[2], '0', '0', '0', '0', '0', e[3], e[4]};
    case '4':
      return std::string{e[0], e[1], e[2], e[3], '0', '0', '0', '0', '0', e[4]};
    default:
      return std::string{e[0], e[1], e[2], e[3], e[4], '0', '0', '0', '0', e[5]};
  }
}

// UPC-E, number system 0 as the printer takes it: 6 digits (the number system 0 and the
// check digit are added), 7 (number system first, check added), 8 (with the check digit,
// which must be right), or the UPC-A number it compresses: 11 digits (check added) or 12
// (checked). The printed symbol and its text are the 8 digits.
Pattern UpcE(const std::string& d) {
  const std::size_t n = d.size();
  if ((n < 6 || n > 8) && n != 11 && n != 12) return Fail("UPC-E takes 6, 7, 8, 11 or 12 digits");
  if (!AllDigits(d)) return Fail("UPC-E takes digits only");
  if (n != 6 && d[0] != '0') return Fail("UPC-E: the number system must be 0");
  std::string six, upcA;
  if (n <= 8) {
    six = n == 6 ? d : d.substr(1, 6);
    upcA = "0" + ExpandUpcE(six);
  } else {
    upcA = d.substr(0, 11);
    six = CompressUpcA(std::string_view(upcA).substr(1));
    if (six.empty())
      return Fail("UPC-E: the UPC-A number " + upcA + " has no zero-suppressed form");
  }
  const char check = CheckDigit(upcA);
  if ((n == 8 || n == 12) && d.back() != check)
    return Fail(std::string("UPC-E check digit is ") + d.back() + ", it must be " + check);
  const std::string digits = "0" + six + check;
  Pattern p = FromZint(BARCODE_UPCE_CHK, digits);
  p.hri = digits;
  return p;
}

// CODE39 without a check character; the printer adds the start and stop '*' itself, and
// data framed by '*' already has them. The text shows the '*'s.
Pattern Code39(std::string d) {
  if (d.size() >= 2 && d.front() == '*' && d.back() == '*') d = d.substr(1, d.size() - 2);
  if (d.empty()) return Fail("CODE39: no data");
  constexpr std::string_view kSet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ -.$/+%";
  for (std::size_t i = 0; i < d.size(); ++i)
    if (kSet.find(d[i]) == std::string_view::npos)
      return Fail("CODE39: character " + Hex(d[i]) +
                  " is not in its set (0-9 A-Z space - . $ / + %)");
  Pattern p = FromZint(BARCODE_CODE39, d);
  p.twoWidths = true;
  p.hri = "*" + d + "*";
  return p;
}

// Interleaved 2 of 5: pairs of digits, so an even count; no check digit is added.
Pattern Itf(const std::string& d) {
  if (d.empty() || d.size() % 2 != 0 || !AllDigits(d))
    return Fail("ITF takes an even number of digits");
  Pattern p = FromZint(BARCODE_C25INTER, d);
  p.twoWidths = true;
  p.hri = d;
  return p;
}

// CODABAR (NW-7): a start and a stop character A..D (either case) around 0-9 - $ : / . +.
// Both show in the text as sent.
Pattern Codabar(const std::string& d) {
  auto startStop = [](char c) { return (c >= 'A' && c <= 'D') || (c >= 'a' && c <= 'd'); };
  if (d.size() < 3 || !startStop(d.front()) || !startStop(d.back()))
    return Fail("CODABAR: the data must begin and end with a start/stop character A-D");
  constexpr std::string_view kSet = "0123456789-$:/.+";
  for (std::size_t i = 1; i + 1 < d.size(); ++i)
    if (kSet.find(d[i]) == std::string_view::npos)
      return Fail("CODABAR: only 0-9 - $ : / . + may stand between start and stop");
  std::string upper = d;
  for (char& c : upper)
    if (c >= 'a' && c <= 'd') c = static_cast<char>(c - 'a' + 'A');
  Pattern p = FromZint(BARCODE_CODABAR, upper);
  p.twoWidths = true;
  p.hri = d;
  return p;
}

// CODE93, full ASCII; the printer adds the two check characters and does not show them.
Pattern Code93(const std::string& d) {
  if (d.empty()) return Fail("CODE93: no data");
  for (unsigned char c : d)
    if (c > 0x7F) return Fail("CODE93 takes ASCII characters 0x00..0x7F only");
  Pattern p = FromZint(BARCODE_CODE93, d);
  p.hri = Printable(d);
  return p;
}

Pattern Code128(std::span<const std::uint8_t> data) {
  code128::Symbols s = code128::Encode(data);
  if (!s.ok) return Fail(s.error);
  Pattern p;
  p.modules = code128::Modules(s.values);
  p.hri = Printable(s.text);
  return p;
}

}  // namespace

BarcodeImage RenderBarcode(const BarcodeRequest& request) {
  BarcodeImage img;
  const int system = request.m >= 0 && request.m <= 6 ? request.m + kUpcA : request.m;
  if (system < kUpcA || system > kCode128) {
    img.error = "unknown bar code system " + std::to_string(request.m);
    return img;
  }
  if (request.module < 1 || request.module > 6) {
    img.error = "bar code module width " + std::to_string(request.module) + " is not 1..6 dots";
    return img;
  }
  if (request.height < 1 || request.height > 255) {
    img.error = "bar code height " + std::to_string(request.height) + " is not 1..255 dots";
    return img;
  }
  if (request.data.empty()) {
    img.error = std::string(Name(system)) + ": no data";
    return img;
  }
  if (request.data.size() > kMaxBarcodeData) {
    img.error = std::string(Name(system)) + ": more than 255 data bytes";
    return img;
  }

  const std::string text = Text(request.data);
  Pattern p;
  switch (system) {
    case kUpcA:
    case kEan13:
    case kEan8:
      p = Retail(system, text);
      break;
    case kUpcE:
      p = UpcE(text);
      break;
    case kCode39:
      p = Code39(text);
      break;
    case kItf:
      p = Itf(text);
      break;
    case kCodabar:
      p = Codabar(text);
      break;
    case kCode93:
      p = Code93(text);
      break;
    default:
      p = Code128(request.data);
      break;
  }
  if (p.modules.empty()) {
    img.error = p.error.empty() ? std::string(Name(system)) + ": no symbol" : p.error;
    return img;
  }

  // One row of dots. Whole-module symbols take `module` dots per module. Two-width symbols
  // (CODE39, ITF, CODABAR) draw a narrow element `module` dots wide and a wide one 2.5
  // times as wide, rounded up (2 → 5, 3 → 8, 4 → 10 …), as thermal printers do; zint's own
  // wide elements (2 or 3 modules) only say which elements are wide.
  const int n = request.module;
  const int wide = (5 * n + 1) / 2;
  std::vector<std::uint8_t> row;
  row.reserve(p.modules.size() * static_cast<std::size_t>(p.twoWidths ? wide : n));
  for (std::size_t i = 0; i < p.modules.size();) {
    std::size_t run = 1;
    while (i + run < p.modules.size() && p.modules[i + run] == p.modules[i]) ++run;
    const std::size_t dots = p.twoWidths ? static_cast<std::size_t>(run == 1 ? n : wide)
                                         : run * static_cast<std::size_t>(n);
    row.insert(row.end(), dots, p.modules[i]);
    i += run;
  }

  img.width = static_cast<int>(row.size());
  img.height = request.height;
  img.dots.reserve(row.size() * static_cast<std::size_t>(request.height));
  for (int y = 0; y < request.height; ++y) img.dots.insert(img.dots.end(), row.begin(), row.end());
  img.hriText = std::move(p.hri);
  img.ok = true;
  return img;
}

}  // namespace tillvane::render
