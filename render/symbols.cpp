// Two-dimensional symbols (GS ( k pL pH cn fn ...): the setting functions of each
// symbology, the store of its data, and the symbol printed or its size answered. The
// symbols themselves are drawn by render/barcode/symbol2d; a symbol prints like a
// picture, by the justification in standard mode and on the print position in page mode.
#include <algorithm>
#include <iterator>
#include <string>

#include "render/handlers.h"
#include "render/machine.h"

namespace tillvane::render {
namespace {

// The bytes of GS ( k: GS ( k pL pH, then cn and fn, then the function's parameters.
constexpr size_t kCnAt = 5;
constexpr size_t kParamsAt = 7;
// The m byte of store, print and size.
constexpr uint8_t kM = 48;

struct Symbology {
  uint8_t cn;
  const char* name;
};

constexpr Symbology kSymbologies[] = {
    {48, "PDF417"},      {49, "QR Code"}, {50, "MaxiCode"},
    {51, "GS1 DataBar"}, {53, "Aztec"},   {54, "DataMatrix"},
};

// A setting function: its parameter bytes, copied into the symbology's settings.
struct Setting {
  uint8_t cn, fn;
  size_t params;
  void (*set)(Symbol2dRequest&, const uint8_t* p);
};

constexpr Setting kSettings[] = {
    {49, 65, 2, [](Symbol2dRequest& r, const uint8_t* p) { r.qr.model = p[0]; }},
    {49, 67, 1, [](Symbol2dRequest& r, const uint8_t* p) { r.qr.moduleSize = p[0]; }},
    {49, 69, 1, [](Symbol2dRequest& r, const uint8_t* p) { r.qr.errorLevel = p[0]; }},
    {48, 65, 1, [](Symbol2dRequest& r, const uint8_t* p) { r.pdf417.columns = p[0]; }},
    {48, 66, 1, [](Symbol2dRequest& r, const uint8_t* p) { r.pdf417.rows = p[0]; }},
    {48, 67, 1, [](Symbol2dRequest& r, const uint8_t* p) { r.pdf417.moduleWidth = p[0]; }},
    {48, 68, 1, [](Symbol2dRequest& r, const uint8_t* p) { r.pdf417.rowHeight = p[0]; }},
    {48, 69, 2,
     [](Symbol2dRequest& r, const uint8_t* p) {
       r.pdf417.errorMode = p[0];
       r.pdf417.errorValue = p[1];
     }},
    {48, 70, 1, [](Symbol2dRequest& r, const uint8_t* p) { r.pdf417.options = p[0]; }},
    {50, 65, 1, [](Symbol2dRequest& r, const uint8_t* p) { r.maxiCode.mode = p[0]; }},
    {51, 67, 1, [](Symbol2dRequest& r, const uint8_t* p) { r.dataBar.moduleWidth = p[0]; }},
    {51, 71, 2, [](Symbol2dRequest& r, const uint8_t* p) { r.dataBar.expandedMaxWidth = U16(p); }},
    {53, 66, 2,
     [](Symbol2dRequest& r, const uint8_t* p) {
       r.aztec.mode = p[0];
       r.aztec.layers = p[1];
     }},
    {53, 67, 1, [](Symbol2dRequest& r, const uint8_t* p) { r.aztec.moduleSize = p[0]; }},
    {53, 69, 1, [](Symbol2dRequest& r, const uint8_t* p) { r.aztec.errorPercent = p[0]; }},
    {54, 66, 3,
     [](Symbol2dRequest& r, const uint8_t* p) {
       r.dataMatrix.shape = p[0];
       r.dataMatrix.columns = p[1];
       r.dataMatrix.rows = p[2];
     }},
    {54, 67, 1, [](Symbol2dRequest& r, const uint8_t* p) { r.dataMatrix.moduleSize = p[0]; }},
};

// The functions every symbology has.
constexpr uint8_t kStore = 80, kPrint = 81, kSize = 82;

std::string Name(uint8_t cn, uint8_t fn) {
  return "GS ( k cn " + std::to_string(cn) + " fn " + std::to_string(fn);
}

std::string Bytes(size_t n) {
  return std::to_string(n) + (n == 1 ? " parameter byte" : " parameter bytes");
}

#if TILLVANE_RENDER_BARCODE
// The stored symbol of `cn` as it would print from where the next picture starts.
Symbol2dImage Draw(Machine& m, uint8_t cn) {
  Symbol2dRequest r = m.symbols;
  r.kind = static_cast<Symbol2dKind>(cn);
  const auto it = m.symbol_data.find(cn);
  if (it != m.symbol_data.end()) r.data = it->second;
  r.lineWidth = std::max(m.SymbolRoom(), 1);
  return RenderSymbol2d(r);
}

void Print(Machine& m, uint8_t cn, const std::string& name, uint64_t at) {
  const Symbol2dImage img = Draw(m, cn);
  if (img.undrawn) {
    m.NotDrawn(name, at, img.error);
    return;
  }
  if (!img.ok) {
    m.Refuse(at, name + ": " + img.error + "; nothing printed");
    return;
  }
  const int w = img.width;
  const std::vector<uint8_t>& dots = img.dots;
  m.PlaceImage(img.width, img.height, 1, 1, [w, &dots](int x, int y) {
    return dots[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] != 0;
  });
}
#endif

}  // namespace

int Machine::SymbolRoom() const {
  if (page_mode) return LogicalWidth() - u;
  // A pending line is printed first, and the next picture starts at the line's start.
  const int left = justify != 0 || line_content ? LineLeft() : line_x;
  return LineRight() - left;
}

void GsSymbol2d(Machine& m, const Command& c) {
  if (c.size() < kParamsAt) {
    m.Refuse(c.offset, "GS ( k without its symbol type and function; ignored");
    return;
  }
  const uint8_t cn = c[kCnAt], fn = c[kCnAt + 1];
  const std::span<const uint8_t> p = c.bytes.subspan(kParamsAt);
  const std::string name = Name(cn, fn);
  const auto* symbology = std::find_if(std::begin(kSymbologies), std::end(kSymbologies),
                                       [cn](const Symbology& s) { return s.cn == cn; });
  if (symbology == std::end(kSymbologies)) {
    m.NotDrawn(name, c.offset, "no 2-D symbol of type " + std::to_string(cn) + " is drawn");
    return;
  }
  const auto* setting = std::find_if(std::begin(kSettings), std::end(kSettings),
                                     [&](const Setting& s) { return s.cn == cn && s.fn == fn; });
  if (setting != std::end(kSettings)) {
    if (p.size() != setting->params) {
      m.Refuse(c.offset, name + ": " + Bytes(p.size()) + " where the function takes " +
                             std::to_string(setting->params) + "; ignored");
      return;
    }
    Symbol2dRequest changed = m.symbols;
    changed.kind = static_cast<Symbol2dKind>(cn);
    setting->set(changed, p.data());
#if TILLVANE_RENDER_BARCODE
    if (const std::string e = Symbol2dSettingsError(changed); !e.empty()) {
      m.Refuse(c.offset, name + ": " + e + "; the earlier setting stays");
      return;
    }
#endif
    m.symbols = changed;
    return;
  }
  if (fn != kStore && fn != kPrint && fn != kSize) {
    m.NotDrawn(
        name, c.offset,
        std::string(symbology->name) + " has no function " + std::to_string(fn) + " drawn here");
    return;
  }
  if (p.empty() || p[0] != kM || (fn != kStore && p.size() != 1)) {
    m.Refuse(c.offset, name + ": takes m = 48" +
                           std::string(fn == kStore ? " and the data" : " alone") + "; ignored");
    return;
  }
  if (fn == kStore) {
    const std::span<const uint8_t> data = p.subspan(1);
    if (data.size() > kMaxSymbol2dData) {
      m.Refuse(c.offset, name + ": " + std::to_string(data.size()) + " data bytes, more than the " +
                             std::to_string(kMaxSymbol2dData) + " a symbol holds; the " +
                             symbology->name + " data stored before is kept");
      return;
    }
    m.symbol_data[cn].assign(data.begin(), data.end());
    return;
  }
#if TILLVANE_RENDER_BARCODE
  if (fn == kPrint) {
    Print(m, cn, name, c.offset);
  } else {
    for (uint8_t b : Symbol2dSizeAnswer(Draw(m, cn))) m.Reply(b);
  }
#else
  // The symbol drawing (render/barcode) is not part of this build.
  m.NotDrawn(name, c.offset, std::string(symbology->name) + " not drawn in this build");
#endif
}

}  // namespace tillvane::render
