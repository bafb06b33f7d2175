// Standard mode: characters gathered into a line, the line printed and the paper fed,
// and the settings of characters and lines.
#include <string>

#include "render/handlers.h"
#include "render/machine.h"

namespace tillvane::render {
namespace {

int Mul(uint8_t size_bits) {
  return (size_bits & 7) + 1;
}

// n of the commands that take 0/1/2 or '0'/'1'/'2'.
int Digit(uint8_t n) {
  return n >= '0' && n <= '9' ? n - '0' : n;
}

}  // namespace

void Machine::ClearLine() {
  line.Clear();
  line_x = LineLeft();
  line_height = 0;
  line_content = false;
}

TILLVANE_DOT_LOOP void Machine::TurnLine(int h) {
  const int left = LineLeft(), right = LineRight(), top = kLineRows - h;
  Bitmap turned(paper(), kLineRows);
  for (int y = top; y < kLineRows; ++y)
    for (int x = left; x < right; ++x)
      if (line.Get(x, y)) turned.Set(left + right - 1 - x, top + kLineRows - 1 - y);
  line = std::move(turned);
}

TILLVANE_DOT_LOOP void Machine::ShiftLine(int shift, int h) {
  Bitmap moved(paper(), kLineRows);
  for (int y = kLineRows - h; y < kLineRows; ++y)
    for (int x = 0; x < paper(); ++x)
      if (line.Get(x, y)) moved.Set(x + shift, y);
  line = std::move(moved);
}

void Machine::PrintLine(bool lf, int64_t feed) {
  const int h = line_content ? std::min(line_height, kLineRows) : 0;
  if (h > 0) {
    // The line's content runs from the left margin to line_x.
    const int shift = Justified(LineLeft(), line_x - LineLeft()) - LineLeft();
    if (shift > 0) ShiftLine(shift, h);
    if (upside_down) TurnLine(h);
    AppendRows(line, kLineRows - h, kLineRows);
  }
  int64_t advance = lf ? std::max<int64_t>(line_spacing, line_content ? h : CellHeight())
                       : std::max<int64_t>(feed, h);
  FeedRows(advance - h);
  ClearLine();
}

void Machine::DrawChar(const Glyph* g, int xm, int ym, int underline_rows, int spacing,
                       int before) {
  // Turned 90 degrees clockwise in standard mode (ESC V): the glyph scaled, then turned,
  // so that double height widens it on the paper; turned characters are not underlined.
  const bool turn = rotated && !page_mode;
  const int gw = turn ? g->height : g->width, gh = turn ? g->width : g->height;
  const int sx = turn ? ym : xm, sy = turn ? xm : ym;
  const int w = gw * sx, h = gh * sy;
  spacing *= xm;
  before *= xm;
  if (turn) underline_rows = 0;
  int left, top;
  if (page_mode) {
    if (u > 0 && u + before + w > LogicalWidth()) PageLineFeed(0, true);
    top = PageTop(h);
    left = u + before;
    u += before + w + spacing;
  } else {
    if (line_x > LineLeft() && line_x + before + w > LineRight()) PrintLine(true);
    left = line_x + before;
    top = kLineRows - h;
    line_x += before + w + spacing;
    line_height = std::max(line_height, h);
    line_content = true;
  }
  const int gheight = g->height;
  auto dot = [g](int x, int y) { return g->dots[static_cast<size_t>(y) * g->width + x] != 0; };
  auto turned = [g, gheight](int x, int y) {
    return g->dots[static_cast<size_t>(gheight - 1 - x) * g->width + y] != 0;
  };
  // Emphasis doubles each dot one to the right of the glyph: downwards once turned.
  for (int bold = 0; bold <= (emphasized ? 1 : 0); ++bold) {
    if (turn)
      Stamp(gw, gh, sx, sy, left, top + bold, turned);
    else
      Stamp(gw, gh, sx, sy, left + bold, top, dot);
  }
  if (underline_rows > 0) Underline(left, top + h - underline_rows, w + spacing, underline_rows);
  if (reverse) Reverse(left, top, w + spacing, h);
}

TILLVANE_DOT_LOOP void Machine::Underline(int left, int top, int w, int h) {
  for (int y = top; y < top + h; ++y)
    for (int x = left; x < left + w; ++x) Plot(x, y);
}

TILLVANE_DOT_LOOP void Machine::Reverse(int left, int top, int w, int h) {
  for (int y = top; y < top + h; ++y)
    for (int x = left; x < left + w; ++x) {
      if (page_mode) {
        // Reverse in page mode: flip through the same turn as Plot.
        FlipPage(x, y);
      } else {
        line.Flip(x, y);
      }
    }
}

void Machine::PrintSingle(uint8_t b) {
  const char32_t cp = b < 0x80 ? char_set.Apply(b) : code_page.Decode(b);
  DrawChar(GlyphFor(SingleFace(), cp == 0 ? U'?' : cp).get(), width_mul, height_mul, underline,
           char_spacing);
}

void Machine::PrintDouble(uint8_t lead, uint8_t trail) {
  const char32_t cp = DecodeGbk(lead, trail);
  DrawChar(GlyphFor(Face::kWide, cp == 0 ? U'\u25A1' : cp).get(),
           std::max(width_mul, wide_width_mul), std::max(height_mul, wide_height_mul),
           std::max(underline, wide_underline), char_spacing + wide_right, wide_left);
}

// --- commands --------------------------------------------------------------------------

void HorizontalTab(Machine& m, const Command&) {
  const int cell = CellOf(m.SingleFace()).width * m.width_mul + m.char_spacing * m.width_mul;
  const int pos = m.page_mode ? m.u : m.line_x - m.LineLeft();
  int next = -1;
  if (m.tabs.empty()) {
    next = (pos / (8 * cell) + 1) * 8 * cell;
  } else {
    for (int t : m.tabs)
      if (t * cell > pos) {
        next = t * cell;
        break;
      }
  }
  if (next < 0) return;
  if (m.page_mode) {
    if (next < m.LogicalWidth()) m.u = next;
  } else if (m.LineLeft() + next < m.LineRight()) {
    m.line_x = m.LineLeft() + next;
  }
}

void LineFeed(Machine& m, const Command&) {
  if (m.page_mode)
    m.PageLineFeed(0, true);
  else
    m.PrintLine(true);
}

void FeedDots(Machine& m, const Command& c) {
  m.EndLine();
  m.FeedRows(m.DotsY(c[1]));
}

void EscCharSpacing(Machine& m, const Command& c) {
  m.char_spacing = static_cast<int>(m.DotsX(c[2]));
}

void EscPrintMode(Machine& m, const Command& c) {
  m.font = c[2] & 1;
  m.emphasized = (c[2] & 0x08) != 0;
  m.height_mul = (c[2] & 0x10) ? 2 : 1;
  m.width_mul = (c[2] & 0x20) ? 2 : 1;
  m.underline = (c[2] & 0x80) ? 1 : 0;
}

void EscAbsolutePosition(Machine& m, const Command& c) {
  const int64_t n = U16(c.data() + 2);
  if (m.page_mode) {
    const int64_t d = m.DotsAlong(n);
    if (d < m.LogicalWidth()) m.u = static_cast<int>(d);
  } else {
    const int64_t d = m.LineLeft() + m.DotsX(n);
    if (d < m.LineRight()) m.line_x = static_cast<int>(d);
  }
}

void EscRelativePosition(Machine& m, const Command& c) {
  const int64_t n = static_cast<int16_t>(U16(c.data() + 2));
  if (m.page_mode) {
    const int64_t d = m.u + m.DotsAlong(n);
    if (d >= 0 && d < m.LogicalWidth()) m.u = static_cast<int>(d);
  } else {
    const int64_t d = m.line_x + m.DotsX(n);
    if (d >= m.LineLeft() && d < m.LineRight()) m.line_x = static_cast<int>(d);
  }
}

void EscUnderline(Machine& m, const Command& c) {
  m.underline = (c[2] == 1 || c[2] == '1') ? 1 : (c[2] == 2 || c[2] == '2') ? 2 : 0;
}

void EscDefaultLineSpacing(Machine& m, const Command&) {
  m.line_spacing = kDefaultLineSpacing;
}

void EscLineSpacing(Machine& m, const Command& c) {
  m.line_spacing = static_cast<int>(m.page_mode ? m.DotsAcross(c[2]) : m.DotsY(c[2]));
}

void EscEmphasized(Machine& m, const Command& c) {
  m.emphasized = (c[2] & 1) != 0;
}

void EscFont(Machine& m, const Command& c) {
  m.font = c[2] & 1;
}

void EscFeedDots(Machine& m, const Command& c) {
  if (m.page_mode)
    m.PageLineFeed(m.DotsAcross(c[2]), false);
  else
    m.PrintLine(false, m.DotsY(c[2]));
}

void EscFeedLines(Machine& m, const Command& c) {
  if (m.page_mode) {
    for (int i = 0; i < c[2]; ++i) m.PageLineFeed(0, true);
  } else if (c[2] == 0) {
    if (m.line_content) m.PrintLine(false);
  } else {
    for (int i = 0; i < c[2]; ++i) m.PrintLine(true);
  }
}

void EscJustify(Machine& m, const Command& c) {
  m.justify = (c[2] & 3) == 3 ? 0 : (c[2] & 3);
}

void EscTabStops(Machine& m, const Command& c) {
  m.tabs.clear();
  for (size_t i = 2; i < c.size() && c[i] != 0; ++i)
    if (m.tabs.empty() || c[i] > m.tabs.back()) m.tabs.push_back(c[i]);
}

void GsCharSize(Machine& m, const Command& c) {
  m.width_mul = Mul(c[2] >> 4);
  m.height_mul = Mul(c[2]);
}

void GsReverse(Machine& m, const Command& c) {
  m.reverse = (c[2] & 1) != 0;
}

void GsLeftMargin(Machine& m, const Command& c) {
  m.left_margin = static_cast<int>(std::min<int64_t>(m.DotsX(U16(c.data() + 2)), m.paper() - 1));
  if (!m.line_content) m.line_x = m.LineLeft();
}

void GsPrintWidth(Machine& m, const Command& c) {
  m.print_width = static_cast<int>(std::clamp<int64_t>(m.DotsX(U16(c.data() + 2)), 1, m.paper()));
}

void FsDoubleByteOn(Machine& m, const Command&) {
  m.chinese = true;
}

void FsDoubleByteOff(Machine& m, const Command&) {
  m.chinese = false;
}

void EscCodeTable(Machine& m, const Command& c) {
  const uint8_t n = c[2];
  m.code_page = CodePageFor(n);
  if (!m.code_page.known && !m.missing_code_pages[n]) {
    m.missing_code_pages.set(n);
    m.NotDrawn(c, "code page " + std::to_string(n) + " not available, drawn as PC437");
  }
}

void EscCharacterSet(Machine& m, const Command& c) {
  const uint8_t n = c[2];
  m.char_set = CharacterSetFor(n);
  if (!m.char_set.known && !m.missing_char_sets[n]) {
    m.missing_char_sets.set(n);
    m.NotDrawn(c, "character set " + std::to_string(n) + " not available, drawn as USA");
  }
}

void EscRotate(Machine& m, const Command& c) {
  const int n = Digit(c[2]);
  m.rotated = n == 1 || n == 2;  // 2: turned with one dot between characters, as 1 here
}

void EscUpsideDown(Machine& m, const Command& c) {
  // Taken at the start of a line only: a line is printed one way or the other.
  if (m.page_mode || !m.line_content) m.upside_down = (c[2] & 1) != 0;
}

void EscCharacterTableUser(Machine& m, const Command& c) {
  if (c[2] & 1) m.NotDrawn(c, "user-defined characters not kept; drawn from the fonts");
}

void EscColour(Machine& m, const Command& c) {
  if (c[2] & 1) m.NotDrawn(c, "second colour drawn black");
}

void FeedBack(Machine& m, const Command& c) {
  m.EndLine();
  m.NotDrawn(c, "printed; feeding back not drawn");
}

void GsLineStart(Machine& m, const Command& c) {
  if (m.page_mode) return;
  const int n = Digit(c[2]);
  if (n == 0)
    m.ClearLine();
  else if (n == 1 && m.line_content)
    m.PrintLine(true);
}

void FsPrintMode(Machine& m, const Command& c) {
  m.wide_width_mul = (c[2] & 0x04) ? 2 : 1;
  m.wide_height_mul = (c[2] & 0x08) ? 2 : 1;
  m.wide_underline = (c[2] & 0x80) ? 1 : 0;
}

void FsUnderline(Machine& m, const Command& c) {
  const int n = Digit(c[2]);
  m.wide_underline = n == 1 || n == 2 ? n : 0;
}

void FsSpacing(Machine& m, const Command& c) {
  m.wide_left = static_cast<int>(m.DotsX(c[2]));
  m.wide_right = static_cast<int>(m.DotsX(c[3]));
}

void FsQuadruple(Machine& m, const Command& c) {
  m.wide_width_mul = m.wide_height_mul = (c[2] & 1) ? 2 : 1;
}

}  // namespace tillvane::render
