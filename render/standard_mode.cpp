// Standard mode: characters gathered into a line, the line printed and the paper fed,
// and the settings of characters and lines.
#include "render/handlers.h"
#include "render/machine.h"

namespace tillvane::render {
namespace {

int Mul(uint8_t size_bits) {
  return (size_bits & 7) + 1;
}

}  // namespace

void Machine::ClearLine() {
  line.Clear();
  line_x = LineLeft();
  line_height = 0;
  line_content = false;
}

void Machine::PrintLine(bool lf, int64_t feed) {
  const int h = line_content ? std::min(line_height, kLineRows) : 0;
  if (h > 0) {
    // The line's content runs from the left margin to line_x.
    const int shift = Justified(LineLeft(), line_x - LineLeft()) - LineLeft();
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

void Machine::DrawChar(const Glyph* g) {
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

void Machine::PrintSingle(uint8_t b) {
  const char32_t cp = b < 0x80 ? char32_t{b} : DecodeCp437(b);
  DrawChar(GlyphFor(SingleFace(), cp == 0 ? U'?' : cp).get());
}

void Machine::PrintDouble(uint8_t lead, uint8_t trail) {
  const char32_t cp = DecodeGbk(lead, trail);
  DrawChar(GlyphFor(Face::kWide, cp == 0 ? U'\u25A1' : cp).get());
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

// User-defined characters are taken and passed over: the printer keeps its own.
void EscUserChars(Machine& m, const Command& c) {
  m.user_char_y = c[2];
  m.user_chars_left = c[4] >= c[3] ? c[4] - c[3] + 1 : 0;
  if (m.user_chars_left > 0) m.Expect(Payload::kUserCharWidth, 1, true);
}

void UserCharWidthDone(Machine& m, std::vector<uint8_t>& data) {
  m.Expect(Payload::kUserCharData, uint64_t{static_cast<unsigned>(m.user_char_y)} * data[0], false);
}

void UserCharDataDone(Machine& m, std::vector<uint8_t>&) {
  if (--m.user_chars_left > 0) m.Expect(Payload::kUserCharWidth, 1, true);
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

}  // namespace tillvane::render
