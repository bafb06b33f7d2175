// Page mode: an area of the paper drawn in any of four directions and printed whole
// by FF or ESC FF.
#include <cstring>

#include "render/handlers.h"
#include "render/machine.h"

namespace tillvane::render {

void Machine::StartArea() {
  u = 0;
  v = 0;
  v_set = false;
  page_line_height = 0;
}

void Machine::EnterPageMode() {
  if (page_mode) return;
  if (line_content) PrintLine(true);
  page_mode = true;
  area.Reset(area_w, area_h);
  StartArea();
}

void Machine::LeavePageMode() {
  page_mode = false;
  area.Reset(0, 0);
  ClearLine();
}

TILLVANE_DOT_LOOP void Machine::PrintArea() {
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

void Machine::PageLineFeed(int64_t feed, bool lf) {
  const int64_t h = page_line_height > 0 ? page_line_height : CellHeight();
  const int64_t step = lf ? std::max<int64_t>(line_spacing, h) : feed;
  u = 0;
  v = static_cast<int>(std::min<int64_t>(v + step, LogicalHeight() + 1));
  v_set = true;
  page_line_height = 0;
}

int Machine::PageTop(int h) {
  if (!v_set && v < h) v = h;
  v_set = true;
  page_line_height = std::max(page_line_height, h);
  return v - h;
}

void Machine::SetArea(const Command& c) {
  const uint8_t* p = c.data() + 2;
  const int64_t x = DotsX(U16(p)), y = DotsY(U16(p + 2));
  const int64_t w = DotsX(U16(p + 4)), h = DotsY(U16(p + 6));
  if (w <= 0 || h <= 0) {
    Refuse(c.offset, "ESC W with an empty print area; ignored");
    return;
  }
  if (x >= paper() || y >= kMaxPageRows) {
    Refuse(c.offset, "ESC W starting outside the paper; ignored");
    return;
  }
  area_x = static_cast<int>(x);
  area_y = static_cast<int>(y);
  area_w = static_cast<int>(std::min<int64_t>(w, paper() - x));
  area_h = static_cast<int>(std::min<int64_t>(h, kMaxPageRows - y));
  if (w > area_w || h > area_h) Refuse(c.offset, "ESC W larger than the paper; clipped");
  if (page_mode) {
    area.Reset(area_w, area_h);
    StartArea();
  }
}

// --- commands --------------------------------------------------------------------------

void FormFeed(Machine& m, const Command&) {
  if (!m.page_mode) return;
  m.PrintArea();
  m.LeavePageMode();
}

void CancelArea(Machine& m, const Command&) {
  if (m.page_mode) m.area.Clear();
}

void EscPageMode(Machine& m, const Command&) {
  m.EnterPageMode();
}

void EscStandardMode(Machine& m, const Command&) {
  if (m.page_mode) m.LeavePageMode();
}

void EscDirection(Machine& m, const Command& c) {
  m.direction = c[2] & 3;
  if (m.page_mode) m.StartArea();
}

void EscArea(Machine& m, const Command& c) {
  m.SetArea(c);
}

void EscPrintArea(Machine& m, const Command&) {
  if (m.page_mode) m.PrintArea();
}

void GsAbsoluteVertical(Machine& m, const Command& c) {
  if (!m.page_mode) return;
  const int64_t d = m.DotsAcross(U16(c.data() + 2));
  if (d < m.LogicalHeight()) {
    m.v = static_cast<int>(d);
    m.v_set = true;
  }
}

void GsRelativeVertical(Machine& m, const Command& c) {
  if (!m.page_mode) return;
  const int64_t d = m.v + m.DotsAcross(static_cast<int16_t>(U16(c.data() + 2)));
  if (d >= 0 && d < m.LogicalHeight()) {
    m.v = static_cast<int>(d);
    m.v_set = true;
  }
}

}  // namespace tillvane::render
