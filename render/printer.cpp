#include "render/printer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <map>
#include <span>
#include <utility>

#include "render/glyphs.h"
#include "render/logo_store.h"

#if TILLVANE_RENDER_BARCODE
#include "render/barcode/barcode.h"
#endif

// The dot loops have no branch worth guiding a fuzzer by; left out of its coverage
// they cost the fuzzer a fraction of the time.
#if defined(__clang__)
#define TILLVANE_DOT_LOOP __attribute__((no_sanitize("coverage")))
#else
#define TILLVANE_DOT_LOOP
#endif

namespace tillvane::render {
namespace {

constexpr uint8_t HT = 0x09, LF = 0x0A, FF = 0x0C, CR = 0x0D, DLE = 0x10, NAK = 0x15, CAN = 0x18,
                  ESC = 0x1B, FS = 0x1C, GS = 0x1D, RS = 0x1E;
constexpr uint8_t EOT = 0x04, ENQ = 0x05, DC4 = 0x14;

// Standard mode collects one line here before printing it; the line's content sits on
// the bottom row (its baseline).
constexpr int kLineRows = 8 * 24 * 2;
// Height of the page area before any ESC W, in dots.
constexpr int kDefaultAreaRows = 1662;
// Default line spacing (ESC 2): 1/6 inch.
constexpr int kDefaultLineSpacing = kDotsPerInch / 6;
// Longest data of the zero-ended bar code form, and of ESC D's tab list.
constexpr size_t kMaxZeroEndedData = 255;
constexpr size_t kMaxTabs = 32;
// The back channel keeps this many answers that nobody read; older ones are dropped.
constexpr size_t kMaxReplies = 4096;
// Largest raster image (GS v 0) the printer takes: 255 bytes across, 2303 rows.
constexpr int kMaxRasterBytes = 255;
constexpr int kMaxRasterRows = 2303;
// Largest graphics data (GS 8 L) the printer takes; it is not drawn, only passed over.
constexpr uint64_t kMaxGraphicsBytes = 1 << 20;
// Rows of the dashed line a cut leaves at the bottom of its page.
constexpr int kCutLineRows = 2;

// Header lengths that are not a plain count.
constexpr size_t kUnknown = 0;
constexpr size_t kUntilNul = static_cast<size_t>(-1);

int Mul(uint8_t size_bits) {
  return (size_bits & 7) + 1;
}

uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

enum class Payload : uint8_t {
  kNone,
  kSkip,           // discarded
  kRamLogo,        // GS * data
  kBitImage,       // ESC * data
  kRasterRow,      // one row of GS v 0
  kFlashHeader,    // FS q: xL xH yL yH of the next image
  kFlashData,      // FS q: its column image (collected or skipped)
  kUserCharWidth,  // ESC &: x of the next character
  kUserCharData,   // ESC &: its dots (skipped)
  kBarcodeData,    // GS k m n: the n data bytes
};

}  // namespace

struct Printer::Impl {
  PrinterOptions options;
  PageSink sink;
  Report report;
  PrinterStatus status;
  std::deque<uint8_t> replies;

  // Parser.
  uint64_t offset = 0;       // of the next byte
  uint64_t cmd_offset = 0;   // of the first byte of `cmd`
  std::vector<uint8_t> cmd;  // the command header gathered so far
  int gbk_lead = -1;         // a double-byte lead waiting for its trail
  uint64_t gbk_offset = 0;
  Payload payload = Payload::kNone;
  uint64_t payload_left = 0;  // bytes still to come
  bool payload_collect = false;
  std::vector<uint8_t> payload_bytes;
  uint64_t payload_offset = 0;  // where the command it belongs to began

  // Settings (ESC @ restores them).
  int font = 0;  // 0 font A, 1 font B
  int width_mul = 1, height_mul = 1;
  bool emphasized = false;
  int underline = 0;
  bool reverse = false;
  int char_spacing = 0;  // dots to the right of each character
  int line_spacing = kDefaultLineSpacing;
  int justify = 0;
  bool chinese = true;
  int unit_x = kDotsPerInch, unit_y = kDotsPerInch;  // GS P: units per inch
  int left_margin = 0;
  int print_width = 0;    // dots from the left margin
  std::vector<int> tabs;  // tab stops in character columns; empty: every 8
  int barcode_module = 3, barcode_height = 162, hri_position = 0, hri_font = 0;
  int ram_logo = 0;  // GS # selection

  // Standard mode: the line being gathered.
  Bitmap line;
  int line_x = 0;
  int line_height = 0;
  bool line_content = false;

  // Page mode.
  bool page_mode = false;
  int area_x = 0, area_y = 0, area_w = 0, area_h = kDefaultAreaRows;  // dots on the paper
  int direction = 0;
  Bitmap area;       // area_w x area_h, in paper orientation
  int u = 0, v = 0;  // print position along the text and down its lines, in dots
  bool v_set = false;
  int page_line_height = 0;

  // Paper fed since the last page went out.
  Bitmap roll;

  // Logos.
  std::map<int, ColumnImage> ram_logos;
  std::vector<ColumnImage> flash_logos;
  std::vector<ColumnImage> flash_incoming;
  int flash_expected = 0;
  int flash_x = 0, flash_y = 0;
  bool flash_accept = false;
  size_t flash_used = 0;

  // The image whose data is arriving.
  int image_m = 0, image_columns = 0;  // ESC *
  int ram_x = 0, ram_y = 0;            // GS *
  int raster_bytes = 0, raster_rows = 0, raster_row = 0, raster_xm = 1, raster_ym = 1;
  int raster_left = 0, raster_top = 0;
  int user_chars_left = 0, user_char_y = 0;
  int barcode_m = 0;

  explicit Impl(PrinterOptions o, PageSink s) : options(std::move(o)), sink(std::move(s)) {
    if (options.paper_dots < 8) options.paper_dots = 8;
    if (options.paper_dots > 4096) options.paper_dots = 4096;
    line.Reset(paper(), kLineRows);
    roll.Reset(paper(), 0);
    if (!options.flash_store.empty()) {
      std::string error;
      if (auto logos = LoadFlashLogos(options.flash_store, &error)) {
        flash_logos = std::move(*logos);
      } else {
        Refuse(0, "flash logo store not read: " + error);
      }
    }
    Initialise();
  }

  int paper() const { return options.paper_dots; }

  // --- reports -----------------------------------------------------------------------

  void Unknown(uint64_t at, uint64_t count) {
    for (uint64_t i = 0; i < count; ++i) {
      ++report.unknown_bytes;
      if (report.unknown_offsets.size() < Report::kMaxListed)
        report.unknown_offsets.push_back(at + i);
    }
  }
  void Refuse(uint64_t at, const std::string& what) {
    ++report.refused;
    if (report.notes.size() < Report::kMaxListed)
      report.notes.push_back("offset " + std::to_string(at) + ": " + what);
  }
  void Reply(uint8_t b) {
    if (replies.size() >= kMaxReplies) replies.pop_front();
    replies.push_back(b);
    ++report.replies;
  }

  // --- settings ----------------------------------------------------------------------

  void Initialise() {
    font = 0;
    width_mul = height_mul = 1;
    emphasized = false;
    underline = 0;
    reverse = false;
    char_spacing = 0;
    line_spacing = kDefaultLineSpacing;
    justify = 0;
    chinese = true;
    unit_x = unit_y = kDotsPerInch;
    left_margin = 0;
    print_width = paper();
    tabs.clear();
    barcode_module = 3;
    barcode_height = 162;
    hri_position = hri_font = 0;
    ram_logo = 0;
    page_mode = false;
    area_x = area_y = 0;
    area_w = paper();
    area_h = kDefaultAreaRows;
    direction = 0;
    area.Reset(0, 0);
    ClearLine();
  }

  // Motion units to dots.
  int64_t DotsX(int64_t n) const { return n * kDotsPerInch / unit_x; }
  int64_t DotsY(int64_t n) const { return n * kDotsPerInch / unit_y; }
  // Along the text and across its lines in page mode: the units follow the direction.
  bool Sideways() const { return direction == 1 || direction == 3; }
  int64_t DotsAlong(int64_t n) const { return Sideways() ? DotsY(n) : DotsX(n); }
  int64_t DotsAcross(int64_t n) const { return Sideways() ? DotsX(n) : DotsY(n); }

  int LineLeft() const { return left_margin; }
  int LineRight() const { return std::min(paper(), left_margin + print_width); }
  int LogicalWidth() const { return Sideways() ? area_h : area_w; }
  int LogicalHeight() const { return Sideways() ? area_w : area_h; }

  Face SingleFace() const { return font == 1 ? Face::kB : Face::kA; }
  int CellHeight() const { return CellOf(SingleFace()).height * height_mul; }

  // --- paper ---------------------------------------------------------------------------

  void EmitPage(Cut cut, bool continued) {
    if (cut != Cut::kNone) {
      const int y0 = roll.height();
      roll.Grow(kCutLineRows);
      const int gap_from = cut == Cut::kPartial ? paper() / 2 - 32 : paper();
      const int gap_to = cut == Cut::kPartial ? paper() / 2 + 32 : paper();
      for (int y = y0; y < y0 + kCutLineRows; ++y)
        for (int x = 0; x < paper(); ++x)
          if ((x % 12) < 8 && (x < gap_from || x >= gap_to)) roll.Set(x, y);
    }
    if (roll.height() == 0) return;
    Page page;
    page.dots = std::move(roll);
    // The roll's buffer may have room for far more than this page; a page that is kept
    // holds at most twice its own size.
    std::vector<uint8_t>& kept = page.dots.bits();
    if (kept.capacity() / 2 > kept.size()) kept.shrink_to_fit();
    page.cut = cut;
    page.continued = continued;
    page.number = ++report.pages;
    // The next page is likely as long as this one: room for it now saves copying the
    // roll each time it outgrows its buffer.
    const size_t hint = page.dots.bits().size();
    roll = Bitmap(paper(), 0);
    roll.bits().reserve(hint);
    if (sink) sink(std::move(page));
  }

  void MakeRoom() {
    if (roll.height() >= kMaxPageRows) EmitPage(Cut::kNone, true);
  }

  void FeedRows(int64_t rows) {
    while (rows > 0) {
      MakeRoom();
      const int n = static_cast<int>(std::min<int64_t>(rows, kMaxPageRows - roll.height()));
      roll.Grow(n);
      rows -= n;
    }
  }

  // Room for `rows` more rows of the roll in one allocation.
  void Reserve(int rows) {
    const size_t want = static_cast<size_t>(roll.stride()) *
                        std::min(kMaxPageRows + kCutLineRows, roll.height() + rows);
    if (roll.bits().capacity() < want)
      roll.bits().reserve(std::max(want, 2 * roll.bits().capacity()));
  }

  // Appends rows [from, to) of `band` (paper wide) to the roll.
  void AppendRows(const Bitmap& band, int from, int to) {
    Reserve(to - from);
    for (int y = from; y < to; ++y) {
      MakeRoom();
      roll.Grow(1);
      std::memcpy(roll.Row(roll.height() - 1), band.Row(y), static_cast<size_t>(roll.stride()));
    }
  }

  // --- standard mode lines -----------------------------------------------------------

  void ClearLine() {
    line.Clear();
    line_x = LineLeft();
    line_height = 0;
    line_content = false;
  }

  // Prints the gathered line and feeds: with `lf`, the line spacing (at least the
  // line's height, or one character when the line is empty); otherwise `feed` dots, at
  // least the line's height.
  void PrintLine(bool lf, int64_t feed = 0) {
    const int h = line_content ? std::min(line_height, kLineRows) : 0;
    if (h > 0) {
      int shift = 0;
      if (justify == 1) shift = (LineRight() - line_x) / 2;
      if (justify == 2) shift = LineRight() - line_x;
      if (shift > 0) {
        Bitmap moved(paper(), kLineRows);
        for (int y = kLineRows - h; y < kLineRows; ++y)
          for (int x = 0; x < paper(); ++x)
            if (line.Get(x, y)) moved.Set(x + shift, y);
        line = std::move(moved);
      }
      AppendRows(line, kLineRows - h, kLineRows);
    }
    int64_t advance = lf ? std::max<int64_t>(line_spacing, line_content ? h : CellHeight())
                         : std::max<int64_t>(feed, h);
    FeedRows(advance - h);
    ClearLine();
  }

  // Prints a picture as a band of its own in standard mode, at the print position or
  // where the justification puts it.
  template <class Dot>
  TILLVANE_DOT_LOOP void PrintBand(int w, int h, Dot dot) {
    if (line_content) PrintLine(false);
    int x = line_x;
    if (justify == 1) x = LineLeft() + (LineRight() - LineLeft() - w) / 2;
    if (justify == 2) x = LineRight() - w;
    x = std::max(x, 0);
    for (int y0 = 0; y0 < h; y0 += 256) {
      const int rows = std::min(256, h - y0);
      Bitmap band(paper(), rows);
      for (int y = 0; y < rows; ++y)
        for (int sx = 0; sx < w && x + sx < paper(); ++sx)
          if (dot(sx, y0 + y)) band.Set(x + sx, y);
      AppendRows(band, 0, rows);
    }
    ClearLine();
  }

  // --- page mode ---------------------------------------------------------------------

  // Dot at (pu, pv) along and across the text, turned by the print direction.
  TILLVANE_DOT_LOOP void PlotPage(int pu, int pv) {
    if (pu < 0 || pv < 0 || pu >= LogicalWidth() || pv >= LogicalHeight()) return;
    switch (direction) {
      case 0:
        area.Set(pu, pv);
        break;
      case 1:  // from the lower left, bottom to top
        area.Set(pv, area_h - 1 - pu);
        break;
      case 2:  // from the lower right, upside down
        area.Set(area_w - 1 - pu, area_h - 1 - pv);
        break;
      default:  // from the upper right, top to bottom
        area.Set(area_w - 1 - pv, pu);
        break;
    }
  }

  TILLVANE_DOT_LOOP void Plot(int x, int y) {
    if (page_mode)
      PlotPage(x, y);
    else
      line.Set(x, y);
  }

  void StartArea() {
    u = 0;
    v = 0;
    v_set = false;
    page_line_height = 0;
  }

  void EnterPageMode() {
    if (page_mode) return;
    if (line_content) PrintLine(true);
    page_mode = true;
    area.Reset(area_w, area_h);
    StartArea();
  }

  TILLVANE_DOT_LOOP void PrintArea() {
    Reserve(area_y + area_h);
    FeedRows(area_y);
    const int shift = area_x & 7, first = area_x >> 3;
    for (int y = 0; y < area_h; ++y) {
      MakeRoom();
      roll.Grow(1);
      uint8_t* dst = roll.Row(roll.height() - 1);
      const uint8_t* src = area.Row(y);
      if (shift == 0) {
        std::memcpy(dst + first, src, static_cast<size_t>(area.stride()));
        continue;
      }
      for (int i = 0; i < area.stride(); ++i) {
        const uint8_t b = src[i];
        if (b == 0) continue;
        dst[first + i] |= static_cast<uint8_t>(b >> shift);
        if (shift && first + i + 1 < roll.stride())
          dst[first + i + 1] |= static_cast<uint8_t>(b << (8 - shift));
      }
    }
  }

  void PageLineFeed(int64_t feed, bool lf) {
    const int64_t h = page_line_height > 0 ? page_line_height : CellHeight();
    const int64_t step = lf ? std::max<int64_t>(line_spacing, h) : feed;
    u = 0;
    v = static_cast<int>(std::min<int64_t>(v + step, LogicalHeight() + 1));
    v_set = true;
    page_line_height = 0;
  }

  // Where a picture h dots high goes in page mode: its bottom on the print position;
  // before any vertical position is given, the first line starts at the area's top.
  int PageTop(int h) {
    if (!v_set && v < h) v = h;
    v_set = true;
    page_line_height = std::max(page_line_height, h);
    return v - h;
  }

  // --- drawing -----------------------------------------------------------------------

  // Draws `dot` (w x h) scaled by xm, ym with its top left at (left, top) of the line
  // buffer or the page area.
  template <class Dot>
  TILLVANE_DOT_LOOP void Stamp(int w, int h, int xm, int ym, int left, int top, Dot dot) {
    for (int sy = 0; sy < h; ++sy)
      for (int sx = 0; sx < w; ++sx) {
        if (!dot(sx, sy)) continue;
        for (int dy = 0; dy < ym; ++dy)
          for (int dx = 0; dx < xm; ++dx) Plot(left + sx * xm + dx, top + sy * ym + dy);
      }
  }

  void DrawChar(const Glyph* g) {
    const int w = g->width * width_mul, h = g->height * height_mul;
    const int spacing = char_spacing * width_mul;
    int left, top;
    if (page_mode) {
      if (u > 0 && u + w > LogicalWidth()) PageLineFeed(0, true);
      top = PageTop(h);
      left = u;
      u += w + spacing;
    } else {
      if (line_x > LineLeft() && line_x + w > LineRight()) PrintLine(true);
      left = line_x;
      top = kLineRows - h;
      line_x += w + spacing;
      line_height = std::max(line_height, h);
      line_content = true;
    }
    auto dot = [g](int x, int y) { return g->dots[static_cast<size_t>(y) * g->width + x] != 0; };
    Stamp(g->width, g->height, width_mul, height_mul, left, top, dot);
    if (emphasized) Stamp(g->width, g->height, width_mul, height_mul, left + 1, top, dot);
    if (underline > 0)
      for (int y = top + h - underline; y < top + h; ++y)
        for (int x = left; x < left + w + spacing; ++x) Plot(x, y);
    if (reverse) {
      for (int y = top; y < top + h; ++y)
        for (int x = left; x < left + w + spacing; ++x) {
          if (page_mode) {
            // Reverse in page mode: flip through the same turn as Plot.
            FlipPage(x, y);
          } else {
            line.Flip(x, y);
          }
        }
    }
  }

  TILLVANE_DOT_LOOP void FlipPage(int pu, int pv) {
    if (pu < 0 || pv < 0 || pu >= LogicalWidth() || pv >= LogicalHeight()) return;
    switch (direction) {
      case 0:
        area.Flip(pu, pv);
        break;
      case 1:
        area.Flip(pv, area_h - 1 - pu);
        break;
      case 2:
        area.Flip(area_w - 1 - pu, area_h - 1 - pv);
        break;
      default:
        area.Flip(area_w - 1 - pv, pu);
        break;
    }
  }

  // A picture that prints at once in standard mode and sits on the print position in
  // page mode (logos, raster images, bar codes).
  template <class Dot>
  void PlaceImage(int w, int h, int xm, int ym, Dot dot) {
    const int sw = w * xm, sh = h * ym;
    if (page_mode) {
      const int top = PageTop(sh);
      Stamp(w, h, xm, ym, u, top, dot);
      u += sw;
    } else {
      PrintBand(sw, sh, [&](int x, int y) { return dot(x / xm, y / ym); });
    }
  }

  void Text(uint8_t b) {
    if (chinese && b >= 0x81 && b <= 0xFE) {
      gbk_lead = b;
      gbk_offset = offset;
      return;
    }
    if (b >= 0x80 && chinese) {
      Unknown(offset, 1);
      return;
    }
    const char32_t cp = b < 0x80 ? char32_t{b} : DecodeCp437(b);
    DrawChar(GlyphFor(SingleFace(), cp == 0 ? U'?' : cp).get());
  }

  void Trail(uint8_t b) {
    const uint8_t lead = static_cast<uint8_t>(gbk_lead);
    gbk_lead = -1;
    const char32_t cp = DecodeGbk(lead, b);
    DrawChar(GlyphFor(Face::kWide, cp == 0 ? U'\u25A1' : cp).get());
  }

  // --- commands ----------------------------------------------------------------------

  // The length of the command whose first bytes are in `cmd`: the count it needs to be
  // complete (more than cmd.size() while it is not), kUntilNul, or kUnknown.
  size_t HeaderLength() const {
    const size_t n = cmd.size();
    const uint8_t c = cmd[0];
    switch (c) {
      case HT:
      case LF:
      case FF:
      case CR:
      case CAN:
        return 1;
      case NAK:
      case RS:
        return 2;
      case DLE:
        if (n < 2) return 2;
        if (cmd[1] == EOT) return n < 3 ? 3 : (cmd[2] == 7 ? 4 : 3);
        if (cmd[1] == ENQ) return 3;
        if (cmd[1] == DC4) return 5;
        return kUnknown;
      case ESC:
        if (n < 2) return 2;
        switch (cmd[1]) {
          case '2':
          case '@':
          case 'L':
          case 'S':
          case FF:
          case 'i':
          case 'm':
          case '<':
            return 2;
          case ' ':
          case '!':
          case '-':
          case '3':
          case 'E':
          case 'G':
          case 'J':
          case 'M':
          case 'R':
          case 'T':
          case 'U':
          case 'V':
          case 'a':
          case 'd':
          case 'e':
          case 't':
          case '{':
          case 'F':
          case 'r':
          case 'K':
          case '%':
          case '?':
          case '=':
            return 3;
          case '$':
          case '\\':
          case 'c':
            return 4;
          case 'p':
            return 5;
          case '*':
          case '&':
            return 5;
          case 'W':
            return 10;
          case 'D':
            return kUntilNul;
          default:
            return kUnknown;
        }
      case FS:
        if (n < 2) return 2;
        switch (cmd[1]) {
          case '&':
          case '.':
            return 2;
          case '!':
          case '-':
          case 'C':
          case 'W':
          case 'q':
            return 3;
          case 'p':
          case 'S':
            return 4;
          case '2':
            return 75;
          default:
            return kUnknown;
        }
      case GS:
        if (n < 2) return 2;
        switch (cmd[1]) {
          case ':':
            return 2;
          case '!':
          case '#':
          case '/':
          case 'B':
          case 'H':
          case 'I':
          case 'T':
          case 'a':
          case 'b':
          case 'f':
          case 'h':
          case 'r':
          case 'w':
          case 'E':
            return 3;
          case '$':
          case '\\':
          case 'L':
          case 'W':
          case 'P':
          case '*':
            return 4;
          case '^':
            return 5;
          case '(':
            return 5;
          case 'V':
            if (n < 3) return 3;
            switch (cmd[2]) {
              case 0:
              case 1:
              case '0':
              case '1':
                return 3;
              case 'A':
              case 'B':
              case 'a':
              case 'b':
              case 'g':
              case 'h':
                return 4;
              default:
                return kUnknown;
            }
          case 'k':
            if (n < 3) return 3;
            if (cmd[2] <= 6) return kUntilNul;
            if (cmd[2] >= 65 && cmd[2] <= 73) return 4;
            return kUnknown;
          case 'v':
            if (n < 3) return 3;
            return cmd[2] == '0' ? 8 : kUnknown;
          case '8':
            if (n < 3) return 3;
            return cmd[2] == 'L' ? 7 : kUnknown;
          default:
            return kUnknown;
        }
      default:
        return kUnknown;
    }
  }

  // Where a zero-ended command's data starts, and how long it may grow.
  size_t NulStart() const { return cmd[0] == GS ? 3 : 2; }
  size_t NulLimit() const { return cmd[0] == GS ? kMaxZeroEndedData : kMaxTabs; }

  void StartPayload(Payload kind, uint64_t size, bool collect) {
    payload = kind;
    payload_left = size;
    payload_collect = collect;
    payload_bytes.clear();
    if (collect) payload_bytes.reserve(static_cast<size_t>(size));
    if (size == 0) PayloadDone();
  }

  void Byte(uint8_t b) {
    if (cmd.empty()) {
      if (gbk_lead >= 0) {
        if (b >= 0x40 && b <= 0xFE && b != 0x7F) {
          Trail(b);
          return;
        }
        Unknown(gbk_offset, 1);
        gbk_lead = -1;
      }
      if (b >= 0x20 && b != 0x7F) {
        Text(b);
        return;
      }
      cmd_offset = offset;
    }
    cmd.push_back(b);
    const size_t need = HeaderLength();
    if (need == kUnknown) {
      Unknown(cmd_offset, cmd.size());
      cmd.clear();
      return;
    }
    if (need == kUntilNul) {
      const size_t start = NulStart();
      if (cmd.size() > start && b == 0) {
        Execute();
        cmd.clear();
      } else if (cmd.size() > start + NulLimit()) {
        Refuse(cmd_offset, "command data without its ending zero byte within " +
                               std::to_string(NulLimit()) + " bytes; dropped");
        cmd.clear();
      }
      return;
    }
    if (cmd.size() < need) return;
    Execute();
    cmd.clear();
  }

  void SetUnits(uint8_t x, uint8_t y) {
    unit_x = x == 0 ? kDotsPerInch : x;
    unit_y = y == 0 ? kDotsPerInch : y;
  }

  void SetArea(const uint8_t* p) {
    const int64_t x = DotsX(U16(p)), y = DotsY(U16(p + 2));
    const int64_t w = DotsX(U16(p + 4)), h = DotsY(U16(p + 6));
    if (w <= 0 || h <= 0) {
      Refuse(cmd_offset, "ESC W with an empty print area; ignored");
      return;
    }
    if (x >= paper() || y >= kMaxPageRows) {
      Refuse(cmd_offset, "ESC W starting outside the paper; ignored");
      return;
    }
    area_x = static_cast<int>(x);
    area_y = static_cast<int>(y);
    area_w = static_cast<int>(std::min<int64_t>(w, paper() - x));
    area_h = static_cast<int>(std::min<int64_t>(h, kMaxPageRows - y));
    if (w > area_w || h > area_h) Refuse(cmd_offset, "ESC W larger than the paper; clipped");
    if (page_mode) {
      area.Reset(area_w, area_h);
      StartArea();
    }
  }

  void PrintRamLogo(uint8_t m) {
    auto it = ram_logos.find(ram_logo);
    if (it == ram_logos.end()) {
      Refuse(cmd_offset, "GS / of RAM logo " + std::to_string(ram_logo) + ", never defined");
      return;
    }
    PlaceLogo(it->second, m);
  }

  void PrintFlashLogo(uint8_t n, uint8_t m) {
    if (n < 1 || n > flash_logos.size() || flash_logos[n - 1].columns == 0) {
      Refuse(cmd_offset, "FS p of flash logo " + std::to_string(n) + ", never defined");
      return;
    }
    PlaceLogo(flash_logos[n - 1], m);
  }

  // A logo as PlaceImage puts it, read a byte of its column image at a time so that
  // blank bytes cost nothing. Upright (standard mode, or page mode in direction 0) the
  // dots go straight into the rows of the band or area, clipped once per column.
  TILLVANE_DOT_LOOP void PlaceLogo(const ColumnImage& logo, uint8_t m) {
    const int xm = (m & 1) + 1, ym = ((m >> 1) & 1) + 1;
    const int w = logo.columns * xm, h = logo.height() * ym;
    Bitmap band;
    int left, top;
    if (page_mode) {
      top = PageTop(h);
      left = u;
    } else {
      if (line_content) PrintLine(false);
      left = line_x;
      if (justify == 1) left = LineLeft() + (LineRight() - LineLeft() - w) / 2;
      if (justify == 2) left = LineRight() - w;
      left = std::max(left, 0);
      top = 0;
      band.Reset(paper(), h);
    }
    const uint8_t* d = logo.data.data();
    if (!page_mode || direction == 0) {
      Bitmap& to = page_mode ? area : band;
      for (int x = 0; x < logo.columns; ++x) {
        const uint8_t* column = d + static_cast<size_t>(x) * logo.bands;
        for (int dx = 0; dx < xm; ++dx) {
          const int px = left + x * xm + dx;
          if (px < 0) continue;
          if (px >= to.width()) break;
          const size_t at = static_cast<size_t>(px >> 3);
          const uint8_t mask = static_cast<uint8_t>(0x80 >> (px & 7));
          for (int j = 0; j < logo.bands; ++j) {
            const uint8_t b = column[j];
            if (b == 0) continue;
            for (int k = 0; k < 8; ++k) {
              if (!((b >> (7 - k)) & 1)) continue;
              for (int dy = 0; dy < ym; ++dy) {
                const int py = top + (j * 8 + k) * ym + dy;
                if (static_cast<unsigned>(py) < static_cast<unsigned>(to.height()))
                  to.Row(py)[at] |= mask;
              }
            }
          }
        }
      }
    } else {
      for (int x = 0; x < logo.columns; ++x)
        for (int y = 0; y < logo.height(); ++y)
          if (logo.Dot(x, y))
            for (int dy = 0; dy < ym; ++dy)
              for (int dx = 0; dx < xm; ++dx) PlotPage(left + x * xm + dx, top + y * ym + dy);
    }
    if (page_mode) {
      u += w;
    } else {
      AppendRows(band, 0, band.height());
      ClearLine();
    }
  }

  void CutPaper(Cut kind, int64_t feed) {
    if (!page_mode && line_content) PrintLine(false);
    FeedRows(feed);
    EmitPage(kind, false);
  }

  void StatusReply(uint8_t n) {
    switch (n) {
      case 1:  // printer
        Reply(static_cast<uint8_t>(0x12 | (status.offline ? 0x08 : 0)));
        break;
      case 2:  // offline causes
        Reply(static_cast<uint8_t>(0x12 | (status.cover_open ? 0x04 : 0) |
                                   (status.paper_out ? 0x20 : 0)));
        break;
      case 3:  // errors
        Reply(0x12);
        break;
      case 4:  // paper sensors
        Reply(static_cast<uint8_t>(0x12 | (status.paper_near_end ? 0x0C : 0) |
                                   (status.paper_out ? 0x60 : 0)));
        break;
      default:
        Refuse(cmd_offset, "DLE EOT " + std::to_string(n) + " has no answer");
        break;
    }
  }

  void Execute() {
    const uint8_t* p = cmd.data();
    if (options.more_answers)
      for (uint8_t b : options.more_answers(p, cmd.size())) Reply(b);
    switch (p[0]) {
      case HT: {
        const int cell = CellOf(SingleFace()).width * width_mul + char_spacing * width_mul;
        const int pos = page_mode ? u : line_x - LineLeft();
        int next = -1;
        if (tabs.empty()) {
          next = (pos / (8 * cell) + 1) * 8 * cell;
        } else {
          for (int t : tabs)
            if (t * cell > pos) {
              next = t * cell;
              break;
            }
        }
        if (next < 0) return;
        if (page_mode) {
          if (next < LogicalWidth()) u = next;
        } else if (LineLeft() + next < LineRight()) {
          line_x = LineLeft() + next;
        }
        return;
      }
      case LF:
        if (page_mode)
          PageLineFeed(0, true);
        else
          PrintLine(true);
        return;
      case FF:
        if (page_mode) {
          PrintArea();
          page_mode = false;
          area.Reset(0, 0);
          ClearLine();
        }
        return;
      case CR:
        return;
      case CAN:
        if (page_mode) area.Clear();
        return;
      case NAK:
        if (!page_mode && line_content) PrintLine(false);
        FeedRows(DotsY(p[1]));
        return;
      case RS:
        if (!page_mode && line_content) PrintLine(false);
        FeedRows(DotsY(p[1]));
        return;
      case DLE:
        if (p[1] == EOT && options.answer_realtime) StatusReply(p[2]);
        return;  // DLE ENQ, DLE DC4: nothing to print
      case ESC:
        Esc(p);
        return;
      case FS:
        Fs(p);
        return;
      case GS:
        Gs(p);
        return;
    }
  }

  void Esc(const uint8_t* p) {
    switch (p[1]) {
      case ' ':
        char_spacing = static_cast<int>(DotsX(p[2]));
        return;
      case '!':
        font = p[2] & 1;
        emphasized = (p[2] & 0x08) != 0;
        height_mul = (p[2] & 0x10) ? 2 : 1;
        width_mul = (p[2] & 0x20) ? 2 : 1;
        underline = (p[2] & 0x80) ? 1 : 0;
        return;
      case '$': {
        const int64_t n = U16(p + 2);
        if (page_mode) {
          const int64_t d = DotsAlong(n);
          if (d < LogicalWidth()) u = static_cast<int>(d);
        } else {
          const int64_t d = LineLeft() + DotsX(n);
          if (d < LineRight()) line_x = static_cast<int>(d);
        }
        return;
      }
      case '\\': {
        const int64_t n = static_cast<int16_t>(U16(p + 2));
        if (page_mode) {
          const int64_t d = u + DotsAlong(n);
          if (d >= 0 && d < LogicalWidth()) u = static_cast<int>(d);
        } else {
          const int64_t d = line_x + DotsX(n);
          if (d >= LineLeft() && d < LineRight()) line_x = static_cast<int>(d);
        }
        return;
      }
      case '-':
        underline = (p[2] == 1 || p[2] == '1') ? 1 : (p[2] == 2 || p[2] == '2') ? 2 : 0;
        return;
      case '2':
        line_spacing = kDefaultLineSpacing;
        return;
      case '3':
        line_spacing = static_cast<int>(page_mode ? DotsAcross(p[2]) : DotsY(p[2]));
        return;
      case '@':
        if (page_mode) area.Reset(0, 0);
        Initialise();
        return;
      case 'E':
      case 'G':
        emphasized = (p[2] & 1) != 0;
        return;
      case 'F':
      case 'M':
        font = p[2] & 1;
        return;
      case 'J':
        if (page_mode) {
          PageLineFeed(DotsAcross(p[2]), false);
        } else {
          PrintLine(false, DotsY(p[2]));
        }
        return;
      case 'd':
        if (page_mode) {
          for (int i = 0; i < p[2]; ++i) PageLineFeed(0, true);
        } else if (p[2] == 0) {
          if (line_content) PrintLine(false);
        } else {
          for (int i = 0; i < p[2]; ++i) PrintLine(true);
        }
        return;
      case 'L':
        EnterPageMode();
        return;
      case 'S':
        if (page_mode) {
          page_mode = false;
          area.Reset(0, 0);
          ClearLine();
        }
        return;
      case 'T':
        direction = p[2] & 3;
        if (page_mode) StartArea();
        return;
      case 'W':
        SetArea(p + 2);
        return;
      case FF:
        if (page_mode) PrintArea();
        return;
      case 'a':
        justify = (p[2] & 3) == 3 ? 0 : (p[2] & 3);
        return;
      case 'i':
        CutPaper(Cut::kFull, 0);
        return;
      case 'm':
        CutPaper(Cut::kPartial, 0);
        return;
      case 'D':
        tabs.clear();
        for (size_t i = 2; i < cmd.size() && cmd[i] != 0; ++i)
          if (tabs.empty() || cmd[i] > tabs.back()) tabs.push_back(cmd[i]);
        return;
      case '*': {
        image_m = p[2];
        image_columns = U16(p + 3);
        if (image_m != 0 && image_m != 1 && image_m != 32 && image_m != 33) {
          Refuse(cmd_offset, "ESC * with mode " + std::to_string(image_m) + "; ignored");
          Unknown(cmd_offset, cmd.size());
          return;
        }
        StartPayload(Payload::kBitImage,
                     uint64_t{static_cast<unsigned>(image_columns)} * (image_m >= 32 ? 3 : 1),
                     true);
        payload_offset = cmd_offset;
        return;
      }
      case '&':
        user_char_y = p[2];
        user_chars_left = p[4] >= p[3] ? p[4] - p[3] + 1 : 0;
        if (user_chars_left > 0) StartPayload(Payload::kUserCharWidth, 1, true);
        return;
      default:
        return;  // known by length, nothing to print: ESC R, t, p, c, U, V, e, r, K, ...
    }
  }

  void Fs(const uint8_t* p) {
    switch (p[1]) {
      case '&':
        chinese = true;
        return;
      case '.':
        chinese = false;
        return;
      case 'p':
        PrintFlashLogo(p[2], p[3]);
        return;
      case 'q':
        flash_expected = p[2];
        flash_incoming.clear();
        flash_used = 0;
        payload_offset = cmd_offset;
        if (flash_expected == 0) {
          Refuse(cmd_offset, "FS q defining no image; ignored");
          return;
        }
        StartPayload(Payload::kFlashHeader, 4, true);
        return;
      default:
        return;
    }
  }

  void Gs(const uint8_t* p) {
    switch (p[1]) {
      case '!':
        width_mul = Mul(p[2] >> 4);
        height_mul = Mul(p[2]);
        return;
      case '#':
        ram_logo = p[2];
        return;
      case '$':
        if (page_mode) {
          const int64_t d = DotsAcross(U16(p + 2));
          if (d < LogicalHeight()) {
            v = static_cast<int>(d);
            v_set = true;
          }
        }
        return;
      case '\\':
        if (page_mode) {
          const int64_t d = v + DotsAcross(static_cast<int16_t>(U16(p + 2)));
          if (d >= 0 && d < LogicalHeight()) {
            v = static_cast<int>(d);
            v_set = true;
          }
        }
        return;
      case '*': {
        ram_x = p[2];
        ram_y = p[3];
        const uint64_t size = uint64_t{p[2]} * p[3] * 8;
        payload_offset = cmd_offset;
        if (ram_x == 0 || ram_y == 0 || ram_x > kRamLogoMaxX || ram_y > kRamLogoMaxY ||
            ram_x * ram_y > kRamLogoMaxXY) {
          Refuse(cmd_offset, "GS * " + std::to_string(ram_x) + " x " + std::to_string(ram_y) +
                                 " larger than the RAM logo memory; refused");
          StartPayload(Payload::kSkip, size, false);
        } else {
          StartPayload(Payload::kRamLogo, size, true);
        }
        return;
      }
      case '/':
        PrintRamLogo(p[2]);
        return;
      case 'B':
        reverse = (p[2] & 1) != 0;
        return;
      case 'H':
        hri_position = p[2] & 3;
        return;
      case 'f':
        hri_font = p[2] & 1;
        return;
      case 'h':
        if (p[2] >= 1) barcode_height = p[2];
        return;
      case 'w':
        if (p[2] >= 1 && p[2] <= 6)
          barcode_module = p[2];
        else
          Refuse(cmd_offset, "GS w " + std::to_string(p[2]) + " out of range; ignored");
        return;
      case 'I':
        switch (p[2]) {
          case 1:
          case '1':
            Reply(0x20);
            break;
          case 2:
          case '2':
            Reply(0x02);
            break;
          case 3:
          case '3':
            Reply(0x64);
            break;
          default:
            break;
        }
        return;
      case 'r':
        switch (p[2]) {
          case 1:
          case '1':
            Reply(static_cast<uint8_t>((status.paper_near_end ? 0x03 : 0) |
                                       (status.paper_out ? 0x0C : 0)));
            break;
          case 2:
          case '2':
          case 4:
          case '4':
            Reply(0x00);
            break;
          default:
            Refuse(cmd_offset, "GS r " + std::to_string(p[2]) + " has no answer");
            break;
        }
        return;
      case 'L':
        left_margin = static_cast<int>(std::min<int64_t>(DotsX(U16(p + 2)), paper() - 1));
        if (!line_content) line_x = LineLeft();
        return;
      case 'W':
        print_width = static_cast<int>(std::clamp<int64_t>(DotsX(U16(p + 2)), 1, paper()));
        return;
      case 'P':
        SetUnits(p[2], p[3]);
        return;
      case 'V': {
        const uint8_t m = p[2];
        const bool partial = (m & 1) != 0 || m == 'B' || m == 'b' || m == 'h';
        const int64_t feed = cmd.size() > 3 ? DotsY(p[3]) : 0;
        CutPaper(partial && m != 'A' && m != 'a' && m != 'g' ? Cut::kPartial : Cut::kFull, feed);
        return;
      }
      case 'k':
        barcode_m = p[2];
        payload_offset = cmd_offset;
        if (barcode_m <= 6) {
          PrintBarcode(std::span<const uint8_t>(cmd.data() + 3, cmd.size() - 4));
        } else {
          StartPayload(Payload::kBarcodeData, p[3], true);
        }
        return;
      case 'v': {
        const uint8_t m = p[3];
        raster_bytes = U16(p + 4);
        raster_rows = U16(p + 6);
        raster_xm = (m & 1) + 1;
        raster_ym = ((m >> 1) & 1) + 1;
        raster_row = 0;
        payload_offset = cmd_offset;
        if (raster_bytes == 0 || raster_rows == 0) return;
        if (raster_bytes > kMaxRasterBytes || raster_rows > kMaxRasterRows) {
          // Larger than the printer takes: the header is refused and what follows it is
          // read as commands again, rather than swallowing up to 4 GB of input.
          Refuse(cmd_offset, "GS v 0 of " + std::to_string(raster_bytes) + " x " +
                                 std::to_string(raster_rows) +
                                 " bytes larger than the image memory; refused");
          return;
        }
        const int w = raster_bytes * 8 * raster_xm;
        const int h = raster_rows * raster_ym;
        if (page_mode) {
          raster_top = PageTop(h);
          raster_left = u;
          u += w;
        } else {
          if (line_content) PrintLine(false);
          int x = line_x;
          if (justify == 1) x = LineLeft() + (LineRight() - LineLeft() - w) / 2;
          if (justify == 2) x = LineRight() - w;
          raster_left = std::max(x, 0);
        }
        StartPayload(Payload::kRasterRow, static_cast<uint64_t>(raster_bytes), true);
        return;
      }
      case '(':
        StartPayload(Payload::kSkip, U16(p + 3), false);
        return;
      case '8': {
        const uint64_t size =
            uint64_t{p[3]} | uint64_t{p[4]} << 8 | uint64_t{p[5]} << 16 | uint64_t{p[6]} << 24;
        if (size > kMaxGraphicsBytes) {
          Refuse(cmd_offset, "GS 8 L of " + std::to_string(size) +
                                 " bytes larger than the graphics memory; refused");
          return;
        }
        StartPayload(Payload::kSkip, size, false);
        return;
      }
      default:
        return;
    }
  }

  TILLVANE_DOT_LOOP void RasterRowDone() {
    const std::vector<uint8_t>& row = payload_bytes;
    const int w = raster_bytes * 8;
    auto dot = [&row](int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; };
    if (page_mode) {
      for (int x = 0; x < w; ++x)
        if (dot(x))
          for (int dy = 0; dy < raster_ym; ++dy)
            for (int dx = 0; dx < raster_xm; ++dx)
              PlotPage(raster_left + x * raster_xm + dx, raster_top + raster_row * raster_ym + dy);
    } else {
      Bitmap band(paper(), raster_ym);
      for (int x = 0; x < w && raster_left + x * raster_xm < paper(); ++x)
        if (dot(x))
          for (int dy = 0; dy < raster_ym; ++dy)
            for (int dx = 0; dx < raster_xm; ++dx) band.Set(raster_left + x * raster_xm + dx, dy);
      AppendRows(band, 0, raster_ym);
    }
    if (++raster_row < raster_rows) {
      StartPayload(Payload::kRasterRow, static_cast<uint64_t>(raster_bytes), true);
    } else if (!page_mode) {
      ClearLine();
    }
  }

  void BitImageDone() {
    const int bytes = image_m >= 32 ? 3 : 1;
    const int xm = (image_m & 1) ? 1 : 2;
    const int ym = image_m >= 32 ? 1 : 3;
    const int h = bytes * 8;
    const std::vector<uint8_t>& d = payload_bytes;
    auto dot = [&](int x, int y) {
      return (d[static_cast<size_t>(x) * bytes + (y >> 3)] >> (7 - (y & 7))) & 1;
    };
    const int w = image_columns * xm;
    if (page_mode) {
      const int top = PageTop(h * ym);
      Stamp(image_columns, h, xm, ym, u, top, dot);
      u += w;
    } else {
      // Part of the line, like characters.
      const int top = kLineRows - h * ym;
      Stamp(image_columns, h, xm, ym, line_x, top, dot);
      line_x = std::min(line_x + w, LineRight());
      line_height = std::max(line_height, h * ym);
      line_content = true;
    }
  }

  void FlashHeaderDone() {
    const uint8_t* h = payload_bytes.data();
    flash_x = U16(h);
    flash_y = U16(h + 2);
    const uint64_t size = uint64_t{static_cast<unsigned>(flash_x)} * flash_y * 8;
    if (flash_x < 1 || flash_x > kFlashMaxX || flash_y < 1 || flash_y > kFlashMaxY) {
      // No printer takes such an image: the whole definition is refused, the flash keeps
      // what it held, and what follows is read as commands again.
      Refuse(payload_offset, "FS q image " + std::to_string(flash_incoming.size() + 1) + " (" +
                                 std::to_string(flash_x) + " x " + std::to_string(flash_y) +
                                 ") out of range; the definition is refused");
      flash_incoming.clear();
      return;
    }
    flash_accept = flash_used + size <= kFlashCapacity;
    if (!flash_accept) {
      Refuse(payload_offset, "FS q image " + std::to_string(flash_incoming.size() + 1) + " (" +
                                 std::to_string(flash_x) + " x " + std::to_string(flash_y) +
                                 ") larger than the flash memory; refused");
    }
    StartPayload(Payload::kFlashData, size, flash_accept);
  }

  void FlashDataDone() {
    ColumnImage logo;
    if (flash_accept) {
      logo.columns = flash_x * 8;
      logo.bands = flash_y;
      logo.data = std::move(payload_bytes);
      flash_used += logo.data.size();
    }
    flash_incoming.push_back(std::move(logo));
    if (static_cast<int>(flash_incoming.size()) < flash_expected) {
      StartPayload(Payload::kFlashHeader, 4, true);
      return;
    }
    flash_logos = std::move(flash_incoming);
    flash_incoming.clear();
    if (!options.flash_store.empty()) {
      std::string error;
      if (!SaveFlashLogos(options.flash_store, flash_logos, &error))
        Refuse(payload_offset, "flash logos not stored: " + error);
    }
  }

  void PrintBarcode(std::span<const uint8_t> data) {
#if TILLVANE_RENDER_BARCODE
    BarcodeRequest request;
    request.m = barcode_m;
    request.data = data;
    request.module = barcode_module;
    request.height = barcode_height;
    const BarcodeImage img = RenderBarcode(request);
    if (!img.ok) {
      Refuse(payload_offset, "GS k " + std::to_string(barcode_m) + ": " + img.error);
      return;
    }
    // Bars with the human-readable text above, below or both, in the GS f font.
    const Face face = hri_font == 1 ? Face::kB : Face::kA;
    const CellSize cell = CellOf(face);
    const bool above = (hri_position & 1) != 0 && !img.hriText.empty();
    const bool below = (hri_position & 2) != 0 && !img.hriText.empty();
    const int text_w = static_cast<int>(img.hriText.size()) * cell.width;
    const int w = std::max(img.width, text_w);
    const int gap = 2;
    const int h = img.height + (above ? cell.height + gap : 0) + (below ? cell.height + gap : 0);
    Bitmap pic(w, h);
    const int bars_top = above ? cell.height + gap : 0;
    const int bars_left = (w - img.width) / 2;
    for (int y = 0; y < img.height; ++y)
      for (int x = 0; x < img.width; ++x)
        if (img.dots[static_cast<size_t>(y) * img.width + x]) pic.Set(bars_left + x, bars_top + y);
    auto text = [&](int top) {
      int x = (w - text_w) / 2;
      for (char ch : img.hriText) {
        const std::shared_ptr<const Glyph> g = GlyphFor(face, static_cast<uint8_t>(ch));
        for (int gy = 0; gy < g->height; ++gy)
          for (int gx = 0; gx < g->width; ++gx)
            if (g->dots[static_cast<size_t>(gy) * g->width + gx]) pic.Set(x + gx, top + gy);
        x += cell.width;
      }
    };
    if (above) text(0);
    if (below) text(bars_top + img.height + gap);
    PlaceImage(w, h, 1, 1, [&pic](int x, int y) { return pic.Get(x, y); });
#else
    // The bar code drawing (render/barcode) is not part of this build: the command is
    // taken whole and reported.
    Refuse(payload_offset, "GS k " + std::to_string(barcode_m) + " with " +
                               std::to_string(data.size()) + " data bytes: bar codes not drawn");
#endif
  }

  void PayloadDone() {
    const Payload kind = payload;
    payload = Payload::kNone;
    switch (kind) {
      case Payload::kRamLogo: {
        ColumnImage logo;
        logo.columns = ram_x * 8;
        logo.bands = ram_y;
        logo.data = std::move(payload_bytes);
        ram_logos[ram_logo] = std::move(logo);
        break;
      }
      case Payload::kBitImage:
        BitImageDone();
        break;
      case Payload::kRasterRow:
        RasterRowDone();
        break;
      case Payload::kFlashHeader:
        FlashHeaderDone();
        break;
      case Payload::kFlashData:
        FlashDataDone();
        break;
      case Payload::kUserCharWidth:
        StartPayload(Payload::kUserCharData,
                     uint64_t{static_cast<unsigned>(user_char_y)} * payload_bytes[0], false);
        break;
      case Payload::kUserCharData:
        if (--user_chars_left > 0) StartPayload(Payload::kUserCharWidth, 1, true);
        break;
      case Payload::kBarcodeData:
        PrintBarcode(payload_bytes);
        break;
      case Payload::kSkip:
      case Payload::kNone:
        break;
    }
  }

  void Feed(const uint8_t* bytes, size_t size) {
    size_t i = 0;
    while (i < size) {
      if (payload != Payload::kNone) {
        const size_t take = static_cast<size_t>(std::min<uint64_t>(payload_left, size - i));
        if (payload_collect) payload_bytes.insert(payload_bytes.end(), bytes + i, bytes + i + take);
        i += take;
        offset += take;
        report.bytes += take;
        payload_left -= take;
        if (payload_left == 0) PayloadDone();
        continue;
      }
      Byte(bytes[i]);
      ++i;
      ++offset;
      ++report.bytes;
    }
  }

  void Finish() {
    if (gbk_lead >= 0) {
      Unknown(gbk_offset, 1);
      gbk_lead = -1;
    }
    if (!cmd.empty()) {
      Refuse(cmd_offset, "command cut short by the end of the input");
      Unknown(cmd_offset, cmd.size());
      cmd.clear();
    }
    if (payload != Payload::kNone) {
      Refuse(payload_offset, "image or data cut short by the end of the input");
      payload = Payload::kNone;
      payload_left = 0;
      payload_bytes.clear();
      flash_incoming.clear();
      if (!page_mode) ClearLine();
    }
    if (!page_mode && line_content) PrintLine(true);
    if (page_mode && area.width() > 0) {
      bool any = false;
      for (uint8_t b : area.bits()) any = any || b != 0;
      if (any) Refuse(offset, "page-mode data never printed (no FF or ESC FF)");
    }
    EmitPage(Cut::kNone, false);
  }
};

Printer::Printer(PrinterOptions options, PageSink sink)
    : impl_(std::make_unique<Impl>(std::move(options), std::move(sink))) {}
Printer::~Printer() = default;

void Printer::Feed(const uint8_t* bytes, size_t size) {
  if (bytes && size) impl_->Feed(bytes, size);
}
void Printer::Finish() {
  impl_->Finish();
}

size_t Printer::ReadReplies(uint8_t* out, size_t max) {
  size_t n = 0;
  while (n < max && !impl_->replies.empty()) {
    out[n++] = impl_->replies.front();
    impl_->replies.pop_front();
  }
  return n;
}
size_t Printer::PendingReplies() const {
  return impl_->replies.size();
}

void Printer::SetStatus(const PrinterStatus& status) {
  impl_->status = status;
}
PrinterStatus Printer::status() const {
  return impl_->status;
}
const Report& Printer::report() const {
  return impl_->report;
}
const Bitmap& Printer::CurrentPage() const {
  return impl_->roll;
}
void Printer::DiscardPaper() {
  impl_->roll = Bitmap(impl_->paper(), 0);
}
int Printer::paper_dots() const {
  return impl_->paper();
}

std::vector<int> Printer::RamLogoNumbers() const {
  std::vector<int> out;
  for (const auto& [n, logo] : impl_->ram_logos) out.push_back(n);
  return out;
}
size_t Printer::FlashLogoCount() const {
  return impl_->flash_logos.size();
}

}  // namespace tillvane::render
