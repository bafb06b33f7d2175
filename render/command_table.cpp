// The table of commands: each handler under the bytes that introduce its command. The
// tokenizer finds a command by its row of the protocol's command table; each row takes
// the handlers of its introducer's first two bytes, so that one entry serves every form
// of a command (the GS V cuts, both GS k forms, DLE EOT n and DLE EOT 7).
#include <functional>
#include <iterator>
#include <span>
#include <vector>

#include "render/handlers.h"

namespace tillvane::render {
namespace {

// A command by its first byte, and for DLE, ESC, FS and GS by the second; `part` runs
// each part of a command whose data comes in parts.
struct Entry {
  uint8_t first;
  uint8_t second;  // 0 for a command of one byte
  CommandHandler handler;
  CommandHandler part = nullptr;
};

constexpr Entry kCommands[] = {
    // Lines and text.
    {HT, 0, HorizontalTab},
    {LF, 0, LineFeed},
    {NAK, 0, FeedDots},
    {RS, 0, FeedDots},
    {ESC, ' ', EscCharSpacing},
    {ESC, '!', EscPrintMode},
    {ESC, '$', EscAbsolutePosition},
    {ESC, '\\', EscRelativePosition},
    {ESC, '-', EscUnderline},
    {ESC, '2', EscDefaultLineSpacing},
    {ESC, '3', EscLineSpacing},
    {ESC, 'E', EscEmphasized},
    {ESC, 'G', EscEmphasized},
    {ESC, 'F', EscFont},
    {ESC, 'M', EscFont},
    {ESC, 'J', EscFeedDots},
    {ESC, 'd', EscFeedLines},
    {ESC, 'a', EscJustify},
    {ESC, 'D', EscTabStops},
    // ESC & (user-defined characters) is taken and passed over: the printer keeps its own.
    {GS, '!', GsCharSize},
    {GS, 'B', GsReverse},
    {GS, 'L', GsLeftMargin},
    {GS, 'W', GsPrintWidth},
    {FS, '&', FsDoubleByteOn},
    {FS, '.', FsDoubleByteOff},
    // Settings and paper.
    {ESC, '@', EscInitialise},
    {GS, 'P', GsMotionUnits},
    {ESC, 'i', EscFullCut},
    {ESC, 'm', EscPartialCut},
    {GS, 'V', GsCut},
    // Page mode.
    {FF, 0, FormFeed},
    {CAN, 0, CancelArea},
    {ESC, 'L', EscPageMode},
    {ESC, 'S', EscStandardMode},
    {ESC, 'T', EscDirection},
    {ESC, 'W', EscArea},
    {ESC, FF, EscPrintArea},
    {GS, '$', GsAbsoluteVertical},
    {GS, '\\', GsRelativeVertical},
    // Images and logos.
    {ESC, '*', EscBitImage},
    {GS, '#', GsSelectRamLogo},
    {GS, '*', GsDefineRamLogo},
    {GS, '/', GsPrintRamLogo},
    {GS, 'v', GsRasterImage, GsRasterRow},
    {FS, 'p', FsPrintFlashLogo},
    {FS, 'q', FsDefineFlashLogos, FsFlashImage},
    // GS ( and GS 8 L data is taken and passed over.
    // Bar codes.
    {GS, 'H', GsHriPosition},
    {GS, 'f', GsHriFont},
    {GS, 'h', GsBarcodeHeight},
    {GS, 'w', GsBarcodeModule},
    {GS, 'k', GsBarcode},
    // Status.
    {DLE, EOT, DleStatus},
    {GS, 'I', GsPrinterId},
    {GS, 'r', GsStatus},
};

constexpr bool OneEntryEach() {
  for (size_t i = 0; i < std::size(kCommands); ++i)
    for (size_t j = i + 1; j < std::size(kCommands); ++j)
      if (kCommands[i].first == kCommands[j].first && kCommands[i].second == kCommands[j].second)
        return false;
  return true;
}
static_assert(OneEntryEach(), "two handlers for one command");

struct Handlers {
  CommandHandler command = nullptr;
  CommandHandler part = nullptr;
};

// The handlers of every row of the command table, by the row's place in it.
class RowHandlers {
 public:
  RowHandlers() : rows_(protocol::CommandTable()), handlers_(rows_.size()) {
    for (size_t i = 0; i < rows_.size(); ++i) {
      const protocol::CommandRow& r = rows_[i];
      for (const Entry& e : kCommands)
        if (e.first == r.intro[0] && e.second == (r.intro_size == 1 ? 0 : r.intro[1]))
          handlers_[i] = Handlers{e.handler, e.part};
    }
  }

  const Handlers* Of(const protocol::CommandRow* row) const {
    const std::less<> before;
    if (row == nullptr || before(row, rows_.data()) || !before(row, rows_.data() + rows_.size()))
      return nullptr;
    return &handlers_[static_cast<size_t>(row - rows_.data())];
  }

 private:
  std::span<const protocol::CommandRow> rows_;
  std::vector<Handlers> handlers_;
};

}  // namespace

void RunCommand(Machine& m, const Command& c) {
  if (m.options.more_answers && c.part == 0)
    for (uint8_t b : m.options.more_answers(c.data(), c.size())) m.Reply(b);
  static const RowHandlers kHandlers;
  const Handlers* h = kHandlers.Of(c.row);
  if (h == nullptr) return;
  const CommandHandler handler = c.part == 0 ? h->command : h->part;
  if (handler) handler(m, c);
}

}  // namespace tillvane::render
