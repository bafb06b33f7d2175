#include "tests/render_2d/symbol_bytes.h"

#include "protocol/control_bytes.h"
#include "render/page.h"

namespace tillvane::render::testing {

using protocol::ESC, protocol::GS, protocol::LF;

Bytes Gsk(uint8_t cn, uint8_t fn, const Bytes& params) {
  const size_t n = params.size() + 2;
  Bytes out = {GS, '(', 'k', static_cast<uint8_t>(n & 0xFF), static_cast<uint8_t>(n >> 8), cn, fn};
  out.insert(out.end(), params.begin(), params.end());
  return out;
}

Bytes StoreSymbol(uint8_t cn, const std::string& data) {
  Bytes p = {48};
  p.insert(p.end(), data.begin(), data.end());
  return Gsk(cn, 80, p);
}

Bytes PrintSymbol(uint8_t cn) {
  return Gsk(cn, 81, {48});
}

Bytes SymbolSize(uint8_t cn) {
  return Gsk(cn, 82, {48});
}

namespace {

void Add(Bytes& out, const Bytes& b) {
  out.insert(out.end(), b.begin(), b.end());
}

void Line(Bytes& out, const std::string& s) {
  out.insert(out.end(), s.begin(), s.end());
  out.push_back(LF);
}

// "left ... right" across the line in font A (12 dots a character).
std::string Spread(const std::string& left, const std::string& right, int paper) {
  const size_t columns = static_cast<size_t>(paper / 12);
  const size_t gap =
      columns > left.size() + right.size() ? columns - left.size() - right.size() : 1;
  return left + std::string(gap, ' ') + right;
}

}  // namespace

Bytes QrSymbol(int module, int level, const std::string& data) {
  Bytes out;
  Add(out, Gsk(49, 65, {50, 0}));
  Add(out, Gsk(49, 67, {static_cast<uint8_t>(module)}));
  Add(out, Gsk(49, 69, {static_cast<uint8_t>(level)}));
  Add(out, StoreSymbol(49, data));
  return out;
}

Bytes QrReceipt(int paper) {
  Bytes out = {ESC, '@', ESC, 'a', 1, ESC, '!', 0x38};
  Line(out, "TILLVANE CAFE");
  Add(out, {ESC, '!', 0});
  Line(out, "12 Harbour Street");
  Add(out, {ESC, 'a', 0});
  Line(out, std::string(static_cast<size_t>(paper / 12), '-'));
  Line(out, Spread("Flat white", "3.40", paper));
  Line(out, Spread("Almond croissant", "2.90", paper));
  Line(out, Spread("Sparkling water", "1.80", paper));
  Line(out, std::string(static_cast<size_t>(paper / 12), '-'));
  Add(out, {ESC, 'E', 1});
  Line(out, Spread("TOTAL", "8.10", paper));
  Add(out, {ESC, 'E', 0, ESC, 'd', 1, ESC, 'a', 1});
  Add(out, QrSymbol(paper >= kDots80mm ? 5 : 4, 49,
                    "https://receipts.tillvane.example/r/2026-12-09/000417?c=7F3A"));
  Add(out, PrintSymbol(49));
  Add(out, {LF});
  Line(out, "Scan for your receipt");
  Add(out, {ESC, 'd', 3, GS, 'V', 0});
  return out;
}

Bytes Pdf417Receipt(int paper) {
  Bytes out = {ESC, '@', ESC, 'a', 1, ESC, '!', 0x30};
  Line(out, "BOARDING PASS");
  Add(out, {ESC, '!', 0, ESC, 'a', 0});
  Line(out, Spread("TILLVANE/ANNA", "TV 2417", paper));
  Line(out, Spread("From  HEL", "To  ARN", paper));
  Line(out, Spread("Seat 14C", "Gate 22", paper));
  Add(out, {ESC, 'd', 1, ESC, 'a', 1});
  Add(out, Gsk(48, 65, {static_cast<uint8_t>(paper >= kDots80mm ? 5 : 4)}));  // columns
  Add(out, Gsk(48, 66, {0}));                                                 // rows
  Add(out, Gsk(48, 67, {2}));                                                 // module
  Add(out, Gsk(48, 68, {3}));                                                 // row height
  Add(out, Gsk(48, 69, {48, 50}));                                            // level 2
  Add(out, Gsk(48, 70, {0}));
  Add(out, StoreSymbol(48, "M1TILLVANE/ANNA       EK7QW2 HELARNTV 2417 343Y014C0091 100"));
  Add(out, PrintSymbol(48));
  Add(out, {LF});
  Line(out, "Have a good flight");
  Add(out, {ESC, 'd', 3, GS, 'V', 0});
  return out;
}

}  // namespace tillvane::render::testing
