#include <cstring>
#include <utility>

#include "render/handlers.h"
#include "render/machine.h"

namespace tillvane::render {
namespace {

// The back channel keeps this many answers that nobody read; older ones are dropped.
constexpr size_t kMaxReplies = 4096;

}  // namespace

Machine::Machine(PrinterOptions o, Printer::PageSink s)
    : options(std::move(o)), sink(std::move(s)), nv_graphics(options.nv_graphics_store) {
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
  if (std::string error; !nv_graphics.Open(&error))
    Refuse(0, "NV graphics store not read: " + error);
  Initialise();
}

// --- reports ---------------------------------------------------------------------------

void Machine::Unknown(uint64_t at, uint64_t count) {
  for (uint64_t i = 0; i < count; ++i) {
    ++report.unknown_bytes;
    if (report.unknown_offsets.size() < Report::kMaxListed)
      report.unknown_offsets.push_back(at + i);
  }
}

void Machine::Refuse(uint64_t at, const std::string& what) {
  ++report.refused;
  if (report.notes.size() < Report::kMaxListed)
    report.notes.push_back("offset " + std::to_string(at) + ": " + what);
}

void Machine::NotDrawn(const Command& c, const std::string& why) {
  NotDrawn(c.row ? std::string(c.row->name) : std::string("command"), c.offset, why);
}

void Machine::NotDrawn(const std::string& name, uint64_t at, const std::string& why) {
  ++report.not_drawn;
  if (report.not_drawn_notes.size() >= Report::kMaxListed) return;
  report.not_drawn_notes.push_back(name + " at " + std::to_string(at) + ": " + why);
}

void Machine::Reply(uint8_t b) {
  if (replies.size() >= kMaxReplies) replies.pop_front();
  replies.push_back(b);
  ++report.replies;
}

void Machine::DataCutShort() {
  flash_incoming.clear();
  if (!page_mode) ClearLine();
}

void Machine::Finish(uint64_t offset) {
  if (!page_mode && line_content) PrintLine(true);
  if (page_mode && area.width() > 0) {
    bool any = false;
    for (uint8_t b : area.bits()) any = any || b != 0;
    if (any) Refuse(offset, "page-mode data never printed (no FF or ESC FF)");
  }
  EmitPage(Cut::kNone, false);
}

// --- settings --------------------------------------------------------------------------

void Machine::Initialise() {
  static_cast<Settings&>(*this) = Settings{};
  chinese = InfoOf(options.profile).double_byte;
  print_width = paper();
  page_mode = false;
  area_x = area_y = 0;
  area_w = paper();
  area_h = kDefaultAreaRows;
  direction = 0;
  area.Reset(0, 0);
  buffer_graphic.Reset(0, 0);  // the print buffer is cleared
  ClearLine();
}

// --- paper -----------------------------------------------------------------------------

void Machine::EmitPage(Cut cut, bool continued) {
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

void Machine::FeedRows(int64_t rows) {
  while (rows > 0) {
    MakeRoom();
    const int n = static_cast<int>(std::min<int64_t>(rows, kMaxPageRows - roll.height()));
    roll.Grow(n);
    rows -= n;
  }
}

void Machine::Reserve(int rows) {
  const size_t want = static_cast<size_t>(roll.stride()) *
                      std::min(kMaxPageRows + kCutLineRows, roll.height() + rows);
  if (roll.bits().capacity() < want)
    roll.bits().reserve(std::max(want, 2 * roll.bits().capacity()));
}

void Machine::AppendRows(const Bitmap& band, int from, int to) {
  Reserve(to - from);
  for (int y = from; y < to; ++y) {
    MakeRoom();
    roll.Grow(1);
    std::memcpy(roll.Row(roll.height() - 1), band.Row(y), static_cast<size_t>(roll.stride()));
  }
}

void Machine::CutPaper(Cut kind, int64_t feed) {
  EndLine();
  FeedRows(feed);
  EmitPage(kind, false);
}

// --- commands ----------------------------------------------------------------------

void EscInitialise(Machine& m, const Command&) {
  if (m.page_mode) m.area.Reset(0, 0);
  m.Initialise();
}

void GsMotionUnits(Machine& m, const Command& c) {
  m.unit_x = c[2] == 0 ? kDotsPerInch : c[2];
  m.unit_y = c[3] == 0 ? kDotsPerInch : c[3];
}

void EscFullCut(Machine& m, const Command&) {
  m.CutPaper(Cut::kFull, 0);
}

void EscPartialCut(Machine& m, const Command&) {
  m.CutPaper(Cut::kPartial, 0);
}

void GsCut(Machine& m, const Command& c) {
  const uint8_t k = c[2];
  const bool partial = (k & 1) != 0 || k == 'B' || k == 'b' || k == 'h';
  const int64_t feed = c.size() > 3 ? m.DotsY(c[3]) : 0;
  m.CutPaper(partial && k != 'A' && k != 'a' && k != 'g' ? Cut::kPartial : Cut::kFull, feed);
}

}  // namespace tillvane::render
