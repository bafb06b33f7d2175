// The virtual printer's state and the drawing every command shares: the settings
// ESC @ restores, the line standard mode gathers, the page-mode area, the paper fed
// so far, the logos, and the report. The commands that act on it are in
// standard_mode.cpp, page_mode.cpp, images.cpp, barcodes.cpp, symbols.cpp and status.cpp, found
// through the table in command_table.cpp; parser.cpp hands them the commands the
// protocol's tokenizer cuts the input into.
//
// Internal to render/: nothing outside this folder includes it.
#pragma once

#include <algorithm>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "protocol/command_table.h"
#include "protocol/control_bytes.h"
#include "render/barcode/symbol2d.h"
#include "render/codepage.h"
#include "render/glyphs.h"
#include "render/graphics.h"
#include "render/logo_store.h"
#include "render/printer.h"

namespace tillvane::render {

using protocol::CAN, protocol::CR, protocol::DLE, protocol::EOT, protocol::ESC, protocol::FF,
    protocol::FS, protocol::GS, protocol::HT, protocol::LF, protocol::NAK, protocol::RS;

// Standard mode collects one line here before printing it; the line's content sits on
// the bottom row (its baseline).
inline constexpr int kLineRows = 8 * 24 * 2;
// Height of the page area before any ESC W, in dots.
inline constexpr int kDefaultAreaRows = 1662;
// Default line spacing (ESC 2): 1/6 inch.
inline constexpr int kDefaultLineSpacing = kDotsPerInch / 6;
// Rows of the dashed line a cut leaves at the bottom of its page.
inline constexpr int kCutLineRows = 2;

inline uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// One command as the tokenizer hands it out: its bytes from the introducer on, header
// and data (with the ending zero of a zero-ended command), the input offset of its
// first byte, and the row of the command table it was found by. A command whose data
// comes in parts (GS v 0 rows, FS q images, ESC & characters) arrives as its header
// (part 0) and then each part, whose bytes are those of the part alone.
struct Command {
  std::span<const uint8_t> bytes;
  uint64_t offset = 0;
  const protocol::CommandRow* row = nullptr;
  int part = 0;
  bool last = true;           // completes the command
  bool data_skipped = false;  // an FS q image too large to keep: its size header only

  uint8_t operator[](size_t i) const { return bytes[i]; }
  const uint8_t* data() const { return bytes.data(); }
  size_t size() const { return bytes.size(); }
};

// The settings ESC @ restores.
struct Settings {
  int font = 0;  // 0 font A, 1 font B
  int width_mul = 1, height_mul = 1;
  bool emphasized = false;
  int underline = 0;
  bool reverse = false;
  int char_spacing = 0;  // dots to the right of each character
  int line_spacing = kDefaultLineSpacing;
  int justify = 0;      // 0 left, 1 centre, 2 right
  bool chinese = true;  // double-byte (GBK) text; set from the profile by Initialise
  CodePage code_page = CodePageFor(0);         // ESC t: the upper half of single-byte text
  CharacterSet char_set = CharacterSetFor(0);  // ESC R: twelve national characters
  bool rotated = false;                        // ESC V: characters turned 90 degrees clockwise
  bool upside_down = false;                    // ESC {: standard-mode lines turned 180 degrees
  // The double-byte characters' own modes (FS !, FS W, FS -): a double-byte character is
  // at least this large and underlined at least this much, whatever ESC ! and ESC - say.
  int wide_width_mul = 1, wide_height_mul = 1;
  int wide_underline = 0;
  int wide_left = 0, wide_right = 0;  // FS S: dots before and after, on top of ESC SP
  int unit_x = kDotsPerInch, unit_y = kDotsPerInch;  // GS P: units per inch
  int left_margin = 0;
  int print_width = 0;    // dots from the left margin (the paper's width once restored)
  std::vector<int> tabs;  // tab stops in character columns; empty: every 8
  int barcode_module = 3, barcode_height = 162, hri_position = 0, hri_font = 0;
  int ram_logo = 0;  // GS # selection
  // GS ( k: the settings of every symbology (kind, data and line width unused) and the
  // data stored for each, by its symbol type byte cn.
  Symbol2dRequest symbols;
  std::map<uint8_t, std::vector<uint8_t>> symbol_data;
};

struct Machine : Settings {
  PrinterOptions options;
  Printer::PageSink sink;
  Report report;
  PrinterStatus status;
  std::deque<uint8_t> replies;

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
  std::vector<ColumnImage> flash_incoming;  // of the FS q definition arriving

  // Graphics (GS ( L, GS 8 L): the picture held in the print buffer until fn 50 prints
  // it (width 0: none), and the NV graphics memory, which ESC @ leaves alone.
  Bitmap buffer_graphic;
  NvGraphicsStore nv_graphics;

  // The raster image (GS v 0) whose rows are arriving.
  int raster_bytes = 0, raster_rows = 0, raster_row = 0, raster_xm = 1, raster_ym = 1;
  int raster_left = 0, raster_top = 0;

  // Code pages (ESC t) and character sets (ESC R) already reported as missing.
  std::bitset<256> missing_code_pages, missing_char_sets;

  Machine(PrinterOptions o, Printer::PageSink s);

  int paper() const { return options.paper_dots; }

  // --- reports and the parser (machine.cpp) ------------------------------------------

  void Unknown(uint64_t at, uint64_t count);
  void Refuse(uint64_t at, const std::string& what);
  // A command taken without drawing what it asks for; `why` defaults to "not drawn".
  void NotDrawn(const Command& c, const std::string& why = "not drawn");
  // The same for a command named here rather than by its row ("GS ( k cn 50 fn 81").
  void NotDrawn(const std::string& name, uint64_t at, const std::string& why);
  void Reply(uint8_t b);
  // The input ended within a command's data (refused by the parser): the pending line
  // of standard mode and the flash logos arriving are dropped.
  void DataCutShort();
  // End of the input after the parser's own checks; `offset` is the input's length.
  void Finish(uint64_t offset);

  // --- settings and paper (machine.cpp) ----------------------------------------------

  void Initialise();
  void EmitPage(Cut cut, bool continued);
  void MakeRoom() {
    if (roll.height() >= kMaxPageRows) EmitPage(Cut::kNone, true);
  }
  void FeedRows(int64_t rows);
  // Room for `rows` more rows of the roll in one allocation.
  void Reserve(int rows);
  // Appends rows [from, to) of `band` (paper wide) to the roll.
  void AppendRows(const Bitmap& band, int from, int to);
  void CutPaper(Cut kind, int64_t feed);

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

  // Where something `w` dots wide starts in standard mode: at `left` when the line is
  // left justified, else centred or put against the right end of the print width
  // (ESC a).
  int Justified(int left, int w) const {
    if (justify == 1) return LineLeft() + (LineRight() - LineLeft() - w) / 2;
    if (justify == 2) return LineRight() - w;
    return left;
  }

  // --- standard mode (standard_mode.cpp) ---------------------------------------------

  void ClearLine();
  // The dot loops of a line and a character: the line moved right by `shift`, a
  // character's underline and reverse.
  void ShiftLine(int shift, int h);
  void Underline(int left, int top, int w, int h);
  void Reverse(int left, int top, int w, int h);
  // Turns the line's bottom `h` rows 180 degrees within the print width (ESC {).
  void TurnLine(int h);
  // Prints the gathered line and feeds: with `lf`, the line spacing (at least the
  // line's height, or one character when the line is empty); otherwise `feed` dots, at
  // least the line's height.
  void PrintLine(bool lf, int64_t feed = 0);
  // Prints a pending line before a feed of its own.
  void EndLine() {
    if (!page_mode && line_content) PrintLine(false);
  }
  // Draws a glyph scaled xm x ym with `underline_rows` under it, `before` dots to its left
  // and `spacing` dots to its right (both scaled as well), turned as ESC V says.
  void DrawChar(const Glyph* g, int xm, int ym, int underline_rows, int spacing, int before = 0);
  // A character of one byte, and a double-byte (GBK) one.
  void PrintSingle(uint8_t b);
  void PrintDouble(uint8_t lead, uint8_t trail);

  // Prints a picture as a band of its own in standard mode, at the print position or
  // where the justification puts it.
  template <class Dot>
  TILLVANE_DOT_LOOP void PrintBand(int w, int h, Dot dot) {
    if (line_content) PrintLine(false);
    const int x = std::max(Justified(line_x, w), 0);
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

  // --- page mode (page_mode.cpp) -----------------------------------------------------

  // The dot of the area at (pu, pv) along and across the text, turned by the print
  // direction (ESC T); false when it lies outside the area.
  bool ToArea(int pu, int pv, int* x, int* y) const {
    if (pu < 0 || pv < 0 || pu >= LogicalWidth() || pv >= LogicalHeight()) return false;
    switch (direction) {
      case 0:
        *x = pu, *y = pv;
        break;
      case 1:  // from the lower left, bottom to top
        *x = pv, *y = area_h - 1 - pu;
        break;
      case 2:  // from the lower right, upside down
        *x = area_w - 1 - pu, *y = area_h - 1 - pv;
        break;
      default:  // from the upper right, top to bottom
        *x = area_w - 1 - pv, *y = pu;
        break;
    }
    return true;
  }
  TILLVANE_DOT_LOOP void PlotPage(int pu, int pv) {
    int x, y;
    if (ToArea(pu, pv, &x, &y)) area.Set(x, y);
  }
  TILLVANE_DOT_LOOP void FlipPage(int pu, int pv) {
    int x, y;
    if (ToArea(pu, pv, &x, &y)) area.Flip(x, y);
  }
  TILLVANE_DOT_LOOP void Plot(int x, int y) {
    if (page_mode)
      PlotPage(x, y);
    else
      line.Set(x, y);
  }

  void StartArea();
  void EnterPageMode();
  void LeavePageMode();
  void PrintArea();
  void PageLineFeed(int64_t feed, bool lf);
  // Where a picture h dots high goes in page mode: its bottom on the print position;
  // before any vertical position is given, the first line starts at the area's top.
  int PageTop(int h);
  void SetArea(const Command& c);

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

  // --- images, bar codes, status (images.cpp, barcodes.cpp, status.cpp) -------------

  void PlaceLogo(const ColumnImage& logo, uint8_t m);
  // A picture of graphics (GS ( L fn 50 and 69), placed as a raster image is.
  void PlaceGraphic(const Bitmap& dots) {
    PlaceImage(dots.width(), dots.height(), 1, 1, [&dots](int x, int y) { return dots.Get(x, y); });
  }
  // A bar code of type `type` (GS k m) for the command at `at`.
  void PrintBarcode(uint8_t type, std::span<const uint8_t> data, uint64_t at);
  void StatusReply(uint8_t n, uint64_t at);

  // --- two-dimensional symbols (symbols.cpp) -----------------------------------------

  // Dots a symbol may take from where it would start: the print width from the line's
  // start or the justification's, or the page area's width from the print position.
  int SymbolRoom() const;
};

}  // namespace tillvane::render
